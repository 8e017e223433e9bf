// The text room's record in the editor state: the line and its cursor.
#pragma once

#include <cstddef>

// The line buffer.  Creation allocates it, so text is never null until
// kv_destroy.
struct kv_line {
    char *text;
    size_t len;
    size_t cap;
    size_t max_len;
    size_t cursor;
};
