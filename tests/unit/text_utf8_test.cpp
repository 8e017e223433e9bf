// UTF-8 decoding, cluster lengths and widths, stepping back, and kv_set_cursor.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/state.h"
#include "kavrik.h"
#include "text/text.h"
#include "unicode/unicode.h"

namespace {

using Clusters = std::vector<std::pair<size_t, int>>; // (bytes, width)

// The text split into clusters from offset 0.
Clusters clusters(const std::string &s) {
    Clusters out;
    for (size_t pos = 0; pos < s.size();) {
        int w = -1;
        size_t n = kv_utf8_cluster_len_width(s.data(), s.size(), pos, &w);
        if (n == 0) {
            ADD_FAILURE() << "empty cluster at " << pos;
            break;
        }
        out.emplace_back(n, w);
        pos += n;
    }
    return out;
}

kv_decoded decode(const std::string &s, size_t pos = 0) {
    return kv_utf8_decode(s.data(), s.size(), pos);
}

const std::string kRI_A = "\xF0\x9F\x87\xA6"; // U+1F1E6
const std::string kRI_B = "\xF0\x9F\x87\xA7"; // U+1F1E7
const std::string kZWJ = "\xE2\x80\x8D";      // U+200D
const std::string kVS16 = "\xEF\xB8\x8F";     // U+FE0F
const std::string kKeycap = "\xE2\x83\xA3";   // U+20E3
const std::string kAcute = "\xCC\x81";        // U+0301

TEST(Utf8Decode, ValidSequencesOfEachLength) {
    EXPECT_EQ(decode("A").cp, 0x41u);
    EXPECT_EQ(decode("A").len, 1u);
    EXPECT_EQ(decode("\xC2\x80").cp, 0x80u);
    EXPECT_EQ(decode("\xDF\xBF").cp, 0x7FFu);
    EXPECT_EQ(decode("\xE0\xA0\x80").cp, 0x800u);
    EXPECT_EQ(decode("\xEF\xBF\xBF").cp, 0xFFFFu);
    EXPECT_EQ(decode("\xED\x9F\xBF").cp, 0xD7FFu);
    EXPECT_EQ(decode("\xEE\x80\x80").cp, 0xE000u);
    EXPECT_EQ(decode("\xF0\x90\x80\x80").cp, 0x10000u);
    EXPECT_EQ(decode("\xF4\x8F\xBF\xBF").cp, 0x10FFFFu);
    EXPECT_EQ(decode("\xF4\x8F\xBF\xBF").len, 4u);
    EXPECT_EQ(decode("\xE2\x82\xAC").len, 3u);
    std::string nul("\0", 1);
    EXPECT_EQ(decode(nul).cp, 0u);
    EXPECT_EQ(decode(nul).len, 1u);
}

TEST(Utf8Decode, InvalidSequencesReadAsOneReplacementByte) {
    const char *bad[] = {
        "\x80",             // lone continuation
        "\xBF",             //
        "\xC0\x80",         // overlong NUL
        "\xC1\xBF",         // overlong 0x7F
        "\xE0\x9F\xBF",     // overlong 0x7FF
        "\xF0\x8F\xBF\xBF", // overlong 0xFFFF
        "\xED\xA0\x80",     // surrogate U+D800
        "\xED\xBF\xBF",     // surrogate U+DFFF
        "\xF4\x90\x80\x80", // U+110000
        "\xF5\x80\x80\x80",
        "\xF7\xBF\xBF\xBF",
        "\xF8\x88\x80\x80\x80",
        "\xFF",
        "\xC3\x41", // continuation of the wrong form
        "\xE2\x82\x41",
        "\xF0\x9F\x98\xC0",
    };
    for (const char *b : bad) {
        kv_decoded d = decode(b);
        EXPECT_EQ(d.cp, kv_replacement_char) << b;
        EXPECT_EQ(d.len, 1u) << b;
    }
}

TEST(Utf8Decode, TruncatedSequenceAtTheEnd) {
    std::string s = "\xE2\x82\xAC";
    for (size_t cut = 1; cut < 3; ++cut) {
        kv_decoded d = kv_utf8_decode(s.data(), cut, 0);
        EXPECT_EQ(d.cp, kv_replacement_char);
        EXPECT_EQ(d.len, 1u);
    }
    std::string four = "\xF0\x9F\x98\x80";
    EXPECT_EQ(kv_utf8_decode(four.data(), 3, 0).cp, kv_replacement_char);
    EXPECT_EQ(kv_utf8_decode(four.data(), 4, 0).cp, 0x1F600u);
    EXPECT_EQ(kv_utf8_decode(four.data(), 4, 1).cp, kv_replacement_char);
}

TEST(Utf8Decode, OutOfRangePositionConsumesNothing) {
    // Outside the contract; must not read past the text nor claim a byte.
    EXPECT_EQ(kv_utf8_decode("ab", 2, 2).len, 0u);
    EXPECT_EQ(kv_utf8_decode(nullptr, 5, 0).len, 0u);
}

TEST(Utf8Cluster, CombiningMarks) {
    EXPECT_EQ(clusters("e" + kAcute), (Clusters{{3, 1}}));
    EXPECT_EQ(clusters(kAcute), (Clusters{{2, 0}}));
    EXPECT_EQ(clusters(kAcute + kAcute + "x"), (Clusters{{4, 0}, {1, 1}}));
    EXPECT_EQ(clusters("a" + kAcute + kAcute + "b"), (Clusters{{5, 1}, {1, 1}}));
}

TEST(Utf8Cluster, InvalidBytesAreClustersOfWidthOne) {
    EXPECT_EQ(clusters("\xC0\x80"), (Clusters{{1, 1}, {1, 1}}));
    EXPECT_EQ(clusters("\xED\xA0\x80"), (Clusters{{1, 1}, {1, 1}, {1, 1}}));
    EXPECT_EQ(clusters("\xF4\x90\x80\x80"), (Clusters{{1, 1}, {1, 1}, {1, 1}, {1, 1}}));
    EXPECT_EQ(clusters("\xE2\x82"), (Clusters{{1, 1}, {1, 1}}));
    // An invalid byte does not take the marks of the previous cluster, but
    // as a base it takes the marks that follow it.
    EXPECT_EQ(clusters("a\x80" + kAcute), (Clusters{{1, 1}, {3, 1}}));
}

TEST(Utf8Cluster, RegionalIndicatorsPairFromTheLeft) {
    EXPECT_EQ(clusters(kRI_A), (Clusters{{4, 2}}));
    EXPECT_EQ(clusters(kRI_A + kRI_B), (Clusters{{8, 2}}));
    EXPECT_EQ(clusters(kRI_A + kRI_B + kRI_A), (Clusters{{8, 2}, {4, 2}}));
    EXPECT_EQ(clusters(kRI_A + kRI_B + kRI_A + kRI_B), (Clusters{{8, 2}, {8, 2}}));
    EXPECT_EQ(clusters(kRI_A + "x"), (Clusters{{4, 2}, {1, 1}}));
}

TEST(Utf8Cluster, ZeroWidthJoiner) {
    std::string woman = "\xF0\x9F\x91\xA9", laptop = "\xF0\x9F\x92\xBB";
    EXPECT_EQ(clusters(woman + kZWJ + laptop), (Clusters{{11, 2}}));
    EXPECT_EQ(clusters("a" + kZWJ + "b"), (Clusters{{5, 2}}));
    EXPECT_EQ(clusters("x" + kZWJ), (Clusters{{4, 1}}));
    // The joiner takes even a control character or an invalid byte.
    EXPECT_EQ(clusters("a" + kZWJ + "\t" + "c"), (Clusters{{5, 2}, {1, 1}}));
    EXPECT_EQ(clusters("a" + kZWJ + "\xFF" + "c"), (Clusters{{5, 2}, {1, 1}}));
    // A joiner cut from its follower by the text length.
    std::string s = "a" + kZWJ + "b";
    int w = -1;
    EXPECT_EQ(kv_utf8_cluster_len_width(s.data(), 4, 0, &w), 4u);
    EXPECT_EQ(w, 1);
}

TEST(Utf8Cluster, VariationSelectorsAndKeycaps) {
    std::string heart = "\xE2\x9D\xA4"; // U+2764
    EXPECT_EQ(clusters(heart), (Clusters{{3, 1}}));
    EXPECT_EQ(clusters(heart + kVS16), (Clusters{{6, 2}}));
    EXPECT_EQ(clusters("1" + kVS16 + kKeycap), (Clusters{{7, 2}}));
    EXPECT_EQ(clusters("1" + kKeycap), (Clusters{{4, 1}}));
    EXPECT_EQ(clusters("a\xEF\xB8\x8E"), (Clusters{{4, 1}}));     // VS15 joins, stays narrow
    EXPECT_EQ(clusters("a\xF3\xA0\x84\x80"), (Clusters{{5, 1}})); // U+E0100
}

TEST(Utf8Cluster, ModifiersAndTagsStandAlone) {
    std::string thumbs = "\xF0\x9F\x91\x8D", tone = "\xF0\x9F\x8F\xBD";
    EXPECT_EQ(clusters(thumbs + tone), (Clusters{{4, 2}, {4, 2}}));
    std::string tag = "\xF3\xA0\x80\xA0"; // U+E0020
    EXPECT_EQ(clusters("a" + tag), (Clusters{{1, 1}, {4, 1}}));
}

TEST(Utf8Cluster, ControlsAreZeroWidthClusters) {
    EXPECT_EQ(clusters("\r\n"), (Clusters{{1, 0}, {1, 0}}));
    EXPECT_EQ(clusters("\t"), (Clusters{{1, 0}}));
    EXPECT_EQ(clusters(std::string("\0", 1)), (Clusters{{1, 0}}));
    EXPECT_EQ(clusters("\x7F"), (Clusters{{1, 0}}));
    EXPECT_EQ(clusters("\xC2\x85"), (Clusters{{2, 0}})); // C1 control
    EXPECT_EQ(clusters("\xC2\xA0"), (Clusters{{2, 1}})); // NBSP
    EXPECT_EQ(clusters("\t" + kAcute), (Clusters{{3, 0}}));
}

TEST(Utf8Cluster, HangulAndOverlapRanges) {
    EXPECT_EQ(clusters("\xE1\x84\x80\xE1\x85\xA1"), (Clusters{{3, 2}, {3, 1}}));
    std::string u302a = "\xE3\x80\xAA", u3099 = "\xE3\x82\x99";
    EXPECT_EQ(clusters(u302a), (Clusters{{3, 2}}));
    EXPECT_EQ(clusters(u3099), (Clusters{{3, 2}}));
    EXPECT_EQ(clusters("a" + u302a), (Clusters{{4, 1}}));
    EXPECT_EQ(clusters("a" + u3099), (Clusters{{4, 1}}));
    std::string ka = "\xE3\x81\x8B"; // U+304B, wide
    EXPECT_EQ(clusters(ka + u3099), (Clusters{{6, 2}}));
}

TEST(Utf8Cluster, AtOrPastTheEndIsEmpty) {
    int w = 7;
    EXPECT_EQ(kv_utf8_cluster_len_width("ab", 2, 2, &w), 0u);
    EXPECT_EQ(w, 0);
    w = 7;
    EXPECT_EQ(kv_utf8_cluster_len_width("ab", 2, 9, &w), 0u);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(kv_utf8_cluster_len_width("ab", 2, 1, nullptr), 1u);
}

TEST(Utf8Prev, StepsBackOverWholeClusters) {
    std::string s = "e" + kAcute;
    EXPECT_EQ(kv_utf8_prev_cluster_len(s.data(), 3), 3u);
    std::string flag = "ab" + kRI_A + kRI_B;
    EXPECT_EQ(kv_utf8_prev_cluster_len(flag.data(), flag.size()), 8u);
    EXPECT_EQ(kv_utf8_prev_cluster_len(flag.data(), 2), 1u);
    // Cut inside the pair: the lone first indicator is the last cluster.
    EXPECT_EQ(kv_utf8_prev_cluster_len(flag.data(), 6), 4u);
    std::string three = kRI_A + kRI_B + kRI_A;
    EXPECT_EQ(kv_utf8_prev_cluster_len(three.data(), 12), 4u);
    // Cut inside a sequence: the cut bytes read as replacement characters.
    std::string euro = "x\xE2\x82\xAC";
    EXPECT_EQ(kv_utf8_prev_cluster_len(euro.data(), 3), 1u);
    EXPECT_EQ(kv_utf8_prev_cluster_len(euro.data(), 4), 3u);
    EXPECT_EQ(kv_utf8_prev_cluster_len(euro.data(), 0), 0u); // outside the contract
}

struct CursorEditor {
    kv_editor *ed = kv_create();
    ~CursorEditor() { kv_destroy(ed); }
    size_t set(size_t pos) {
        EXPECT_EQ(kv_set_cursor(ed, pos), 0);
        return kv_cursor(ed);
    }
};

TEST(SetCursor, NullEditorOrState) {
    EXPECT_EQ(kv_set_cursor_method(nullptr, 0), -2);
    kv_editor bare{};
    EXPECT_EQ(kv_set_cursor_method(&bare, 0), -2);
}

TEST(SetCursor, EmptyLineAndEnds) {
    CursorEditor e;
    EXPECT_EQ(e.set(5), 0u); // no block yet
    ASSERT_EQ(kv_set_buffer(e.ed, "abc"), 0);
    EXPECT_EQ(e.set(0), 0u);
    EXPECT_EQ(e.set(3), 3u);
    EXPECT_EQ(e.set(100), 3u);
    EXPECT_EQ(e.set(SIZE_MAX), 3u);
    EXPECT_EQ(e.set(2), 2u);
}

TEST(SetCursor, MovesBackToTheClusterStart) {
    CursorEditor e;
    ASSERT_EQ(kv_set_buffer(e.ed, "e\xCC\x81x"), 0);
    EXPECT_EQ(e.set(1), 0u);
    EXPECT_EQ(e.set(2), 0u);
    EXPECT_EQ(e.set(3), 3u);
    EXPECT_EQ(e.set(4), 4u);
    std::string flag = kRI_A + kRI_B + "z";
    ASSERT_EQ(kv_set_buffer(e.ed, flag.c_str()), 0);
    for (size_t p = 1; p < 8; ++p)
        EXPECT_EQ(e.set(p), 0u) << p;
    EXPECT_EQ(e.set(8), 8u);
    EXPECT_EQ(e.set(9), 9u);
}

TEST(SetCursor, LeavesTheLineUnchanged) {
    CursorEditor e;
    ASSERT_EQ(kv_set_buffer(e.ed, "a\xE4\xB8\x80"
                                  "b"),
              0);
    EXPECT_EQ(e.set(2), 1u);
    EXPECT_STREQ(kv_buffer(e.ed), "a\xE4\xB8\x80"
                                  "b");
    EXPECT_EQ(e.ed->state->line.len, 5u);
}

} // namespace
