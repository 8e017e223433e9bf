// The built-in commands, run through kv_edit_dispatch on a call over a real
// editor: every entry of the normal table and of the search table, and the
// keys that neither table lists.
#include <gtest/gtest.h>

#include <string>

#include "base/state.h"
#include "fault.h"
#include "keys_call.h"

namespace {

// e + U+0301: one cluster of three bytes.
const std::string kv_e_acute = "e\xcc\x81";

struct Case {
    int key;
    std::string line;
    size_t cursor;
    std::string want_line;
    size_t want_cursor;
};

void run_cases(const Case *cases, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const Case &t = cases[i];
        KeysCall k;
        k.set_line(t.line, t.cursor);
        k.close_input();
        kv_edit_dispatch(&k.c, t.key);
        EXPECT_EQ(k.line(), t.want_line) << "key " << t.key << " case " << i;
        EXPECT_EQ(k.st()->line.cursor, t.want_cursor) << "key " << t.key << " case " << i;
        EXPECT_EQ(k.c.end, kv_end::none) << "key " << t.key << " case " << i;
    }
}

TEST(KeyCommands, CursorMotionGoesByCluster) {
    const std::string s = "a" + kv_e_acute + "b"; // clusters at 0, 1, 4
    const Case cases[] = {
        {1, s, 4, s, 0},          {KV_KEY_HOME, s, 4, s, 0}, {5, s, 1, s, 5},
        {KV_KEY_END, s, 0, s, 5}, {2, s, 4, s, 1},           {KV_KEY_LEFT, s, 1, s, 0},
        {2, s, 0, s, 0},          {6, s, 1, s, 4},           {KV_KEY_RIGHT, s, 4, s, 5},
        {6, s, 5, s, 5},
    };
    run_cases(cases, std::size(cases));
}

TEST(KeyCommands, DeletionsGoByCluster) {
    const std::string s = "a" + kv_e_acute + "b";
    const Case cases[] = {
        {4, s, 1, "ab", 1},
        {KV_KEY_DELETE, s, 0, kv_e_acute + "b", 0},
        {4, s, 5, s, 5},
        {KV_KEY_DELETE, s, 5, s, 5},
        {KV_KEY_DELETE, "", 0, "", 0},
        {8, s, 4, "ab", 1},
        {127, s, 5, "a" + kv_e_acute, 4},
        {127, s, 0, s, 0},
        {11, "hello", 2, "he", 2},
        {11, "hello", 5, "hello", 5},
        {21, "hello", 2, "llo", 0},
        {21, "hello", 0, "hello", 0},
    };
    run_cases(cases, std::size(cases));
}

TEST(KeyCommands, WordsBackwardAndForward) {
    const Case cases[] = {
        // Ctrl-W from the end of "foo bar  " leaves "foo ".
        {23, "foo bar  ", 9, "foo ", 4},
        {23, "foo bar", 0, "foo bar", 0},
        {23, "foo bar", 5, "foo ar", 4},
        {KV_KEY_ALT_B, "foo bar", 7, "foo bar", 4},
        {KV_KEY_ALT_B, "foo bar", 4, "foo bar", 0},
        {KV_KEY_ALT_F, "foo bar", 0, "foo bar", 4},
        {KV_KEY_ALT_F, "foo bar", 4, "foo bar", 7},
        {KV_KEY_ALT_F, "foo bar", 7, "foo bar", 7},
        {KV_KEY_ALT_F, "a\t\n\r\v\fb", 0, "a\t\n\r\v\fb", 6},
        // Bytes of multi-byte characters belong to words.
        {KV_KEY_ALT_F, "\xc3\xa9t\xc3\xa9 x", 0, "\xc3\xa9t\xc3\xa9 x", 6},
        {KV_KEY_ALT_F, "ab  ", 1, "ab  ", 4},
    };
    run_cases(cases, std::size(cases));
}

