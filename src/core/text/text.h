// The line text model: the edit buffer with its cursor.  Clusters, widths
// and the word rule come from the shared text leaf (unicode/unicode.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "kavrik.h"
#include "unicode/unicode.h"

// ---- line buffer ---------------------------------------------------------

// Makes room for n bytes (terminating zero included); 0 or -1 (message set).
int kv_buf_reserve(kv_editor *ed, size_t n) noexcept;
// Inserts k bytes at pos (clamped to the length); the cursor does not move.
int kv_buf_insert(kv_editor *ed, size_t pos, const char *bytes, size_t k) noexcept;
// Removes up to k bytes at pos; the cursor does not move.
void kv_buf_delete(kv_editor *ed, size_t pos, size_t k) noexcept;
// Replaces the line (null: empty); the cursor goes to the end.  0 or -1.
int kv_buf_set(kv_editor *ed, const char *text) noexcept;
// Same, with an explicit length (the text may hold NUL bytes).
int kv_buf_set_bytes(kv_editor *ed, const char *text, size_t len) noexcept;
// The capacity that holds n bytes when blocks start at `first` bytes (when
// cap is 0) and double; 0 when doubling would overflow.  The line buffer and
// the search query grow by this one rule.
size_t kv_grown_capacity(size_t cap, size_t first, size_t n) noexcept;

extern "C" {
int kv_buf_insert_cstr(kv_editor *ed, const char *text) noexcept; // slot insert
int kv_buf_set_public(kv_editor *ed, const char *text) noexcept;  // slot set_buffer
int kv_set_cursor_method(kv_editor *ed, size_t pos) noexcept;     // slot set_cursor
}
