// Strict UTF-8 decoding and grapheme clusters with their terminal widths.
// One forward segmentation serves every caller: stepping forward, stepping
// back (a forward walk from the start) and putting the cursor on a boundary.
#include <algorithm>

#include "unicode/unicode.h"

namespace {

constexpr uint64_t kv_zwj = 0x200D;
constexpr uint64_t kv_vs16 = 0xFE0F;
constexpr uint64_t kv_first_mark = 0x0300; // nothing below joins a cluster

struct kv_cluster {
    size_t len;
    int width;
};

inline bool kv_is_continuation(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

inline kv_decoded kv_invalid() noexcept { return {kv_replacement_char, 1}; }

// The smallest value that needs an n-byte sequence; smaller ones are overlong.
inline uint64_t kv_min_value(size_t n) noexcept { return n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000; }

inline kv_decoded kv_decode(const unsigned char *s, size_t len, size_t pos) noexcept {
    unsigned char b = s[pos];
    if (b < 0x80) return {b, 1};
    size_t n = kv_utf8_sequence_length(b);
    // b is not ASCII here, so a length of 1 means it starts no sequence.
    if (n == 1 || n > len - pos) return kv_invalid();
    uint64_t value = b & (0x7Fu >> n); // the low 5, 4 or 3 bits
    for (size_t i = 1; i < n; ++i) {
        unsigned char c = s[pos + i];
        if (!kv_is_continuation(c)) return kv_invalid();
        value = (value << 6) | (c & 0x3F);
    }
    if (value < kv_min_value(n) || value > 0x10FFFF) return kv_invalid();
    if (value >= 0xD800 && value <= 0xDFFF) return kv_invalid();
    return {value, n};
}

inline bool kv_is_regional_indicator(uint64_t cp) noexcept {
    return cp >= 0x1F1E6 && cp <= 0x1F1FF;
}

inline bool kv_is_variation_selector(uint64_t cp) noexcept {
    return (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0xE0100 && cp <= 0xE01EF);
}

// Columns of a code point that starts a cluster.  A wide code point counts
// two even when it is also a combining mark (U+302A..U+302F, U+3099..U+309A):
// as the first code point of a cluster it sets the wide flag.
inline int kv_first_width(uint64_t cp) noexcept {
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return 0;
    if (cp < kv_first_mark) return 1;
    if (kv_codepoint_is_wide(cp)) return 2;
    return kv_codepoint_is_combining(cp) ? 0 : 1;
}

// The cluster that starts at pos (pos < len).  A first code point, a second
// regional indicator after a first, then combining marks, variation
// selectors and each joiner with whatever follows it.
kv_cluster kv_cluster_at(const unsigned char *s, size_t len, size_t pos) noexcept {
    // ASCII followed by ASCII (or nothing) is a cluster of its own.
    if (s[pos] < 0x80 && (pos + 1 == len || s[pos + 1] < 0x80)) return {1, kv_first_width(s[pos])};
    kv_decoded first = kv_decode(s, len, pos);
    size_t end = pos + first.len;
    int width = kv_first_width(first.cp);
    bool wide = width == 2;
    if (kv_is_regional_indicator(first.cp) && end < len) {
        kv_decoded d = kv_decode(s, len, end);
        if (kv_is_regional_indicator(d.cp)) end += d.len; // a flag, wide like its halves
    }
    while (end < len) {
        if (s[end] < 0x80) break; // the common case: ASCII never joins
        kv_decoded d = kv_decode(s, len, end);
        if (d.cp < kv_first_mark) break;
        if (kv_codepoint_is_combining(d.cp) || kv_is_variation_selector(d.cp)) {
            end += d.len;
            if (d.cp == kv_vs16) wide = true;
        } else if (d.cp == kv_zwj) {
            end += d.len;
            if (end < len) {
                end += kv_decode(s, len, end).len;
                wide = true;
            }
        } else {
            break;
        }
    }
    return {end - pos, wide ? 2 : width};
}

inline const unsigned char *kv_unsigned(const char *text) noexcept {
    return reinterpret_cast<const unsigned char *>(text);
}

// Start of the cluster that holds pos (pos < len), by a walk from offset 0.
size_t kv_cluster_start(const char *text, size_t len, size_t pos) noexcept {
    size_t start = 0;
    while (start < len) {
        size_t n = kv_cluster_at(kv_unsigned(text), len, start).len;
        if (n == 0) return pos; // guard: a walk that cannot advance
        if (pos < start + n) return start;
        start += n;
    }
    return pos;
}

} // namespace

kv_decoded kv_utf8_decode(const char *text, size_t len, size_t pos) noexcept {
    // Out of range or no text: nothing to read, and nothing is consumed.
    if (!text || pos >= len) return {kv_replacement_char, 0};
    return kv_decode(kv_unsigned(text), len, pos);
}

size_t kv_utf8_cluster_len_width(const char *text, size_t len, size_t pos, int *width) noexcept {
    kv_cluster c{0, 0};
    if (text && pos < len) c = kv_cluster_at(kv_unsigned(text), len, pos);
    if (width) *width = c.width;
    return c.len;
}

size_t kv_utf8_prev_cluster_len(const char *text, size_t end) noexcept {
    if (!text || end == 0) return 0;
    return end - kv_cluster_start(text, end, end - 1);
}

size_t kv_utf8_boundary_at_most(const char *text, size_t len, size_t limit) noexcept {
    if (!text || limit >= len) return len;
    return kv_cluster_start(text, len, limit);
}

size_t kv_utf8_text_width(const char *text, size_t len) noexcept {
    size_t w = 0;
    if (!text) return 0;
    for (size_t at = 0; at < len;) {
        kv_cluster c = kv_cluster_at(kv_unsigned(text), len, at);
        w += static_cast<size_t>(c.width);
        at += c.len;
    }
    return w;
}