// Whitespace is the space and the bytes 9..13, nothing else: word motion in
// both directions stops at exactly those bytes, whatever byte it is.
TEST(KeyCommands, WordMotionBreaksAtExactlyTheWhitespaceBytes) {
    const struct {
        unsigned char byte;
        bool space;
    } rows[] = {
        {' ', true},   {'\t', true},  {'\n', true},  {'\v', true},  {'\f', true},
        {'\r', true},  {0, false},    {8, false},    {14, false},   {'_', false},
        {0x7F, false}, {0x85, false}, {0xA0, false}, {0xFF, false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(kv_is_space(row.byte), row.space) << "byte " << int(row.byte);
    for (int b = 0; b < 256; ++b) {
        const std::string s = std::string("a") + static_cast<char>(b) + "c";
        const bool space = kv_is_space(static_cast<unsigned char>(b));
        const Case cases[] = {
            {KV_KEY_ALT_B, s, 3, s, space ? 2u : 0u},
            {KV_KEY_ALT_F, s, 0, s, space ? 2u : 3u},
        };
        SCOPED_TRACE(b);
        run_cases(cases, std::size(cases));
    }
}

TEST(KeyCommands, LineFeedAndTextGoInAtTheCursor) {
    const Case cases[] = {
        {10, "ab", 1, "a\nb", 2},
        {'x', "ab", 1, "axb", 2},
        {' ', "", 0, " ", 1},
        {'~', "ab", 2, "ab~", 3},
        {0xff, "ab", 0,
         "\xff"
         "ab",
         1},
    };
    run_cases(cases, std::size(cases));
}

TEST(KeyCommands, TextPullsTheRestOfACharacterFromTheInput) {
    KeysCall k;
    k.set_line("ab", 1);
    k.feed("\x82\xac"
           "c");
    k.close_input();
    kv_edit_dispatch(&k.c, 0xe2);
    EXPECT_EQ(k.line(), "a\xe2\x82\xac"
                        "b");
    EXPECT_EQ(k.st()->line.cursor, 4u);
    EXPECT_EQ(k.rest(), "c");
}

TEST(KeyCommands, AFullLineRefusesTextAndLineFeeds) {
    KeysCall k(3);
    k.set_line("abc", 1);
    k.feed("\xa9");
    k.close_input();
    kv_edit_dispatch(&k.c, 'x');
    kv_edit_dispatch(&k.c, 10);
    kv_edit_dispatch(&k.c, 0xc3);
    EXPECT_EQ(k.line(), "abc");
    EXPECT_EQ(k.st()->line.cursor, 1u);
    EXPECT_EQ(k.c.end, kv_end::none);
    EXPECT_STREQ(kv_last_error(k.ed), "line exceeds configured maximum length");
}

TEST(KeyCommands, EnterCtrlCAndCtrlDEndTheCall) {
    struct End {
        int key;
        std::string line;
        kv_end end;
    };
    const End ends[] = {
        {13, "abc", kv_end::submit}, {13, "", kv_end::submit}, {3, "abc", kv_end::interrupt},
        {4, "", kv_end::eof},        {4, "abc", kv_end::none}, // at the end of a non-empty line:
                                                               // nothing
    };
    for (const End &e : ends) {
        KeysCall k;
        k.set_line(e.line, e.line.size());
        kv_edit_dispatch(&k.c, e.key);
        EXPECT_EQ(k.c.end, e.end) << "key " << e.key;
        EXPECT_EQ(k.line(), e.line);
    }
}

TEST(KeyCommands, PasteStartTurnsPasteModeOn) {
    KeysCall k;
    kv_edit_dispatch(&k.c, KV_KEY_PASTE_START);
    EXPECT_EQ(k.st()->flags.paste_active, 1);
}

TEST(KeyCommands, UnlistedKeysChangeNothing) {
    const int keys[] = {0,
                        7,
                        9,
                        12,
                        14,
                        15,
                        16,
                        17,
                        19,
                        20,
                        22,
                        24,
                        25,
                        26,
                        27,
                        28,
                        29,
                        30,
                        31,
                        KV_KEY_UNRECOGNISED,
                        KV_KEY_PASTE_END,
                        KV_KEY_F1,
                        KV_KEY_F5,
                        KV_KEY_F10,
                        KV_KEY_CTRL_ENTER,
                        KV_KEY_ALT + 'x',
                        KV_KEY_ALT + 'Z',
                        256,
                        999,
                        5000};
    for (int key : keys) {
        KeysCall k;
        k.set_line("foo bar", 3);
        kv_edit_dispatch(&k.c, key);
        EXPECT_EQ(k.line(), "foo bar") << key;
        EXPECT_EQ(k.st()->line.cursor, 3u) << key;
        EXPECT_EQ(k.c.end, kv_end::none) << key;
        EXPECT_EQ(k.st()->flags.paste_active, 0) << key;
        EXPECT_EQ(k.c.search.active, 0) << key;
    }
}

// ---- history recall ---------------------------------------------------------------

struct WithHistory : KeysCall {
    explicit WithHistory(int width = 80) {
        st()->screen.width = width;
        st()->screen.auto_width = 0;
        kv_history_add(ed, "first");
        kv_history_add(ed, "second");
    }
};

TEST(KeyCommands, UpRecallsOnlyFromTheEndOfAOneRowLine) {
    WithHistory k;
    k.set_line("typed", 2);
    kv_edit_dispatch(&k.c, KV_KEY_UP);
    EXPECT_EQ(k.line(), "typed");
    EXPECT_EQ(k.st()->history.walk, -1);
    k.st()->line.cursor = 5;
    kv_edit_dispatch(&k.c, KV_KEY_UP);
    EXPECT_EQ(k.line(), "second");
    kv_edit_dispatch(&k.c, KV_KEY_UP);
    EXPECT_EQ(k.line(), "first");
    kv_edit_dispatch(&k.c, KV_KEY_DOWN);
    EXPECT_EQ(k.line(), "second");
    kv_edit_dispatch(&k.c, KV_KEY_DOWN);
    EXPECT_EQ(k.line(), "typed");
}

TEST(KeyCommands, DownBeforeAnyRecallDoesNothing) {
    WithHistory k;
    k.set_line("typed", 5);
    kv_edit_dispatch(&k.c, KV_KEY_DOWN);
    EXPECT_EQ(k.line(), "typed");
    EXPECT_EQ(k.st()->history.walk, -1);
}

TEST(KeyCommands, UpAndDownMoveBetweenRowsOfAWrappedLine) {
    WithHistory k(10);
    const std::string s = "abcdefghijklmnopqrstuvwxyz"; // wraps over several rows
    k.set_line(s, 26);
    kv_edit_dispatch(&k.c, KV_KEY_UP);
    EXPECT_LT(k.st()->line.cursor, 26u); // a row move, not a recall
    EXPECT_EQ(k.line(), s);
    EXPECT_EQ(k.st()->history.walk, -1);
    k.st()->line.cursor = 2; // on the first row
    kv_edit_dispatch(&k.c, KV_KEY_DOWN);
    size_t below = k.st()->line.cursor;
    EXPECT_GT(below, 2u);
    EXPECT_EQ(k.st()->history.walk, -1);
    kv_edit_dispatch(&k.c, KV_KEY_UP);
    EXPECT_EQ(k.st()->line.cursor, 2u); // same column, one row up
    kv_edit_dispatch(&k.c, KV_KEY_UP);  // no row above, not at the end: nothing
    EXPECT_EQ(k.st()->line.cursor, 2u);
    EXPECT_EQ(k.line(), s);
    EXPECT_EQ(k.st()->history.walk, -1);
}

// ---- reverse search -------------------------------------------------------------

struct Search : WithHistory {
    Search() {
        kv_history_add(ed, "grep apple");
        set_line("typed", 5);
        close_input();
        kv_edit_dispatch(&c, 18);
    }
    std::string query() const { return std::string(c.search.query, c.search.query_len); }
};

TEST(KeySearch, CtrlRStartsASearchThatTypedTextNarrows) {
    Search k;
    ASSERT_EQ(k.c.search.active, 1);
    ASSERT_EQ(k.c.end, kv_end::none);
    for (char ch : std::string("sec"))
        kv_edit_dispatch(&k.c, ch);
    EXPECT_EQ(k.query(), "sec");
    EXPECT_EQ(k.line(), "second");
    ASSERT_NE(k.c.search.display, nullptr);
}

TEST(KeySearch, CtrlRAgainFindsTheNextOlderMatch) {
    Search k;
    kv_edit_dispatch(&k.c, 'e');
    std::string newest = k.line();
    kv_edit_dispatch(&k.c, 18);
    EXPECT_NE(k.line(), newest);
    EXPECT_EQ(k.query(), "e");
}

TEST(KeySearch, BackspaceAndCtrlUShortenTheQuery) {
    Search k;
    kv_edit_dispatch(&k.c, 'f');
    kv_edit_dispatch(&k.c, 'i');
    EXPECT_EQ(k.line(), "first");
    kv_edit_dispatch(&k.c, 127);
    EXPECT_EQ(k.query(), "f");
    kv_edit_dispatch(&k.c, 8);
    EXPECT_EQ(k.query(), "");
    kv_edit_dispatch(&k.c, 8); // on an empty query: searches again
    EXPECT_EQ(k.query(), "");
    EXPECT_EQ(k.c.end, kv_end::none);
    kv_edit_dispatch(&k.c, 's');
    kv_edit_dispatch(&k.c, 21);
    EXPECT_EQ(k.query(), "");
    EXPECT_EQ(k.c.search.active, 1);
}

TEST(KeySearch, CtrlGAndEscPutTheTypedLineBack) {
    for (int key : {7, 27}) {
        Search k;
        kv_edit_dispatch(&k.c, 'f');
        EXPECT_EQ(k.line(), "first");
        kv_edit_dispatch(&k.c, key);
        EXPECT_EQ(k.c.search.active, 0);
        EXPECT_EQ(k.line(), "typed");
        EXPECT_EQ(k.c.end, kv_end::none);
        kv_edit_dispatch(&k.c, 'x'); // normal editing again
        EXPECT_EQ(k.line(), "typedx");
    }
}

TEST(KeySearch, EnterSubmitsTheLineTheSearchShows) {
    Search k;
    kv_edit_dispatch(&k.c, 'a');
    kv_edit_dispatch(&k.c, 13);
    EXPECT_EQ(k.c.end, kv_end::submit);
    EXPECT_EQ(k.c.search.active, 0);
    EXPECT_EQ(k.line(), "grep apple");
}

TEST(KeySearch, CtrlCInterrupts) {
    Search k;
    kv_edit_dispatch(&k.c, 3);
    EXPECT_EQ(k.c.end, kv_end::interrupt);
}

TEST(KeySearch, UnlistedKeysKeepTheSearchAsItIs) {
    const int keys[] = {4,
                        10,
                        9,
                        1,
                        KV_KEY_UP,
                        KV_KEY_LEFT,
                        KV_KEY_DELETE,
                        KV_KEY_PASTE_END,
                        KV_KEY_UNRECOGNISED,
                        KV_KEY_ALT + 'x',
                        KV_KEY_ALT_F};
    for (int key : keys) {
        Search k;
        kv_edit_dispatch(&k.c, 'f');
        kv_edit_dispatch(&k.c, key);
        EXPECT_EQ(k.query(), "f") << key;
        EXPECT_EQ(k.line(), "first") << key;
        EXPECT_EQ(k.c.search.active, 1) << key;
        EXPECT_EQ(k.c.end, kv_end::none) << key;
    }
}

TEST(KeySearch, PasteStartIsHonouredSoAPasteFillsTheQuery) {
    Search k;
    kv_edit_dispatch(&k.c, KV_KEY_PASTE_START);
    EXPECT_EQ(k.st()->flags.paste_active, 1);
    EXPECT_EQ(k.c.search.active, 1);
}

TEST(KeySearch, AQueryLongerThanTheLineLimitEndsTheCall) {
    KeysCall k(3);
    k.close_input();
    kv_edit_dispatch(&k.c, 18);
    for (char ch : std::string("abc"))
        kv_edit_dispatch(&k.c, ch);
    EXPECT_EQ(k.c.end, kv_end::none);
    kv_edit_dispatch(&k.c, 'd');
    EXPECT_EQ(k.c.end, kv_end::error);
    EXPECT_STREQ(kv_last_error(k.ed), "failed to update reverse history search");
}

TEST(KeySearch, AFailedStartEndsTheCall) {
    KeysCall k;
    k.set_line("typed", 5);
    long n = for_each_alloc_failure(
        [&] {
            k.c.end = kv_end::none;
            kv_search_free(&k.c.search);
            kv_edit_dispatch(&k.c, 18);
            return 0;
        },
        [&](long, long) {
            EXPECT_EQ(k.c.end, kv_end::error);
            EXPECT_STREQ(kv_last_error(k.ed), "failed to start reverse history search");
        });
    EXPECT_GT(n, 0);
    EXPECT_EQ(k.c.search.active, 1);
}

TEST(KeySearch, AFailedExtendEndsTheCall) {
    Search k;
    std::string q(40, 'q'); // past the first 32-byte query block
    long n = for_each_alloc_failure(
        [&] {
            k.c.end = kv_end::none;
            kv_edit_dispatch(&k.c, 21);
            for (char ch : q) {
                kv_edit_dispatch(&k.c, ch);
                if (k.c.end != kv_end::none) break;
            }
            return 0;
        },
        [&](long, long) {
            EXPECT_EQ(k.c.end, kv_end::error);
            EXPECT_STREQ(kv_last_error(k.ed), "failed to update reverse history search");
        });
    EXPECT_GT(n, 0);
    EXPECT_EQ(k.query(), q);
}

} // namespace
