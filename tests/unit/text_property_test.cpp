// Properties of decoding and segmentation over exhaustive short sequences
// and many random byte strings that mix valid UTF-8, joiners, marks and junk.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/state.h"
#include "kavrik.h"
#include "text/text.h"
#include "unicode/unicode.h"

namespace {

std::string encode(uint32_t c) {
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

bool is_surrogate(uint64_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// A decoded value is either the replacement for one byte or a scalar value
// whose shortest encoding is exactly the bytes consumed.
void expect_strict(const std::string &s, size_t pos, kv_decoded d) {
    ASSERT_GE(d.len, 1u);
    ASSERT_LE(d.len, 4u);
    ASSERT_LE(pos + d.len, s.size());
    EXPECT_LE(d.cp, 0x10FFFFu);
    EXPECT_FALSE(is_surrogate(d.cp));
    auto lead = static_cast<unsigned char>(s[pos]);
    if (d.len == 1) {
        EXPECT_EQ(d.cp, lead < 0x80 ? lead : kv_replacement_char);
    } else {
        EXPECT_EQ(encode(static_cast<uint32_t>(d.cp)), s.substr(pos, d.len));
    }
}

TEST(Utf8Property, EveryScalarValueRoundTrips) {
    int failures = 0;
    for (uint32_t c = 0; c <= 0x10FFFF && failures < 10; ++c) {
        std::string s = encode(c);
        kv_decoded d = kv_utf8_decode(s.data(), s.size(), 0);
        bool ok = is_surrogate(c) ? d.cp == kv_replacement_char && d.len == 1
                                  : d.cp == c && d.len == s.size();
        if (!ok) {
            ++failures;
            ADD_FAILURE() << std::hex << "U+" << c << " decoded as " << d.cp << "/" << d.len;
        }
    }
}

TEST(Utf8Property, EveryTwoAndThreeByteStringDecodesStrictly) {
    std::string s(3, '\0');
    int failures = 0;
    for (uint32_t v = 0; v < (1u << 24) && failures < 10; ++v) {
        s[0] = static_cast<char>(v >> 16);
        s[1] = static_cast<char>(v >> 8);
        s[2] = static_cast<char>(v);
        for (size_t len = 2; len <= 3; ++len) {
            if (len == 2 && (v & 0xFF) != 0) continue; // two-byte strings once each
            kv_decoded d = kv_utf8_decode(s.data(), len, 0);
            std::string text = s.substr(0, len);
            bool bad = d.len < 1 || d.len > len || d.cp > 0x10FFFF || is_surrogate(d.cp) ||
                       (d.len == 1 && d.cp != (static_cast<unsigned char>(s[0]) < 0x80
                                                   ? static_cast<unsigned char>(s[0])
                                                   : kv_replacement_char)) ||
                       (d.len > 1 && encode(static_cast<uint32_t>(d.cp)) != text.substr(0, d.len));
            if (bad) {
                ++failures;
                ADD_FAILURE() << std::hex << "bytes " << v << " len " << len;
            }
        }
    }
}

// Random text built from pieces that exercise every cluster rule.
class TextGen {
  public:
    explicit TextGen(uint32_t seed) : rng_(seed) {}

    std::string text(size_t pieces) {
        std::string s;
        for (size_t i = 0; i < pieces; ++i)
            s += piece();
        return s;
    }

  private:
    std::mt19937 rng_;

    uint32_t pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }

    std::string piece() {
        static const uint32_t special[] = {
            0x0301,  0x20E3, 0x200D, 0xFE0F, 0xFE0E, 0xE0100, 0x1F1E6, 0x1F1FF,  0x1F3FD,
            0x1F469, 0x4E00, 0x1100, 0x1161, 0x302A, 0x3099,  0x0E31,  0xE0020,  0x2764,
            0x09,    0x0D,   0x0A,   0x00,   0x7F,   0x85,    0xFFFD,  0x10FFFF,
        };
        switch (pick(6)) {
        case 0:
            return std::string(1, static_cast<char>('a' + pick(26)));
        case 1:
            return encode(special[pick(std::size(special))]);
        case 2: { // any scalar value
            uint32_t c = pick(0x110000);
            return encode(is_surrogate(c) ? 0x41 : c);
        }
        case 3:
            return std::string(1, static_cast<char>(pick(256))); // junk byte
        case 4: {                                                // a valid sequence cut short
            std::string e = encode(0x10000 + pick(0x100000));
            return e.substr(0, 1 + pick(3));
        }
        default:
            return encode(0x0300 + pick(0x70)); // common combining marks
        }
    }
};

struct Cluster {
    size_t start, len;
    int width;
};

std::vector<Cluster> walk(const std::string &s) {
    std::vector<Cluster> out;
    size_t pos = 0;
    while (pos < s.size()) {
        int w = -1;
        size_t n = kv_utf8_cluster_len_width(s.data(), s.size(), pos, &w);
        if (n == 0 || n > s.size() - pos) {
            ADD_FAILURE() << "cluster at " << pos << " has length " << n << " of " << s.size();
            break;
        }
        out.push_back({pos, n, w});
        pos += n;
    }
    return out;
}

constexpr int kRounds = 3000;

TEST(ClusterProperty, ClustersTileTheTextWithWidthsZeroToTwo) {
    TextGen gen(12345);
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        std::string s = gen.text(1 + round % 40);
        size_t covered = 0;
        for (const Cluster &c : walk(s)) {
            EXPECT_EQ(c.start, covered);
            EXPECT_TRUE(c.width >= 0 && c.width <= 2) << c.width;
            size_t n = kv_utf8_cluster_len_width(s.data(), s.size(), c.start, nullptr);
            EXPECT_EQ(n, c.len) << "the width pointer changed the length";
            covered += c.len;
        }
        EXPECT_EQ(covered, s.size());
    }
}

TEST(ClusterProperty, SteppingBackFromEachClusterEndFindsItsStart) {
    TextGen gen(777);
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        std::string s = gen.text(1 + round % 40);
        for (const Cluster &c : walk(s))
            EXPECT_EQ(kv_utf8_prev_cluster_len(s.data(), c.start + c.len), c.len)
                << "end " << c.start + c.len << " round " << round;
    }
}

