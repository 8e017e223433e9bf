// The line text model: the edit buffer with its cursor, strict UTF-8
// decoding, grapheme clusters with their terminal widths, and the code-point
// classes behind them.  Widths come from fixed tables, never from the locale.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kavrik.h"

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
// Whitespace, the one rule for word motion and word wrapping: the space and
// the bytes 9..13 (tab, line feed, vertical tab, form feed, carriage return).
constexpr bool kv_is_space(unsigned char b) noexcept { return b == ' ' || (b >= 9 && b <= 13); }
// Start of the word before pos (a word is a run of bytes that are not
// whitespace).
size_t kv_word_backward(const char *text, size_t pos) noexcept;

extern "C" {
int kv_buf_insert_cstr(kv_editor *ed, const char *text) noexcept;  // slot insert
int kv_buf_set_public(kv_editor *ed, const char *text) noexcept;   // slot set_buffer
int kv_set_cursor_method(kv_editor *ed, size_t pos) noexcept;      // slot set_cursor
}

// ---- clusters ------------------------------------------------------------

// Bytes of the UTF-8 sequence that byte b starts: 2, 3 or 4 for a lead
// byte, 1 for ASCII and for a byte that starts no sequence (a continuation
// byte, 0xF8..0xFF).
constexpr size_t kv_utf8_sequence_length(unsigned char b) noexcept {
    return b >= 0xC0 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF7 ? 4 : 1;
}

// Byte length of the cluster starting at pos (0 at or past len); its width
// (0, 1 or 2) goes to *width when width is not null.
size_t kv_utf8_cluster_len_width(const char *text, size_t len, size_t pos,
                                 int *width) noexcept;
// Byte length of the last cluster of text[0..end); end must be above 0.
size_t kv_utf8_prev_cluster_len(const char *text, size_t end) noexcept;
