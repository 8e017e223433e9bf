// The companion measures text with its own copy of the width tables and
// cluster rules; they must agree with the core's on every code point, alone,
// after a base letter, and before a joiner, or the listing's columns and the
// common prefix would drift from what the editor draws.
#include <gtest/gtest.h>

#include <string>

#include "ext.h"
#include "text/text.h"

namespace {

std::string utf8(uint32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

TEST(ExtText, ClustersAndWidthsAgreeWithTheCoreOnEveryCodePoint) {
    size_t disagreements = 0;
    std::string first;
    for (uint32_t cp = 1; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const std::string forms[] = {utf8(cp), "a" + utf8(cp), utf8(cp) + "\xE2\x80\x8D" "b", utf8(cp) + "\xCC\x81"};
        for (const std::string &t : forms) {
            int core_w = -1;
            size_t core_n = kv_utf8_cluster_len_width(t.data(), t.size(), 0, &core_w);
            kvx_cluster mine = kvx_cluster_at(t.data(), t.size(), 0);
            bool same = mine.len == core_n && mine.width == core_w &&
                        kvx_text_width(t.data(), t.size()) ==
                            [&] {
                                size_t w = 0;
                                for (size_t at = 0; at < t.size();) {
                                    int cw = 0;
                                    at += kv_utf8_cluster_len_width(t.data(), t.size(), at, &cw);
                                    w += static_cast<size_t>(cw);
                                }
                                return w;
                            }() &&
                        kvx_prev_cluster_len(t.data(), t.size()) == kv_utf8_prev_cluster_len(t.data(), t.size());
            if (!same && disagreements++ == 0) first = "U+" + std::to_string(cp);
        }
    }
    EXPECT_EQ(disagreements, 0u) << "first at " << first;
}

TEST(ExtText, WordEdgesFollowTheCoresRule) {
    struct Row {
        const char *text;
        size_t pos;
        size_t backward, forward_end;
    };
    const Row rows[] = {
        {"foo  bar", 8, 5, 8}, {"foo  bar", 5, 0, 8}, {"   ", 3, 0, 3},  {"foo  bar", 3, 0, 8},
        {"foo  bar", 0, 0, 3}, {"a\tb", 3, 2, 3},     {"x", 1, 0, 1},    {"\xC3\xA9t\xC3\xA9 x", 0, 0, 5},
    };
    for (const Row &r : rows) {
        size_t len = std::char_traits<char>::length(r.text);
        EXPECT_EQ(kvx_word_backward(r.text, r.pos), kv_word_backward(r.text, r.pos)) << r.text << " " << r.pos;
        EXPECT_EQ(kvx_word_backward(r.text, r.pos), r.backward) << r.text << " " << r.pos;
        EXPECT_EQ(kvx_word_forward_end(r.text, len, r.pos), r.forward_end) << r.text << " " << r.pos;
    }
}

} // namespace
