// A readline call on a pseudo-terminal of this process, for the fuzz targets
// that type keys.  Every byte is typed before the call starts (the terminal
// holds them all), the waits are made fast (raw mode's 0.1 s read time-out
// becomes none, so each empty read is an idle tick at once, and the waits for
// the further bytes of a key do not wait), the output is dropped, and once
// every byte has been read the idle callback ends the call with a submit or
// a cancel.
#pragma once

#include <termios.h>

#include <string>
#include <string_view>

#include "kavrik.h"

struct PtyCallResult {
    bool has_line = false;
    std::string line;
    int status = 0;
    std::string error;           // the last error text after the call
    int sigints = 0;             // SIGINTs raised during the call
    bool attrs_restored = false; // the terminal's attributes are as before
};

// While out is not null, what the editor writes during pty_readline is
// appended to *out instead of being dropped.
void pty_capture_output(std::string *out);
// Opens the terminal once per process; the terminal has `cols` columns.
void pty_prepare(int cols);
// The terminal's side that the editor reads and writes.
int pty_slave();
// Types bytes (at most 2 KiB) and runs kv_readline(ed, prompt) until it ends;
// the idle callback is installed here.  alloc_fail >= 1 makes that
// allocation of the call fail, and every later one.
PtyCallResult pty_readline(kv_editor *ed, const char *prompt, std::string_view typed,
                           bool end_by_submit, long alloc_fail);
