// The call fed in pieces, as a program with its own event loop feeds it: a
// key cut between two feeds, an escape sequence that time ends, a paste
// across feeds, and the endings, on a real pty read through libvterm.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "edit/step.h"
#include "pty_session.h"

namespace {

struct StepCall {
    Pty pty;
    kv_editor *ed = make_pty_editor(pty);
    StepCall() { EXPECT_EQ(kv_step_begin(ed, "> ", true), 0); }
    ~StepCall() {
        if (kv_step_running(ed)) kv_free_string(ed, kv_step_finish(ed, false));
        kv_destroy(ed);
    }
    kv_step_result feed(std::string_view bytes) {
        return kv_step_feed(ed, reinterpret_cast<const unsigned char *>(bytes.data()),
                            bytes.size());
    }
    std::string line() const { return kv_buffer(ed); }
    bool shows(const std::string &row) {
        return pty.pump_until([&] { return pty.screen().row(0) == row; });
    }
};

TEST(CallSteps, ThePromptIsDrawnAtTheBeginAndKeysGoOnAcrossFeeds) {
    StepCall s;
    EXPECT_TRUE(s.shows(">"));
    // A character in two feeds, then Left in two: the cursor goes before the
    // character, so what is typed next goes in front of it.
    EXPECT_EQ(s.feed("\xc3"), kv_step_result::key_pending);
    EXPECT_EQ(s.feed("\xa9"), kv_step_result::running);
    EXPECT_EQ(s.feed("\x1b["), kv_step_result::key_pending);
    EXPECT_EQ(s.feed("D"), kv_step_result::running);
    EXPECT_EQ(s.feed("xy"), kv_step_result::running);
    EXPECT_EQ(s.line(), "xy\xc3\xa9");
    EXPECT_TRUE(s.shows("> xy\xc3\xa9"));
}

TEST(CallSteps, TimeEndsAKeyInProgress) {
    StepCall s;
    // ESC [ with nothing after it within the wait is no key; the A that
    // comes later is typed text, not Up.
    EXPECT_EQ(s.feed("\x1b["), kv_step_result::key_pending);
    EXPECT_EQ(kv_step_time(s.ed), kv_step_result::running);
    EXPECT_EQ(s.feed("A"), kv_step_result::running);
    // A character cut short goes in with what came.
    EXPECT_EQ(s.feed("\xe4\xb8"), kv_step_result::key_pending);
    EXPECT_EQ(kv_step_time(s.ed), kv_step_result::running);
    EXPECT_EQ(s.line(), "A\xe4\xb8");
}

TEST(CallSteps, APasteGoesOnAcrossFeedsAndItsEndMayBeCut) {
    StepCall s;
    EXPECT_EQ(s.feed("\x1b[200~one\r"), kv_step_result::running);
    EXPECT_EQ(s.feed("two\x1b[20"), kv_step_result::key_pending);
    EXPECT_EQ(s.feed("1~\r"), kv_step_result::ended);
    char *line = kv_step_finish(s.ed, false);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(std::string(line), "one\ntwo"); // the pasted CR is a line feed
    EXPECT_EQ(kv_last_readline_status(s.ed), KV_STATUS_LINE);
    kv_free_string(s.ed, line);
}

TEST(CallSteps, BytesAfterTheEndStayForTheNextReader) {
    StepCall s;
    size_t used = 0;
    const unsigned char span[] = {'o', 'k', '\r', 'x'};
    EXPECT_EQ(kv_step_feed(s.ed, span, sizeof span, &used), kv_step_result::ended);
    EXPECT_EQ(used, 3u); // the x is the next call's
    kv_free_string(s.ed, kv_step_finish(s.ed, false));
    ASSERT_EQ(kv_step_begin(s.ed, "> ", true), 0);
    // Read from the descriptor: no byte beyond the line's end is taken.
    s.pty.type("ab\rcd");
    ASSERT_TRUE(s.pty.pump_until([&] { return kv_step_read(s.ed) == kv_step_result::ended; }));
    char *line = kv_step_finish(s.ed, false);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(std::string(line), "ab");
    kv_free_string(s.ed, line);
    char rest[8] = {};
    EXPECT_EQ(read(s.pty.slave(), rest, sizeof rest), 2);
    EXPECT_EQ(std::string(rest), "cd");
}

TEST(CallSteps, AbandoningErasesTheLineAndRaisesNothing) {
    StepCall s;
    s.feed("abc");
    EXPECT_TRUE(s.shows("> abc"));
    kv_step_abandon(s.ed);
    EXPECT_EQ(kv_step_finish(s.ed, false), nullptr);
    EXPECT_EQ(kv_last_readline_status(s.ed), KV_STATUS_INTERRUPTED);
    EXPECT_FALSE(kv_step_running(s.ed));
    EXPECT_TRUE(s.shows(""));
    // A second call may begin at once.
    EXPECT_EQ(kv_step_begin(s.ed, "$ ", true), 0);
    EXPECT_TRUE(s.shows("$"));
}

} // namespace
