// The word rule of the text leaf: where Ctrl-W, Alt-B and the companion's
// Alt-D find the edges of a word.
#include <gtest/gtest.h>

#include <string>

#include "unicode/unicode.h"

namespace {

TEST(Word, EdgesBackwardAndForward) {
    struct Row {
        const char *text;
        size_t pos;
        size_t backward, forward_end;
    };
    const Row rows[] = {
        {"foo  bar", 8, 5, 8}, {"foo  bar", 5, 0, 8},
        {"   ", 3, 0, 3},      {"foo  bar", 3, 0, 8},
        {"foo  bar", 0, 0, 3}, {"a\tb", 3, 2, 3},
        {"x", 1, 0, 1},        {"\xC3\xA9t\xC3\xA9 x", 0, 0, 5},
    };
    for (const Row &r : rows) {
        size_t len = std::char_traits<char>::length(r.text);
        EXPECT_EQ(kv_word_backward(r.text, r.pos), r.backward) << r.text << " " << r.pos;
        EXPECT_EQ(kv_word_forward_end(r.text, len, r.pos), r.forward_end) << r.text << " " << r.pos;
    }
}

} // namespace
