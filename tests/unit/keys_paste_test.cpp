// Bracketed paste through a pipe: line ends, the end marker and near misses,
// the room left in the line, pasted NULs, characters cut short, pastes into a
// reverse-search query, and bursts taken in one go.
#include <gtest/gtest.h>

#include <poll.h>

#include <string>

#include "base/sys.h"
#include "fault.h"
#include "keys_call.h"

namespace {

// Starts a paste whose bytes (after the first) are already waiting.
void paste(KeysCall &k, const std::string &bytes, bool close = true) {
    k.st()->flags.paste_active = 1;
    k.feed(bytes.substr(1));
    if (close) k.close_input();
    kv_edit_paste_byte(&k.c, static_cast<unsigned char>(bytes[0]));
}

const std::string kv_end_marker = "\x1b[201~";

TEST(KeyPaste, CarriageReturnsBecomeLineFeedsAndTheEndMarkerLeavesPasteMode) {
    KeysCall k;
    paste(k, "one\r\ntwo" + kv_end_marker + "z");
    EXPECT_EQ(k.line(), "one\n\ntwo");
    EXPECT_EQ(k.st()->line.cursor, 8u);
    EXPECT_EQ(k.st()->flags.paste_active, 0);
    EXPECT_EQ(k.rest(), "z"); // bytes after the paste are keys again
    EXPECT_EQ(k.c.end, kv_end::none);
}

TEST(KeyPaste, GoesInAtTheCursor) {
    KeysCall k;
    k.set_line("ad", 1);
    paste(k, "bc" + kv_end_marker);
    EXPECT_EQ(k.line(), "abcd");
    EXPECT_EQ(k.st()->line.cursor, 3u);
}

TEST(KeyPaste, EscapeSequencesInsideArePastedAsText) {
    KeysCall k;
    paste(k, "\x1b[A\x1b[20x\x1b" + kv_end_marker);
    EXPECT_EQ(k.line(), "\x1b[A\x1b[20x\x1b");
    EXPECT_EQ(k.st()->flags.paste_active, 0);
}

TEST(KeyPaste, AnEscThatBreaksAMatchStartsANewOne) {
    KeysCall k;
    paste(k, "\x1b[2\x1b[201~z");
    EXPECT_EQ(k.line(), "\x1b[2");
    EXPECT_EQ(k.st()->flags.paste_active, 0);
    EXPECT_EQ(k.rest(), "z");
}

TEST(KeyPaste, ACarriageReturnThatBreaksAMatchIsStillALineEnd) {
    KeysCall k;
    paste(k, "\x1b[\rx" + kv_end_marker);
    EXPECT_EQ(k.line(), "\x1b[\nx");
}

TEST(KeyPaste, AnEndThatNeverComesKeepsPasteModeOn) {
    KeysCall k;
    paste(k, "a\r\x03\x04\x1b[20");
    EXPECT_EQ(k.line(), std::string("a\n\x03\x04\x1b[20"));
    EXPECT_EQ(k.st()->flags.paste_active, 1);
    EXPECT_EQ(k.c.end, kv_end::none);
}

TEST(KeyPaste, NulBytesAreDropped) {
    KeysCall k;
    paste(k, std::string("a\0b\0\0c", 6) + kv_end_marker);
    EXPECT_EQ(k.line(), "abc");
    EXPECT_EQ(k.st()->line.cursor, 3u);
}

TEST(KeyPaste, CharactersStayWholeAndACutShortOneDoesNotEatTheEndMarker) {
    KeysCall k;
    paste(k, "\xc3\xa9\xe2\x82\xac\xc3" + kv_end_marker + "z");
    EXPECT_EQ(k.line(), "\xc3\xa9\xe2\x82\xac\xc3");
    EXPECT_EQ(k.st()->flags.paste_active, 0);
    EXPECT_EQ(k.rest(), "z");
}

TEST(KeyPaste, ACharacterCutShortByALineEndKeepsTheLineEnd) {
    KeysCall k;
    paste(k, "\xe2\x82\rx" + kv_end_marker);
    EXPECT_EQ(k.line(), "\xe2\x82\nx");
}

TEST(KeyPaste, ChunksThatDoNotFitAreDroppedAndSmallerOnesStillGoIn) {
    KeysCall k(5);
    paste(k, "abcd\xe2\x82\xac\xc3\xa9"
             "e"
             "f" +
                 kv_end_marker);
    EXPECT_EQ(k.line(), "abcde");
    EXPECT_EQ(k.st()->flags.paste_active, 0);
    EXPECT_EQ(k.c.end, kv_end::none);
}

TEST(KeyPaste, AnEndMarkerNearMissIsDroppedWholeWhenItDoesNotFit) {
    KeysCall k(3);
    paste(k, "ab\x1b[2x" + kv_end_marker);
    EXPECT_EQ(k.line(), "abx");
    EXPECT_EQ(k.st()->flags.paste_active, 0);
}

TEST(KeyPaste, AFailingInsertEndsTheCall) {
    KeysCall k;
    k.st()->flags.paste_active = 1;
    k.set_line(std::string(255, 'a'), 255); // the next byte needs a larger block
    k.feed(kv_end_marker);
    k.close_input();
    {
        AllocFailer f(1);
        kv_edit_paste_byte(&k.c, 'b');
    }
    EXPECT_EQ(k.c.end, kv_end::error);
    EXPECT_EQ(k.line(), std::string(255, 'a'));
}

TEST(KeyPaste, ABurstIsTakenInOneCallAndAPauseReturnsToTheLoop) {
    KeysCall k;
    std::string big(3000, 'x');
    paste(k, big, false);
    // Everything that was waiting went in; nothing is left pending.
    EXPECT_EQ(k.line(), big);
    EXPECT_EQ(kv_call_input_pending(&k.c), 0);
    EXPECT_EQ(k.st()->flags.paste_active, 1);
    k.feed("y" + kv_end_marker);
    EXPECT_EQ(kv_call_input_pending(&k.c), 1);
    unsigned char b = 0;
    ASSERT_GT(kv_call_wait_byte(&k.c, &b), 0);
    kv_edit_paste_byte(&k.c, b);
    EXPECT_EQ(k.line(), big + "y");
    EXPECT_EQ(k.st()->flags.paste_active, 0);
}

TEST(KeyPaste, InputPendingCountsHandedBackBytes) {
    KeysCall k;
    EXPECT_EQ(kv_call_input_pending(&k.c), 0);
    kv_call_unread(&k.c, 'q');
    EXPECT_EQ(kv_call_input_pending(&k.c), 1);
    EXPECT_EQ(k.rest(), "q");
}

// ---- a paste while a reverse search runs --------------------------------------

struct Searching : KeysCall {
    Searching() {
        kv_history_add(ed, "echo one");
        kv_history_add(ed, "grep two");
        set_line("typed", 5);
        started = kv_search_start(ed, &c.search) == 0;
    }
    bool started = false;
    std::string query() const { return std::string(c.search.query, c.search.query_len); }
};

TEST(KeyPaste, DuringASearchItExtendsTheQueryAndNeverSubmits) {
    Searching k;
    ASSERT_TRUE(k.started);
    paste(k, "ec\r\nh\x03\x7f\to" + kv_end_marker + "z");
    EXPECT_EQ(k.query(), "echo");
    EXPECT_EQ(k.line(), "echo one");
    EXPECT_EQ(k.c.end, kv_end::none);
    EXPECT_EQ(k.c.search.active, 1);
    EXPECT_EQ(k.st()->flags.paste_active, 0);
    EXPECT_EQ(k.rest(), "z");
}

TEST(KeyPaste, DuringASearchAnEndMarkerNearMissKeepsItsPrintableBytes) {
    Searching k;
    ASSERT_TRUE(k.started);
    paste(k, "\x1b[2x" + kv_end_marker);
    EXPECT_EQ(k.query(), "[2x");
}

TEST(KeyPaste, DuringASearchAnOverlongChunkIsDropped) {
    KeysCall k(4);
    kv_history_add(k.ed, "abcd");
    ASSERT_EQ(kv_search_start(k.ed, &k.c.search), 0);
    paste(k, "abc\xc3\xa9"
             "d" +
                 kv_end_marker);
    EXPECT_EQ(std::string(k.c.search.query, k.c.search.query_len), "abcd");
    EXPECT_EQ(k.c.end, kv_end::none);
    EXPECT_EQ(k.st()->flags.paste_active, 0);
}

} // namespace
