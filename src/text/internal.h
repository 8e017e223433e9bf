// Inside the text room: the code points behind the clusters (the strict
// decoder and the two classes from the width tables).  Other rooms step
// through text by clusters only, with the functions of text.h.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint64_t kv_replacement_char = 0xFFFD;

struct kv_decoded {
    uint64_t cp;  // the code point, U+FFFD for an invalid byte
    size_t len;   // bytes consumed, 1..4
};

// 1 when cp is a combining mark (joins the cluster before it), else 0.
int kv_codepoint_is_combining(uint64_t cp) noexcept;
// 1 when cp takes two terminal columns, else 0.
int kv_codepoint_is_wide(uint64_t cp) noexcept;

// Decodes the code point at pos (pos < len).  Invalid or truncated sequences
// give U+FFFD and consume one byte.
kv_decoded kv_utf8_decode(const char *text, size_t len, size_t pos) noexcept;
