// Combining and wide code-point classes, checked by sweeping every code point
// as well as at the rows and boundaries that tell a wrong table apart.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "text/text.h"
#include "unicode/unicode.h"

namespace {

using Ranges = std::vector<std::pair<uint64_t, uint64_t>>;

// Every maximal run of members among all code points, from a sweep.
template <typename Test> Ranges sweep(Test member) {
    Ranges out;
    for (uint64_t c = 0; c <= 0x10FFFF; ++c) {
        if (!member(c)) continue;
        if (!out.empty() && out.back().second + 1 == c)
            out.back().second = c;
        else
            out.emplace_back(c, c);
    }
    return out;
}

uint64_t points(const Ranges &r) {
    uint64_t n = 0;
    for (auto [lo, hi] : r)
        n += hi - lo + 1;
    return n;
}

bool holds_range(const Ranges &rs, uint64_t lo, uint64_t hi) {
    for (auto [a, b] : rs)
        if (a == lo && b == hi) return true;
    return false;
}

TEST(CombiningTable, SizeAndEnds) {
    Ranges r = sweep(kv_codepoint_is_combining);
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.size(), 312u);
    EXPECT_EQ(points(r), 1907u);
    EXPECT_EQ(r.front(), std::make_pair(uint64_t{0x0300}, uint64_t{0x036F}));
    EXPECT_EQ(r.back(), std::make_pair(uint64_t{0xE0100}, uint64_t{0xE01EF}));
}

