// UTF-8 clusters and their widths, measured by the same rules and the same
// code-point tables as the core (the combining table is a second copy written
// by tools/gen-combining-table.mjs), and the word rule of the companion's keys.
#include <iterator>

#include "ext.h"

namespace {

struct kvx_range {
    uint32_t first;
    uint32_t last; // inclusive
};

constexpr kvx_range kvx_combining[] = {
#include "combining_table.inc"
};

constexpr kvx_range kvx_wide[] = {
    {0x1100, 0x115F},   {0x2329, 0x232A},   {0x2E80, 0x303E}, {0x3040, 0xA4CF},
    {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19}, {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F000, 0x1F9FF},
    {0x1FA70, 0x1FAFF}, {0x20000, 0x3FFFD},
};

static_assert(std::size(kvx_combining) == 312);
static_assert(std::size(kvx_wide) == 13);

constexpr uint32_t kvx_zwj = 0x200D;
constexpr uint32_t kvx_vs16 = 0xFE0F;
constexpr uint32_t kvx_first_mark = 0x0300;

template <size_t N>
int kvx_in(const kvx_range (&t)[N], uint32_t cp) noexcept {
    size_t lo = 0, hi = N;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (cp < t[mid].first)
            hi = mid;
        else if (cp > t[mid].last)
            lo = mid + 1;
        else
            return 1;
    }
    return 0;
}

bool kvx_regional(uint32_t cp) noexcept { return cp >= 0x1F1E6 && cp <= 0x1F1FF; }

bool kvx_selector(uint32_t cp) noexcept {
    return (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0xE0100 && cp <= 0xE01EF);
}

int kvx_first_width(uint32_t cp) noexcept {
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return 0;
    if (cp < kvx_first_mark) return 1;
    if (kvx_is_wide(cp)) return 2;
    return kvx_is_combining(cp) ? 0 : 1;
}

} // namespace

int kvx_is_combining(uint32_t cp) noexcept {
    if (cp < kvx_first_mark) return 0;
    return kvx_in(kvx_combining, cp);
}

int kvx_is_wide(uint32_t cp) noexcept {
    if (cp < 0x1100) return 0;
    return kvx_in(kvx_wide, cp);
}

kvx_decoded kvx_decode(const char *text, size_t len, size_t pos) noexcept {
    auto s = reinterpret_cast<const unsigned char *>(text);
    unsigned char b = s[pos];
    if (b < 0x80) return {b, 1};
    size_t n = b >= 0xC0 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF7 ? 4 : 0;
    constexpr kvx_decoded invalid{0xFFFD, 1};
    if (n == 0 || n > len - pos) return invalid;
    uint32_t value = b & (0x7Fu >> n);
    for (size_t i = 1; i < n; ++i) {
        unsigned char c = s[pos + i];
        if ((c & 0xC0) != 0x80) return invalid;
        value = (value << 6) | (c & 0x3Fu);
    }
    uint32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return invalid;
    return {value, n};
}

kvx_cluster kvx_cluster_at(const char *s, size_t len, size_t pos) noexcept {
    if (pos >= len) return {0, 0};
    auto u = reinterpret_cast<const unsigned char *>(s);
    if (u[pos] < 0x80 && (pos + 1 == len || u[pos + 1] < 0x80)) return {1, kvx_first_width(u[pos])};
    kvx_decoded first = kvx_decode(s, len, pos);
    size_t end = pos + first.len;
    int width = kvx_first_width(first.cp);
    bool wide = width == 2;
    if (kvx_regional(first.cp) && end < len && kvx_regional(kvx_decode(s, len, end).cp))
        end += kvx_decode(s, len, end).len;
    while (end < len && u[end] >= 0x80) {
        kvx_decoded d = kvx_decode(s, len, end);
        if (d.cp < kvx_first_mark) break;
        if (kvx_is_combining(d.cp) || kvx_selector(d.cp)) {
            end += d.len;
            if (d.cp == kvx_vs16) wide = true;
        } else if (d.cp == kvx_zwj) {
            end += d.len;
            if (end < len) {
                end += kvx_decode(s, len, end).len;
                wide = true;
            }
        } else {
            break;
        }
    }
    return {end - pos, wide ? 2 : width};
}

size_t kvx_boundary_at_most(const char *s, size_t len, size_t limit) noexcept {
    size_t at = 0;
    while (at < len) {
        size_t next = at + kvx_cluster_at(s, len, at).len;
        if (next > limit) break;
        at = next;
    }
    return at;
}

size_t kvx_prev_cluster_len(const char *s, size_t end) noexcept {
    if (end == 0) return 0;
    size_t start = kvx_boundary_at_most(s, end, end - 1);
    return end - start;
}

size_t kvx_text_width(const char *s, size_t len) noexcept {
    size_t w = 0;
    for (size_t at = 0; at < len;) {
        kvx_cluster c = kvx_cluster_at(s, len, at);
        w += static_cast<size_t>(c.width);
        at += c.len;
    }
    return w;
}

bool kvx_is_space(unsigned char b) noexcept { return b == ' ' || (b >= 9 && b <= 13); }

size_t kvx_word_backward(const char *s, size_t pos) noexcept {
    auto u = reinterpret_cast<const unsigned char *>(s);
    if (pos <= 1) return 0;
    size_t i = pos - 1;
    while (kvx_is_space(u[i])) {
        if (--i == 0) return 0;
    }
    while (i > 0 && !kvx_is_space(u[i - 1])) --i;
    return i;
}

size_t kvx_word_forward_end(const char *s, size_t len, size_t pos) noexcept {
    auto u = reinterpret_cast<const unsigned char *>(s);
    while (pos < len && kvx_is_space(u[pos])) ++pos;
    while (pos < len && !kvx_is_space(u[pos])) ++pos;
    return pos;
}
