// Code-point classes behind terminal widths: combining marks (no column of
// their own, they join the cluster before them) and wide characters (two
// columns).  Both are fixed range tables, independent of the locale.
#include <algorithm>
#include <array>

#include "unicode/unicode.h"

namespace {

struct kv_range {
    uint32_t first;
    uint32_t last; // inclusive
};

// Nonspacing and enclosing marks, adjusted to what terminals draw as
// zero-width; generated from the Unicode character database.
constexpr kv_range kv_combining[] = {
#include "combining_table.inc"
};

constexpr kv_range kv_wide[] = {
    {0x1100, 0x115F},   // Hangul initial consonants
    {0x2329, 0x232A},   // angle brackets
    {0x2E80, 0x303E},   // CJK radicals, symbols and punctuation (not U+303F)
    {0x3040, 0xA4CF},   // kana, CJK ideographs, Yi
    {0xAC00, 0xD7A3},   // Hangul syllables
    {0xF900, 0xFAFF},   // CJK compatibility ideographs
    {0xFE10, 0xFE19},   // vertical forms
    {0xFE30, 0xFE6F},   // CJK compatibility and small forms
    {0xFF00, 0xFF60},   // fullwidth forms
    {0xFFE0, 0xFFE6},   // fullwidth signs
    {0x1F000, 0x1F9FF}, // emoji and pictographs, regional indicators included
    {0x1FA70, 0x1FAFF}, // symbols and pictographs extended-A
    {0x20000, 0x3FFFD}, // supplementary ideographic planes
};

template <size_t N> constexpr bool kv_sorted_disjoint(const kv_range (&t)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (t[i].first > t[i].last) return false;
        if (i > 0 && t[i - 1].last >= t[i].first) return false;
    }
    return true;
}

template <size_t N> constexpr uint64_t kv_point_count(const kv_range (&t)[N]) {
    uint64_t n = 0;
    for (const kv_range &r : t)
        n += r.last - r.first + 1;
    return n;
}

static_assert(std::size(kv_combining) == 312);
static_assert(kv_point_count(kv_combining) == 1907);
static_assert(kv_sorted_disjoint(kv_combining));
static_assert(kv_combining[0].first == 0x0300 && kv_combining[0].last == 0x036F);
static_assert(kv_combining[311].first == 0xE0100 && kv_combining[311].last == 0xE01EF);

static_assert(std::size(kv_wide) == 13);
static_assert(kv_sorted_disjoint(kv_wide));

constexpr uint32_t kv_combining_first = kv_combining[0].first;
constexpr uint32_t kv_combining_last = kv_combining[std::size(kv_combining) - 1].last;
constexpr uint32_t kv_wide_first = kv_wide[0].first;
constexpr uint32_t kv_wide_last = kv_wide[std::size(kv_wide) - 1].last;

// One bit per block of 256 code points: set when some combining mark lies
// in the block.  Most text (Latin, CJK, emoji) sits in blocks without marks
// and is answered without a search.
constexpr unsigned kv_block_shift = 8;
constexpr size_t kv_block_words = ((kv_combining_last >> kv_block_shift) + 64) / 64;

constexpr std::array<uint64_t, kv_block_words> kv_combining_blocks() {
    std::array<uint64_t, kv_block_words> bits{};
    for (const kv_range &r : kv_combining)
        for (uint32_t b = r.first >> kv_block_shift; b <= r.last >> kv_block_shift; ++b)
            bits[b / 64] |= uint64_t{1} << (b % 64);
    return bits;
}

constexpr std::array<uint64_t, kv_block_words> kv_combining_block_bits = kv_combining_blocks();

inline bool kv_block_has_marks(uint32_t cp) noexcept {
    uint32_t b = cp >> kv_block_shift;
    return (kv_combining_block_bits[b / 64] >> (b % 64)) & 1;
}

// Bisection over a sorted, disjoint table: the first range whose end is not
// below cp is the only one that can hold it.
template <size_t N> int kv_in_table(const kv_range (&t)[N], uint32_t cp) noexcept {
    const kv_range *r =
        std::lower_bound(t, t + N, cp, [](const kv_range &a, uint32_t v) { return a.last < v; });
    return r != t + N && r->first <= cp ? 1 : 0;
}

} // namespace

int kv_codepoint_is_combining(uint64_t cp) noexcept {
    if (cp < kv_combining_first || cp > kv_combining_last) return 0;
    if (!kv_block_has_marks(static_cast<uint32_t>(cp))) return 0;
    return kv_in_table(kv_combining, static_cast<uint32_t>(cp));
}

int kv_codepoint_is_wide(uint64_t cp) noexcept {
    if (cp < kv_wide_first || cp > kv_wide_last) return 0;
    return kv_in_table(kv_wide, static_cast<uint32_t>(cp));
}
