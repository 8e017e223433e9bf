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
inline constexpr int kv_key_esc = 27;                 // ESC alone (also Ctrl-[)
inline constexpr int kv_key_enter = kv_ctrl('m');     // carriage return
inline constexpr int kv_key_backspace = 127;          // DEL, which Backspace sends

// How a command or callback asks the running call to end.
enum class kv_end { none, submit, cancel, eof, interrupt, error };

// State of one readline call on the terminal path (not kept in kv_state).
struct kv_call {
    kv_editor *ed;
    kv_state *st;
    const char *prompt;          // the caller's prompt
    kv_search search;            // reverse search record
    unsigned char back[16];      // bytes handed back, read before the descriptor
    int back_len;
    size_t cooked_left;          // bytes typed ahead before raw mode, still unread
    kv_end end;                  // set to end the call after this key
};

// ---- the call's results (call.cpp) and the plain path (plain.cpp) -----------

// Sets the status and gives the null result.
char *kv_null_with(kv_state *st, int status) noexcept;
// The line as a new string for the caller, with status 1; null with status 5
// and the message set when memory runs out.
char *kv_return_copy(kv_state *st) noexcept;
// A readline call on input that is not a terminal: one line, no drawing.
char *kv_plain_readline(kv_editor *ed, kv_state *st) noexcept;

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

// Decodes the bytes after an ESC into a key code.
int kv_key_decode_escape(kv_call *c) noexcept;
// Collects the continuation bytes of a typed character into buf (4 bytes).
void kv_read_utf8_input(kv_call *c, unsigned char first, unsigned char *buf,
                        size_t *count) noexcept;
// Handles one byte read while a bracketed paste is in progress, and every
// further pasted byte that is already waiting, so that a burst is drawn once.
void kv_edit_paste_byte(kv_call *c, unsigned char byte) noexcept;
// Offers the key to its binding, honours submit/cancel requests and the
// action, then runs the built-in command.  May set c->end.
void kv_edit_dispatch(kv_call *c, int key) noexcept;
// Runs the built-in command of a key from the normal or the search table
// (commands.cpp).  May set c->end.
void kv_edit_command(kv_call *c, int key) noexcept;

// ---- terminal modes and waiting (terminal.cpp) ---------------------------------

// The raw attributes derived from the terminal's own ones.
struct termios kv_raw_attributes(const struct termios &saved) noexcept;
// Saves the input terminal's attributes and switches it to raw mode; 0, or
// -1 with the message set and the terminal untouched.
int kv_terminal_enter_raw(kv_state *st) noexcept;
// True when t has every change that raw mode makes (other bits may differ).
bool kv_terminal_is_raw(const struct termios &t) noexcept;
// Applies raw mode, derived from the saved attributes, once more; 0 or -1.
int kv_terminal_apply_raw(kv_state *st) noexcept;
// Waits until fd is readable or hung up, at most timeout_ms (negative: no
// limit); a signal does not cut the wait short.  >0 ready (poll's revents
// in *revents when not null), 0 time-out, <0 failure.
int kv_wait_readable(int fd, int timeout_ms, short *revents) noexcept;
