// Inside the edit room: the record of one readline call, the input
// primitives that read through it, key decoding, the commands and the
// bindings, and the terminal modes.
#pragma once

#include <termios.h>

#include <cstddef>

#include "base/state.h"
#include "edit/edit.h"
#include "history/history.h"
#include "kavrik.h"

// ---- key codes ------------------------------------------------------------------

// The byte a terminal sends for Ctrl plus a letter: kv_ctrl('a') is 1.
constexpr int kv_ctrl(char letter) noexcept { return letter & 0x1F; }
inline constexpr int kv_key_esc = 27;             // ESC alone (also Ctrl-[)
inline constexpr int kv_key_enter = kv_ctrl('m'); // carriage return
inline constexpr int kv_key_backspace = 127;      // DEL, which Backspace sends

// How a command or callback asks the running call to end.
enum class kv_end { none, submit, cancel, eof, interrupt, error };

// States of the escape decoder (keys.cpp): where it is in the bytes after an
// ESC.  swallow takes the continuation bytes of a non-ASCII character typed
// with Alt.
enum class kv_esc_state {
    start,
    intro,
    number,
    modifier,
    skip,
    console_fkey,
    alt_p,
    string,
    string_esc,
    swallow,
    done
};

struct kv_escape_decoder {
    kv_esc_state state;
    int key;           // the key once done
    int n;             // the number before ~, ; or u (swallow: bytes wanted)
    int m;             // the number after ; (swallow: bytes taken)
    size_t string_len; // bytes of an OSC/DCS string consumed
};

// A key whose bytes have not all arrived yet: the call takes the next byte
// for it (waiting at most 100 ms for each) instead of starting a new key.
enum class kv_pending : unsigned char { none, escape, utf8, paste_end };

// Where a character whose continuation bytes are being collected goes.
enum class kv_utf8_use : unsigned char { text, query, paste };

// State of one readline call on the terminal path, kept by the editor from
// one step of the call to the next.
struct kv_call {
    kv_editor *ed;
    kv_state *st;
    const char *prompt;     // the caller's prompt
    kv_search search;       // reverse search record
    unsigned char back[16]; // bytes handed back, read before the descriptor
    int back_len;
    size_t cooked_left;    // bytes typed ahead before raw mode, still unread
    size_t cooked_prepped; // the same, when raw mode went on before the call
    kv_end end;            // set to end the call after this key

    // The key in progress.
    kv_pending pending;
    kv_escape_decoder esc;
    kv_utf8_use use;        // of a character being collected
    unsigned char chunk[8]; // its bytes so far, or a paste end's
    size_t chunk_len;
    size_t chunk_want;
    bool burst; // the pass began inside a paste

    // How the call was begun and what it turned on.
    bool event_loop; // begun for a program with its own event loop
    bool paste_on;   // bracketed paste was turned on
    bool hung_up;    // the terminal went away
};

// ---- the call's results (call.cpp) and the plain path (plain.cpp) -----------

// Sets the status and gives the null result.
char *kv_null_with(kv_state *st, int status) noexcept;
// The line as a new string for the caller, with status 1; null with status 5
// and the message set when memory runs out.
char *kv_return_copy(kv_state *st) noexcept;
// A readline call on input that is not a terminal: one line, no drawing.
char *kv_plain_readline(kv_editor *ed, kv_state *st) noexcept;

// ---- the steps of a terminal call (readline.cpp) --------------------------------

// What a pass of the call was: a key (always redrawn), an idle tick or an
// interrupted wait (redrawn when something changed).
enum class kv_pass { key, idle, quiet };

// Begins a call on the terminal: raw mode (event_loop: the terminal's
// signal keys and output processing stay on), bracketed paste on, the per-call reset, the first
// drawing.  0, or -1 with the status (and message) set and the terminal as
// it was.  The call must not be running.
int kv_call_begin(kv_editor *ed, const char *prompt, bool event_loop) noexcept;
// One byte outside a key in progress: pasted text, a NUL idle tick, the
// start of an escape sequence or a key dispatched (whose character may stay
// in progress).  Notes whether the pass began inside a paste.
kv_pass kv_call_step_byte(kv_call *c, unsigned char byte) noexcept;
// True when the pass began inside a paste that goes on, between keys: more
// waiting bytes belong to the same pass (drawn once).
bool kv_call_burst_goes_on(const kv_call *c) noexcept;
// No byte within the idle tick: a terminal that went away ends the call;
// else the mode check and the idle callback.
kv_pass kv_call_tick(kv_call *c) noexcept;
// Draws after a pass: always after a key, else only when something changed.
void kv_call_redraw(kv_call *c, kv_pass pass) noexcept;
// Ends the call as c->end says and gives its result (raise_signal: an
// interrupt raises SIGINT).
char *kv_call_finish(kv_call *c, bool raise_signal) noexcept;

// ---- input (input.cpp) -----------------------------------------------------------