TEST(CombiningTable, TellingRowsAreWholeRanges) {
    Ranges r = sweep(kv_codepoint_is_combining);
    const std::pair<uint64_t, uint64_t> rows[] = {
        {0x0300, 0x036F},   {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
        {0x064B, 0x065F},   {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E},
        {0x1AB0, 0x1B03},   {0x1DC0, 0x1DFF}, {0x20D0, 0x20FF}, {0x302A, 0x302F},
        {0x3099, 0x309A},   {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0x1D167, 0x1D169},
        {0xE0100, 0xE01EF},
    };
    for (auto [lo, hi] : rows)
        EXPECT_TRUE(holds_range(r, lo, hi)) << std::hex << lo << "-" << hi;
}

TEST(CombiningTable, AddedMembers) {
    const std::pair<uint64_t, uint64_t> added[] = {
        {0x1734, 0x1734},   {0x302E, 0x302F}, {0x11232, 0x11233},
        {0x1171E, 0x1171E}, {0x1ACF, 0x1AFF}, {0x20F1, 0x20FF},
    };
    for (auto [lo, hi] : added)
        for (uint64_t c = lo; c <= hi; ++c)
            EXPECT_EQ(kv_codepoint_is_combining(c), 1) << std::hex << c;
}

TEST(CombiningTable, RemovedMarks) {
    const std::pair<uint64_t, uint64_t> removed[] = {
        {0x07FD, 0x07FD},   {0x0897, 0x089F},   {0x08CA, 0x08D2},   {0x09FE, 0x09FE},
        {0x0AFA, 0x0AFF},   {0x0B55, 0x0B55},   {0x0C04, 0x0C04},   {0x0C3C, 0x0C3C},
        {0x0D3B, 0x0D3C},   {0x0D81, 0x0D81},   {0x0EBA, 0x0EBA},   {0x0ECE, 0x0ECE},
        {0x180F, 0x180F},   {0xA82C, 0xA82C},   {0xA8C5, 0xA8C5},   {0xA8FF, 0xA8FF},
        {0x10D69, 0x10D6D}, {0x10EAB, 0x10EAC}, {0x10EFC, 0x10EFF}, {0x10F82, 0x10F85},
        {0x11070, 0x11070}, {0x11073, 0x11074}, {0x110C2, 0x110C2}, {0x111CF, 0x111CF},
        {0x11230, 0x11230}, {0x11237, 0x11237}, {0x11241, 0x11241}, {0x11368, 0x1136C},
        {0x113BB, 0x113C0}, {0x113CE, 0x113CE}, {0x113D0, 0x113D0}, {0x113D2, 0x113D2},
        {0x113E1, 0x113E2}, {0x11F00, 0x11F01}, {0x11F36, 0x11F3A}, {0x11F40, 0x11F40},
        {0x11F42, 0x11F42}, {0x11F5A, 0x11F5A}, {0x13440, 0x13440}, {0x13447, 0x13455},
        {0x1611E, 0x16129}, {0x1612D, 0x1612F}, {0x16FE4, 0x16FE4}, {0x1CF00, 0x1CF2D},
        {0x1CF30, 0x1CF46}, {0x1E08F, 0x1E08F}, {0x1E2AE, 0x1E2AE}, {0x1E4EC, 0x1E4EF},
        {0x1E5EE, 0x1E5EF},
    };
    ASSERT_EQ(std::size(removed), 49u);
    uint64_t n = 0;
    for (auto [lo, hi] : removed)
        for (uint64_t c = lo; c <= hi; ++c, ++n)
            EXPECT_EQ(kv_codepoint_is_combining(c), 0) << std::hex << c;
    EXPECT_EQ(n, 196u);
}

TEST(CombiningTable, NoFormatCharactersOrModifiers) {
    for (uint64_t c = 0x200B; c <= 0x200F; ++c)
        EXPECT_EQ(kv_codepoint_is_combining(c), 0);
    EXPECT_EQ(kv_codepoint_is_combining(0x2060), 0);
    for (uint64_t c = 0xE0020; c <= 0xE007F; ++c)
        EXPECT_EQ(kv_codepoint_is_combining(c), 0);
    for (uint64_t c = 0x1F3FB; c <= 0x1F3FF; ++c)
        EXPECT_EQ(kv_codepoint_is_combining(c), 0);
}

TEST(CombiningTable, Boundaries) {
    EXPECT_EQ(kv_codepoint_is_combining(0x02FF), 0);
    EXPECT_EQ(kv_codepoint_is_combining(0x0300), 1);
    EXPECT_EQ(kv_codepoint_is_combining(0x200D), 0);
    EXPECT_EQ(kv_codepoint_is_combining(0x20E3), 1);
    EXPECT_EQ(kv_codepoint_is_combining(0x20F1), 1);
    EXPECT_EQ(kv_codepoint_is_combining(0x1F3FB), 0);
    EXPECT_EQ(kv_codepoint_is_combining(0x1734), 1);
    EXPECT_EQ(kv_codepoint_is_combining(0x0897), 0);
    EXPECT_EQ(kv_codepoint_is_combining(0xE0100), 1);
    EXPECT_EQ(kv_codepoint_is_combining(0xE01EF), 1);
    EXPECT_EQ(kv_codepoint_is_combining(0xE01F0), 0);
    EXPECT_EQ(kv_codepoint_is_combining(0xFFFD), 0);
    EXPECT_EQ(kv_codepoint_is_combining(0), 0);
}

TEST(WideTable, ExactlyTheThirteenRanges) {
    const Ranges expected = {
        {0x1100, 0x115F},   {0x2329, 0x232A}, {0x2E80, 0x303E},   {0x3040, 0xA4CF},
        {0xAC00, 0xD7A3},   {0xF900, 0xFAFF}, {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
        {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6}, {0x1F000, 0x1F9FF}, {0x1FA70, 0x1FAFF},
        {0x20000, 0x3FFFD},
    };
    EXPECT_EQ(sweep(kv_codepoint_is_wide), expected);
}

TEST(WideTable, Boundaries) {
    EXPECT_EQ(kv_codepoint_is_wide(0x10FF), 0);
    EXPECT_EQ(kv_codepoint_is_wide(0x1100), 1);
    EXPECT_EQ(kv_codepoint_is_wide(0x1160), 0);
    EXPECT_EQ(kv_codepoint_is_wide(0x303E), 1);
    EXPECT_EQ(kv_codepoint_is_wide(0x303F), 0);
    EXPECT_EQ(kv_codepoint_is_wide(0x3040), 1);
    EXPECT_EQ(kv_codepoint_is_wide(0x1F1E6), 1);
    EXPECT_EQ(kv_codepoint_is_wide(0x1FA00), 0);
    EXPECT_EQ(kv_codepoint_is_wide(0x1FA70), 1);
    EXPECT_EQ(kv_codepoint_is_wide(0x3FFFD), 1);
    EXPECT_EQ(kv_codepoint_is_wide(0x3FFFE), 0);
    EXPECT_EQ(kv_codepoint_is_wide(0xFFFD), 0);
}

TEST(WidthClasses, OverlapAndValuesBeyondUnicode) {
    for (uint64_t c : {0x302Au, 0x302Fu, 0x3099u, 0x309Au}) {
        EXPECT_EQ(kv_codepoint_is_combining(c), 1) << std::hex << c;
        EXPECT_EQ(kv_codepoint_is_wide(c), 1) << std::hex << c;
    }
    // Values that would alias a member if the test truncated to 32 or 21 bits.
    for (uint64_t c : {uint64_t{0x110300}, uint64_t{0x100000300}, uint64_t{0x100001100},
                       uint64_t{0x120000}, UINT64_MAX}) {
        EXPECT_EQ(kv_codepoint_is_combining(c), 0) << std::hex << c;
        EXPECT_EQ(kv_codepoint_is_wide(c), 0) << std::hex << c;
    }
}

} // namespace
