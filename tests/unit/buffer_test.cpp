// Line buffer: growth, the length limit, the primitives and the public edits.
#include <gtest/gtest.h>

#include <string>

#include "base/state.h"
#include "fault.h"
#include "kavrik.h"
#include "test_editor.h"
#include "text/text.h"

namespace {

TEST(Buffer, LimitAcceptsExactlyMaxAndRefusesOneMore) {
    TestEditor e(line_limit(10));
    EXPECT_EQ(kv_set_buffer(e.ed, "0123456789"), 0);
    EXPECT_EQ(kv_cursor(e.ed), 10u);
    e.st()->line.cursor = 4;
    EXPECT_EQ(kv_set_buffer(e.ed, "0123456789a"), -1);
    EXPECT_STREQ(kv_last_error(e.ed), "line exceeds configured maximum length");
    EXPECT_EQ(e.line(), "0123456789");
    EXPECT_EQ(e.st()->line.cursor, 4u);
}

TEST(Buffer, InsertAtCursor) {
    TestEditor e;
    ASSERT_EQ(kv_set_buffer(e.ed, "abc"), 0);
    e.st()->line.cursor = 1;
    EXPECT_EQ(kv_insert(e.ed, "xy"), 0);
    EXPECT_EQ(e.line(), "axybc");
    EXPECT_EQ(kv_cursor(e.ed), 3u);
    EXPECT_EQ(kv_insert(e.ed, ""), 0);
    EXPECT_EQ(e.line(), "axybc");
    EXPECT_EQ(kv_cursor(e.ed), 3u);
}

TEST(Buffer, InsertPastTheLimitChangesNothing) {
    TestEditor e(line_limit(4));
    ASSERT_EQ(kv_set_buffer(e.ed, "abc"), 0);
    e.st()->line.cursor = 1;
    EXPECT_EQ(kv_insert(e.ed, "xy"), -1);
    EXPECT_STREQ(kv_last_error(e.ed), "line exceeds configured maximum length");
    EXPECT_EQ(e.line(), "abc");
    EXPECT_EQ(kv_cursor(e.ed), 1u);
}

TEST(Buffer, NullTextsAreInvalidArguments) {
    TestEditor e;
    EXPECT_EQ(kv_insert(e.ed, nullptr), -2);
    EXPECT_EQ(kv_set_buffer(e.ed, nullptr), -2);
    EXPECT_EQ(kv_last_error(e.ed), nullptr);
    EXPECT_EQ(kv_buf_set(e.ed, nullptr), 0); // internal: null means empty
    EXPECT_EQ(e.line(), "");
}

TEST(Buffer, GrowthFromEmptyTo300BytesEndsAt512) {
    TestEditor e;
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(kv_buf_insert(e.ed, e.st()->line.len, "z", 1), 0);
        size_t cap = e.st()->line.cap;
        ASSERT_TRUE(cap == 256 || cap == 512) << cap;
        ASSERT_EQ(e.st()->line.text[e.st()->line.len], '\0');
    }
    EXPECT_EQ(e.st()->line.cap, 512u);
    EXPECT_EQ(e.st()->line.len, 300u);
}

TEST(Buffer, ReserveChecksTheLimitBeforeTheCapacity) {
    TestEditor e(line_limit(10));
    EXPECT_EQ(kv_buf_reserve(e.ed, 11), 0);
    EXPECT_EQ(kv_buf_reserve(e.ed, 12), -1); // the block is 256 bytes, but too long
    EXPECT_STREQ(kv_last_error(e.ed), "line exceeds configured maximum length");
    EXPECT_EQ(kv_buf_reserve(nullptr, 1), -1);
}

TEST(Buffer, ReserveOverflowGuard) {
    TestEditor e;
    // Only reachable with a capacity that is not a power-of-two multiple.
    e.st()->line.max_len = ~size_t{0} - 1;
    size_t old = e.st()->line.cap;
    e.st()->line.cap = (~size_t{0} >> 1) + 1; // top bit set
    EXPECT_EQ(kv_buf_reserve(e.ed, ~size_t{0}), -1);
    EXPECT_STREQ(kv_last_error(e.ed), "line buffer is too large");
    e.st()->line.cap = old;
}

TEST(Buffer, CountsThatWouldWrapTheSizeAreRefused) {
    // A count near the largest size must not wrap "length + count + 1" round
    // to a small size that seems to fit: that would copy far past the block.
    TestEditor e(line_limit(10));
    ASSERT_EQ(kv_set_buffer(e.ed, "abc"), 0);
    const char src[4] = "xyz";
    for (size_t k : {~size_t{0}, ~size_t{0} - 1, ~size_t{0} - 3}) {
        EXPECT_EQ(kv_buf_insert(e.ed, 1, src, k), -1) << k;
        EXPECT_STREQ(kv_last_error(e.ed), "line exceeds configured maximum length");
        EXPECT_EQ(kv_buf_set_bytes(e.ed, src, k), -1) << k;
        EXPECT_EQ(e.line(), "abc");
        EXPECT_EQ(e.st()->line.cursor, 3u);
    }
}