TEST(ClusterProperty, DecodingIsStrictAtEveryOffset) {
    TextGen gen(4242);
    for (int round = 0; round < kRounds && !HasFailure(); ++round) {
        std::string s = gen.text(1 + round % 40);
        for (size_t pos = 0; pos < s.size(); ++pos)
            expect_strict(s, pos, kv_utf8_decode(s.data(), s.size(), pos));
    }
}

TEST(ClusterProperty, SetCursorLandsOnTheStartOfTheClusterHoldingThePosition) {
    kv_editor *ed = kv_create();
    ASSERT_NE(ed, nullptr);
    TextGen gen(99);
    for (int round = 0; round < kRounds / 3 && !HasFailure(); ++round) {
        std::string s = gen.text(1 + round % 30);
        ASSERT_EQ(kv_buf_set_bytes(ed, s.data(), s.size()), 0);
        std::vector<size_t> start_of(s.size() + 1, s.size());
        for (const Cluster &c : walk(s))
            for (size_t p = c.start; p < c.start + c.len; ++p)
                start_of[p] = c.start;
        for (size_t p = 0; p <= s.size() + 1; ++p) {
            ASSERT_EQ(kv_set_cursor(ed, p), 0);
            size_t want = p >= s.size() ? s.size() : start_of[p];
            EXPECT_EQ(kv_cursor(ed), want) << "position " << p << " round " << round;
            EXPECT_LE(kv_cursor(ed), p);
        }
        EXPECT_EQ(std::string(ed->state->line.text, ed->state->line.len), s);
    }
    kv_destroy(ed);
}

} // namespace