// What one read of the main loop found.
enum class kv_input { byte, none, retry, failed };
// One byte for the main loop: a byte handed back first, else one read of the
// input (none: nothing within the idle tick; retry: interrupted, read again).
kv_input kv_call_read(kv_call *c, unsigned char *byte) noexcept;
// Bytes that arrived while the terminal was in its own mode (attributes
// seen), which turns a carriage return into a line feed as it comes in
// (ICRNL): such a line feed was an Enter.  The count of them waiting.
size_t kv_cooked_pending(const kv_state *st, const struct termios &seen) noexcept;
// True when the input terminal went away (hung up, closed, invalid).
bool kv_terminal_gone(const kv_state *st) noexcept;
// One byte with a wait of at most 100 ms: >0 a byte, 0 time-out, <0 failure.
long kv_read_escape_byte(int fd, unsigned char *byte) noexcept;
// The same, but a byte handed back with kv_call_unread comes first.
long kv_call_wait_byte(kv_call *c, unsigned char *byte) noexcept;
// A byte just read from the descriptor that was typed ahead before raw mode:
// its line feed was an Enter, and is given as one (13).
void kv_call_uncook(kv_call *c, unsigned char *byte) noexcept;
// Hands a byte back: the next read of the call returns it.
void kv_call_unread(kv_call *c, unsigned char byte) noexcept;
// Ends the call with an error: sets the message (when not null) and end.
void kv_call_fail(kv_call *c, const char *msg) noexcept;
// 1 when a byte can be read at once (handed back, or waiting on the input):
// a redraw during a paste may wait while this holds.
int kv_call_input_pending(kv_call *c) noexcept;

// ---- keys and commands (keys.cpp, commands.cpp, bindings.cpp) -----------------

// Byte by byte: each key in progress takes one byte at a time.
// Starts decoding the bytes after an ESC.
void kv_esc_begin(kv_call *c) noexcept;
// One byte after the ESC; true when the key is decoded (c->esc.key).
bool kv_esc_feed(kv_call *c, unsigned char b) noexcept;
// The key given when no further byte arrives within the wait.
int kv_esc_timeout_key(const kv_call *c) noexcept;
// Starts collecting a typed character from its first byte, for use; a
// character of one byte is complete at once (true).
bool kv_utf8_begin(kv_call *c, unsigned char first, kv_utf8_use use) noexcept;
// One more byte of it; true when the character is complete (a byte that
// cannot continue it is handed back and ends it too).
bool kv_utf8_feed(kv_call *c, unsigned char b) noexcept;
// Inserts a collected character where its use says.
void kv_utf8_deliver(kv_call *c) noexcept;
// Begins a character for use: delivered at once when it is whole, else left
// in progress.
void kv_utf8_take(kv_call *c, unsigned char first, kv_utf8_use use) noexcept;
// One byte arriving while a bracketed paste is in progress, outside a key.
void kv_paste_begin_byte(kv_call *c, unsigned char byte) noexcept;
// One byte of a key in progress (c->pending is not none).
void kv_key_continue(kv_call *c, unsigned char b) noexcept;
// No byte came within the wait: the key in progress ends with what it has.
void kv_key_expire(kv_call *c) noexcept;
// Waits for and takes the rest of the key in progress (blocking).
void kv_key_complete(kv_call *c) noexcept;

// The same, waiting for every byte: the bytes after an ESC as a key code.
int kv_key_decode_escape(kv_call *c) noexcept;
// Collects the continuation bytes of a typed character into buf (4 bytes).
void kv_read_utf8_input(kv_call *c, unsigned char first, unsigned char *buf,
                        size_t *count) noexcept;
// Handles one byte read while a bracketed paste is in progress, and every
// further pasted byte that is already waiting, so that a burst is drawn once.
void kv_edit_paste_byte(kv_call *c, unsigned char byte) noexcept;
// Offers the key to its binding, honours submit/cancel requests and the
// action, then runs the built-in command, which may leave a character in
// progress (c->pending).  May set c->end.
void kv_edit_dispatch_key(kv_call *c, int key) noexcept;
// The same, and waits for the rest of a character the command began.
void kv_edit_dispatch(kv_call *c, int key) noexcept;
// Runs the built-in command of a key from the normal or the search table
// (commands.cpp).  May set c->end.
void kv_edit_command(kv_call *c, int key) noexcept;

// ---- terminal modes and waiting (terminal.cpp) ---------------------------------

// The raw attributes derived from the terminal's own ones.
// event_loop: for a program with its own event loop, ISIG stays on (Ctrl-C,
// Ctrl-Z and Ctrl-\ stay signals) and so does output processing (OPOST).
struct termios kv_raw_attributes(const struct termios &saved, bool event_loop = false) noexcept;
// Saves the input terminal's attributes and switches it to raw mode; 0, or
// -1 with the message set and the terminal untouched.
int kv_terminal_enter_raw(kv_state *st, bool event_loop = false) noexcept;
// True when t has every change that raw mode makes (other bits may differ).
bool kv_terminal_is_raw(const struct termios &t, bool event_loop = false) noexcept;
// Applies raw mode, derived from the saved attributes, once more; 0 or -1.
int kv_terminal_apply_raw(kv_state *st, bool event_loop = false) noexcept;
// Waits until fd is readable or hung up, at most timeout_ms (negative: no
// limit); a signal does not cut the wait short.  >0 ready (poll's revents
// in *revents when not null), 0 time-out, <0 failure.
int kv_wait_readable(int fd, int timeout_ms, short *revents) noexcept;