TEST(Buffer, DeleteClampsAndIgnoresPositionsAtTheEnd) {
    TestEditor e;
    ASSERT_EQ(kv_set_buffer(e.ed, "abcdef"), 0);
    e.st()->line.cursor = 2;
    kv_buf_delete(e.ed, 6, 3);
    EXPECT_EQ(e.line(), "abcdef");
    kv_buf_delete(e.ed, 2, 0);
    EXPECT_EQ(e.line(), "abcdef");
    kv_buf_delete(e.ed, 4, 100);
    EXPECT_EQ(e.line(), "abcd");
    kv_buf_delete(e.ed, 1, 2);
    EXPECT_EQ(e.line(), "ad");
    EXPECT_EQ(e.st()->line.cursor, 2u); // primitives leave the cursor alone
}

TEST(Buffer, InsertPrimitiveClampsThePosition) {
    TestEditor e;
    ASSERT_EQ(kv_set_buffer(e.ed, "ab"), 0);
    e.st()->line.cursor = 0;
    EXPECT_EQ(kv_buf_insert(e.ed, 99, "cd", 2), 0);
    EXPECT_EQ(e.line(), "abcd");
    EXPECT_EQ(e.st()->line.cursor, 0u);
    EXPECT_EQ(kv_buf_insert(e.ed, 1, nullptr, 1), -1);
    EXPECT_EQ(kv_buf_insert(e.ed, 1, "x", 0), 0);
    EXPECT_EQ(e.line(), "abcd");
}

TEST(Buffer, SetBufferMovesCursorToTheEnd) {
    TestEditor e;
    ASSERT_EQ(kv_set_buffer(e.ed, "hello"), 0);
    EXPECT_EQ(kv_cursor(e.ed), 5u);
    ASSERT_EQ(kv_set_buffer(e.ed, ""), 0);
    EXPECT_EQ(kv_cursor(e.ed), 0u);
    EXPECT_STREQ(kv_buffer(e.ed), "");
}

TEST(Buffer, OwnLineAsSourceGivesTheCopiedResult) {
    TestEditor e;
    std::string text(250, 'q');
    text += "tail";
    ASSERT_EQ(kv_set_buffer(e.ed, text.c_str()), 0);
    e.st()->line.cursor = 3;
    // Inserting the line into itself must grow the block (254 -> 508 bytes)
    // while reading from the block being moved.
    EXPECT_EQ(kv_insert(e.ed, kv_buffer(e.ed)), 0);
    std::string want = text.substr(0, 3) + text + text.substr(3);
    EXPECT_EQ(e.line(), want);
    EXPECT_EQ(kv_cursor(e.ed), 3 + text.size());

    ASSERT_EQ(kv_set_buffer(e.ed, "abcdefgh"), 0);
    EXPECT_EQ(kv_set_buffer(e.ed, kv_buffer(e.ed) + 3), 0);
    EXPECT_EQ(e.line(), "defgh");
    EXPECT_EQ(kv_cursor(e.ed), 5u);

    // A source that straddles the insertion point.
    ASSERT_EQ(kv_set_buffer(e.ed, "abcdef"), 0);
    e.st()->line.cursor = 3;
    EXPECT_EQ(kv_insert(e.ed, kv_buffer(e.ed) + 1), 0);
    EXPECT_EQ(e.line(), "abcbcdefdef");
    e.st()->line.cursor = 0;
    EXPECT_EQ(kv_insert(e.ed, kv_buffer(e.ed) + 9), 0);
    EXPECT_EQ(e.line(), "efabcbcdefdef");
}

TEST(Buffer, GrowthFailureLeavesLineIntact) {
    TestEditor e;
    ASSERT_EQ(kv_set_buffer(e.ed, "keep"), 0);
    std::string big(300, 'b');
    {
        AllocFailer f(1);
        EXPECT_EQ(kv_insert(e.ed, big.c_str()), -1);
    }
    EXPECT_STREQ(kv_last_error(e.ed), "out of memory while growing line buffer");
    EXPECT_EQ(e.line(), "keep");
    EXPECT_EQ(e.st()->line.cap, 256u);
    {
        AllocFailer f(1);
        EXPECT_EQ(kv_set_buffer(e.ed, big.c_str()), -1);
    }
    EXPECT_EQ(e.line(), "keep");
    EXPECT_EQ(kv_cursor(e.ed), 4u);
    EXPECT_EQ(kv_set_buffer(e.ed, big.c_str()), 0);
    EXPECT_EQ(e.st()->line.cap, 512u);
}

TEST(WordBackward, Cases) {
    struct Case {
        const char *text;
        size_t pos, start;
    } const cases[] = {
        {"foo  bar", 8, 5},
        {"foo  bar", 5, 0},
        {"foo  bar", 4, 0},
        {"foo  bar", 7, 5},
        {"   ", 3, 0},
        {"ab", 1, 0},
        {"ab", 0, 0},
        {"a\tb\nc", 5, 4},
        {"x \xc3\xa9t\xc3\xa9", 7, 2},
        // Every separator ends a word: tab, line feed, vertical tab, form
        // feed and carriage return as well as the space, alone or in a run.
        {"ab\tcd", 5, 3},
        {"ab\ncd", 5, 3},
        {"ab\vcd", 5, 3},
        {"ab\fcd", 5, 3},
        {"ab\rcd", 5, 3},
        {"ab\r", 3, 0},
        {"ab\r\ncd\r", 7, 4},
        {"x\r\t\v\f\n yz", 9, 7},
    };
    for (const Case &c : cases)
        EXPECT_EQ(kv_word_backward(c.text, c.pos), c.start) << c.text << " at " << c.pos;
}

} // namespace
