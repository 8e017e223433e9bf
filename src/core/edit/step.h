// The readline call taken apart into steps, for a program that waits for
// input on its own (an event loop around select or poll) and hands the
// editor each byte as it arrives.  Internal to the library family: a
// compatibility library that links the core's objects drives a call through
// these; none of them is exported.
//
// A call is begun, fed the bytes that arrived (any number, split anywhere:
// a key cut between two feeds goes on in the next), told when time passed
// without input, and finished once a step reports that it ended.  Each step
// returns at once; the only waiting is the caller's.
#pragma once

#include <cstddef>

#include "kavrik.h"

// Where the call stands after a step.
enum class kv_step_result {
    running,     // waiting for the next key
    key_pending, // inside a key: its next byte is due within 100 ms
    ended,       // finish the call
};

// Begins a call on the terminal that is the editor's input: raw mode,
// bracketed paste on, the prompt drawn.  event_loop leaves the terminal's
// signal keys on (Ctrl-C then interrupts the program's wait instead of
// arriving as a key) and its output processing (a line the program prints
// from a callback starts at the left).  0, or -1 with the status and message set and the
// terminal as it was (also when input is not a terminal or a call runs).
int kv_step_begin(kv_editor *ed, const char *prompt, bool event_loop) noexcept;
// True between a begin and its finish.
bool kv_step_running(kv_editor *ed) noexcept;
// Bytes that arrived, processed at once: the display is redrawn after each
// key, once after a paste.  Feeding stops where the call ends; *used (when
// not null) tells how many bytes were taken, and the rest belong to what
// reads next.
kv_step_result kv_step_feed(kv_editor *ed, const unsigned char *bytes, size_t n,
                            size_t *used = nullptr) noexcept;
// The same with the bytes waiting on the editor's input descriptor, read
// without waiting, and none beyond the end of the call (what follows the
// line stays unread).  Input that reports ready but gives nothing (the
// terminal went away) is a time step.
kv_step_result kv_step_read(kv_editor *ed) noexcept;
// Time passed with no input: 100 ms after the last byte of a key in
// progress, the key ends with what it has; otherwise an idle tick (the idle
// callback, a terminal that went away ends the call).
kv_step_result kv_step_time(kv_editor *ed) noexcept;
// Draws the call now by difference (after the buffer was changed from
// outside, or the terminal was resized).
kv_step_result kv_step_redraw(kv_editor *ed) noexcept;
// Ends the call as interrupted: the line is erased, no signal is raised.
void kv_step_abandon(kv_editor *ed) noexcept;
// Finishes an ended (or abandoned) call: the endings of kv_readline, with
// the same statuses; the line for the caller to free, or null.
// raise_signal: an interrupt made by a key raises SIGINT as kv_readline does.
char *kv_step_finish(kv_editor *ed, bool raise_signal) noexcept;

// Raw mode outside a call, as a call would set it (0, or -1 with the message
// set); a call begun later keeps it and restores the terminal when it ends.
int kv_step_prep_terminal(kv_editor *ed, bool event_loop) noexcept;
// The terminal's own mode back, unless a call runs.
void kv_step_deprep_terminal(kv_editor *ed) noexcept;

// Lets the program write to the terminal itself while a call shows its
// prompt: the prompt and line are erased, write(user) runs, and the next
// drawing shows them whole again wherever the program left the cursor.
void kv_step_write_around(kv_editor *ed, void (*write)(void *), void *user) noexcept;
