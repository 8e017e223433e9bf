// Helpers for the bounded-mode and printing tests, over the one write
// capture: an editor whose output the capture takes, setting the line, a
// print producer, and control bytes made readable.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kavrik.h"
#include "test_editor.h"
#include "write_capture.h"

// An editor writing to a descriptor nobody reads (the capture takes the bytes).
kv_editor *make_captured_editor(kv_config *overrides = nullptr);

// Sets the line and puts the cursor at byte offset `cursor` (npos: the end).
void set_line(kv_editor *ed, std::string_view text, size_t cursor = std::string_view::npos);

// A print producer that hands out the given chunks one after the other, then
// the end (length 0), or `result` instead of a chunk when one is set.
struct Chunks {
    std::vector<std::string> parts;
    size_t next = 0;
    int result = 0; // returned once the parts are used up, if nonzero
    long calls = 0;
    static int produce(kv_editor *, void *user, const char **chunk, size_t *len);
};

// A readable form of control bytes for failure messages: ESC as \e, CR \r,
// LF \n.
std::string visible(std::string_view bytes);
