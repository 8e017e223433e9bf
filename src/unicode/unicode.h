// The state-free text leaf shared by the family: strict UTF-8 decoding,
// grapheme clusters with their terminal widths, the code-point classes behind
// them and the word rule.  It keeps no state and sets no error text; widths
// come from fixed tables, never from the locale.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- code points -----------------------------------------------------------

inline constexpr uint64_t kv_replacement_char = 0xFFFD;

struct kv_decoded {
    uint64_t cp; // the code point, U+FFFD for an invalid byte
    size_t len;  // bytes consumed, 1..4
};

// 1 when cp is a combining mark (joins the cluster before it), else 0.
int kv_codepoint_is_combining(uint64_t cp) noexcept;
// 1 when cp takes two terminal columns, else 0.
int kv_codepoint_is_wide(uint64_t cp) noexcept;

// Bytes of the UTF-8 sequence that byte b starts: 2, 3 or 4 for a lead
// byte, 1 for ASCII and for a byte that starts no sequence (a continuation
// byte, 0xF8..0xFF).
constexpr size_t kv_utf8_sequence_length(unsigned char b) noexcept {
    return b >= 0xC0 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF7 ? 4 : 1;
}

// Decodes the code point at pos (pos < len).  Invalid or truncated sequences
// give U+FFFD and consume one byte.
kv_decoded kv_utf8_decode(const char *text, size_t len, size_t pos) noexcept;

// ---- clusters --------------------------------------------------------------

// Byte length of the cluster starting at pos (0 at or past len); its width
// (0, 1 or 2) goes to *width when width is not null.
size_t kv_utf8_cluster_len_width(const char *text, size_t len, size_t pos, int *width) noexcept;
// Byte length of the last cluster of text[0..end); end must be above 0.
size_t kv_utf8_prev_cluster_len(const char *text, size_t end) noexcept;
// The largest cluster boundary of text[0..len) that is at most limit (len
// when limit is at or past the end).
size_t kv_utf8_boundary_at_most(const char *text, size_t len, size_t limit) noexcept;
// Columns text[0..len) takes.
size_t kv_utf8_text_width(const char *text, size_t len) noexcept;

// ---- words -----------------------------------------------------------------

// Whitespace, the one rule for word motion and word wrapping: the space and
// the bytes 9..13 (tab, line feed, vertical tab, form feed, carriage return).
constexpr bool kv_is_space(unsigned char b) noexcept { return b == ' ' || (b >= 9 && b <= 13); }
// Start of the word before pos (a word is a run of bytes that are not
// whitespace).
size_t kv_word_backward(const char *text, size_t pos) noexcept;
// End of the word at or after pos: whitespace is skipped, then the word.
size_t kv_word_forward_end(const char *text, size_t len, size_t pos) noexcept;
