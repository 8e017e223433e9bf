// Keys on a real pseudo-terminal: escape sequences as a terminal sends them,
// typed characters cut short, bracketed paste, the reverse search, and key
// and idle callbacks, each through a whole readline call.
#include <signal.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "call_harness.h"
#include "kavrik.h"

namespace {

struct Session {
    Pty pty;
    kv_editor *ed;
    explicit Session(kv_config *cfg = nullptr) : ed(make_pty_editor(pty, cfg)) {}
    ~Session() { kv_destroy(ed); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    bool shows(int row, const std::string &text) {
        return pty.pump_until([&] { return pty.screen().row(row) == text; });
    }
    // Runs one call: types the bytes, then waits for it to return.
    std::string run(const std::string &bytes, const char *prompt = "> ") {
        auto call = start_call(pty, ed, prompt);
        pty.type(bytes);
        bool joined = pty.pump_until([&] { return call->done(); }, 5000);
        EXPECT_TRUE(joined) << "the call did not end";
        if (!joined) {
            pty.type("\r"); // give it a way out so the thread can be joined
            call->join();
        }
        call->join();
        return call->is_null() ? "<null>" : call->line();
    }
};

// A key callback that records the keys it sees and leaves a chosen action.
struct Recorder {
    std::atomic<int> count{0};
    std::vector<int> keys;
    int action = KV_ACTION_HANDLED;
    int result = 0;
    bool submit = false;
    bool cancel = false;
    static int callback(kv_editor *ed, int key, void *user, int *action) {
        auto *r = static_cast<Recorder *>(user);
        r->keys.push_back(key);
        *action = r->action;
        if (r->submit) kv_submit(ed);
        if (r->cancel) kv_cancel(ed);
        ++r->count;
        return r->result;
    }
};

// Ignores SIGINT while an interrupted call raises it.
struct IgnoreSigint {
    struct sigaction old {};
    IgnoreSigint() {
        struct sigaction sa {};
        sa.sa_handler = SIG_IGN;
        sigaction(SIGINT, &sa, &old);
    }
    ~IgnoreSigint() { sigaction(SIGINT, &old, nullptr); }
};

TEST(KeysTerminal, ArrowsHomeEndAndDeleteWithBothIntroducers) {
    Session s;
    EXPECT_EQ(s.run("abc\x1b[D\x1b[DX\r"), "aXbc");
    EXPECT_EQ(s.run("abc\x1bOD\x1bODX\r"), "aXbc");
    EXPECT_EQ(s.run("bc\x1b[HA\x1b[FD\r"), "AbcD");
    EXPECT_EQ(s.run("bc\x1bOHA\x1bOFD\r"), "AbcD");
    EXPECT_EQ(s.run("abc\x1b[1~\x1b[3~\x1b[4~d\r"), "bcd");
    EXPECT_EQ(s.run("abc\x1bO7~\x1bO3~\x1bO8~d\r"), "bcd");
    EXPECT_EQ(s.run("abc\x1b[D\x1b[D\x1b[C\x1b[3;5~\r"), "ab");
    EXPECT_EQ(s.run("foo bar\x1b"
                    "b\x1b"
                    "b\x1b"
                    "fX\r"),
              "foo Xbar");
}

TEST(KeysTerminal, UnknownSequencesNeverReachTheLine) {
    Session s;
    EXPECT_EQ(s.run("a\x1b[27;5;9~\x1b[<0;10;5M\x1b[?62;22c\x1b]11;rgb:0/0/0\x07"
                    "\x1bP1$r0m\x1b\\\x1b[2~\x1b[5~\x1b[6~\x1b[1;5Db\r"),
              "ab");
}

TEST(KeysTerminal, ASecondEscIsAKeyOfItsOwn) {
    Session s;
    kv_history_add(s.ed, "older");
    EXPECT_EQ(s.run("\x1b\x1b[A\r"), "older");
}

TEST(KeysTerminal, HugeEscapeNumbersDoNotWrapIntoKeys) {
    Session s;
    EXPECT_EQ(s.run("ab\x1b[D\x1b[4294967299~\r"), "ab");
}

TEST(KeysTerminal, TheByteThatCutsACharacterShortIsNotLost) {
    Session s;
    EXPECT_EQ(s.run("ab\xc3\r"), "ab\xc3"); // the Enter still submits
    // The arrow still moves; each invalid byte is a cluster of its own.
    EXPECT_EQ(s.run("ab\xe2\x82\x1b[D\x1b[DX\r"), "abX\xe2\x82");
    EXPECT_EQ(s.run("\xc3\xa9t\xc3\xa9\r"), "\xc3\xa9t\xc3\xa9");
}

TEST(KeysTerminal, EscAloneReachesItsBindingAfterTheWait) {
    Session s;
    Recorder r;
    kv_bind_key(s.ed, 27, Recorder::callback, &r);
    auto call = start_call(s.pty, s.ed, "> ");
    s.pty.type("a\x1b");
    ASSERT_TRUE(s.pty.pump_until([&] { return r.count.load() == 1; }));
    s.pty.type("[Db\r"); // after the time-out these are plain keys
    ASSERT_TRUE(call->join());
    EXPECT_EQ(call->line(), "a[Db");
    EXPECT_EQ(r.keys, std::vector<int>{27});
}

TEST(KeysTerminal, AltLettersAndUnknownSequencesReachTheirBindings) {
    Session s;
    Recorder alt, unknown;
    kv_bind_key(s.ed, KV_KEY_ALT + 'x', Recorder::callback, &alt);
    kv_bind_key(s.ed, KV_KEY_ALT + 'Q', Recorder::callback, &alt);
    kv_bind_key(s.ed, KV_KEY_UNRECOGNISED, Recorder::callback, &unknown);
    EXPECT_EQ(s.run("a\x1bx\x1bQ\x1b[5~\x1b[<1;2;3mb\r"), "ab");
    EXPECT_EQ(alt.keys, (std::vector<int>{KV_KEY_ALT + 'x', KV_KEY_ALT + 'Q'}));
    EXPECT_EQ(unknown.keys, (std::vector<int>{KV_KEY_UNRECOGNISED, KV_KEY_UNRECOGNISED}));
}

// ---- bracketed paste -----------------------------------------------------------

const std::string kv_paste_start = "\x1b[200~";
const std::string kv_paste_end = "\x1b[201~";

TEST(KeysTerminal, APasteKeepsItsLineBreaksAndControlBytes) {
    Session s;
    EXPECT_EQ(s.run(kv_paste_start + "one\r\ntwo\x03\x1b[A" + kv_paste_end + "!\r"),
              "one\n\ntwo\x03\x1b[A!");
}

TEST(KeysTerminal, PastedNulBytesAreDropped) {
    Session s;
    EXPECT_EQ(s.run(kv_paste_start + std::string("a\0b", 3) + kv_paste_end + "\r"), "ab");
}

TEST(KeysTerminal, ACharacterCutShortAtThePasteEndStillEndsThePaste) {
    Session s;
    EXPECT_EQ(s.run(kv_paste_start + "x\xc3" + kv_paste_end + "\x1b[D\x1b[DY\r"), "Yx\xc3");
}

TEST(KeysTerminal, APasteLargerThanTheRoomLeftKeepsWhatFits) {
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.max_line_len = 6;
    Session s(&cfg);
    EXPECT_EQ(s.run(kv_paste_start +
                    "abcd\xe2\x82\xac\xc3\xa9"
                    "ef" +
                    kv_paste_end + "\r"),
              "abcd\xc3\xa9");
}

TEST(KeysTerminal, APasteThatNeverEndsTakesEveryByteAsText) {
    Session s;
    IdleCounter idle;
    // Ends the call once the Ctrl-C byte has landed in the line.
    idle.hook = [](kv_editor *ed, IdleCounter *) {
        if (std::string(kv_buffer(ed)).find('\x03') != std::string::npos) kv_submit(ed);
    };
    idle.install(s.ed);
    EXPECT_EQ(s.run(kv_paste_start + "abc\r\x03"), "abc\n\x03");
    EXPECT_EQ(kv_last_readline_status(s.ed), KV_STATUS_LINE);
}

TEST(KeysTerminal, ABigPasteIsNotRedrawnAfterEveryByte) {
    Session s;
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "word" + std::to_string(i % 10) + " ";
    auto call = start_call(s.pty, s.ed, "> ");
    size_t from = s.pty.log_size();
    s.pty.type(kv_paste_start + text + kv_paste_end + "\r");
    ASSERT_TRUE(s.pty.pump_until([&] { return call->done(); }, 10000));
    call->join();
    EXPECT_EQ(call->line(), text);
    // Redrawing each of the 2400 bytes would write every changed row again:
    // far more than a few copies of the text.
    EXPECT_LT(s.pty.log_size() - from, 8 * text.size());
}

TEST(KeysTerminal, ConsumingPasteStartMakesPastedBytesKeys) {
    Session s;
    Recorder r;
    kv_bind_key(s.ed, KV_KEY_PASTE_START, Recorder::callback, &r);
    EXPECT_EQ(s.run(kv_paste_start + "ab\r"), "ab");
    EXPECT_EQ(r.keys, std::vector<int>{KV_KEY_PASTE_START});
}

// ---- reverse search ------------------------------------------------------------

struct WithHistory : Session {
    WithHistory() {
        kv_history_add(ed, "echo one");
        kv_history_add(ed, "grep two");
        kv_history_add(ed, "echo three");
    }
};

TEST(KeysTerminal, CtrlRFindsAndEnterReturnsTheMatch) {
    WithHistory s;
    EXPECT_EQ(s.run("x\x12"
                    "echo\r"),
              "echo three");
    EXPECT_EQ(s.run("\x12"
                    "echo\x12\r"),
              "echo one");
    EXPECT_EQ(s.run("\x12"
                    "two\x7f\x7f\r"),
              "echo three");
    EXPECT_EQ(s.run("\x12"
                    "zzz\r"),
              ""); // no match: the typed line stays
    EXPECT_EQ(s.run("typed\x12"
                    "grep\x07!\r"),
              "typed!");
    EXPECT_EQ(s.run("\x12"
                    "grep\x15"
                    "one\r"),
              "echo one");
}

// ---- the history walk --------------------------------------------------------

const std::string up = "\x1b[A", down = "\x1b[B", left = "\x1b[D";

std::string times(int n, const std::string &key) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += key;
    return s;
}

// 150 columns of words: two rows on the 80-column terminal.
const std::string wrapped = [] {
    std::string s;
    while (s.size() < 150)
        s += "words ";
    return s.substr(0, 149);
}();

struct WalkHistory : Session {
    WalkHistory() {
        kv_history_add(ed, "oldest");
        kv_history_add(ed, "first\nsecond");
        kv_history_add(ed, wrapped.c_str());
        kv_history_add(ed, "newest");
    }
};

// Up walks up the rows of a recalled entry and from its first row on to the
// older entry; a line of one row recalls only with the cursor at its end,
// and a line of several rows outside a walk only moves the cursor.
TEST(KeysTerminal, UpGoesOnPastAnEntryOfSeveralRows) {
    struct Case {
        std::string keys, line;
    } const cases[] = {
        {times(2, up), wrapped},         // at the end of its second row
        {times(3, up), wrapped},         // on its first row
        {times(4, up), "first\nsecond"}, // and on to the older entry
        {times(5, up), "first\nsecond"},
        {times(6, up), "oldest"},
        {times(9, up), "oldest"},               // the walk does not wrap
        {times(5, up) + down, "first\nsecond"}, // Down walks the rows too
        {times(4, up) + down, wrapped},         // and from the last on
        {up + left + up, "newest"},             // one row, not at the end
        {"ab\ncd" + times(3, up), "ab\ncd"},    // no walk: the rows only
    };
    for (const Case &c : cases) {
        WalkHistory s;
        EXPECT_EQ(s.run(c.keys + "\r"), c.line) << c.keys;
    }
}

// Past the newest entry the line is the user's: Down there leaves it alone,
// and what was typed there since coming back is what the next trip back
// shows.
TEST(KeysTerminal, TheLinePastTheNewestEntryKeepsWhatWasTyped) {
    struct Case {
        std::string keys, line;
    } const cases[] = {
        {"partial" + up + down, "partial"},
        {"partial" + up + down + " two" + up + down, "partial two"},
        {"partial" + up + down + " two" + down, "partial two"},
        {"partial" + up + down + " two" + up + up + down + down, "partial two"},
        {"partial" + up + down + " two" + up, "newest"},
        {"x" + down, "x"},
        {"x" + up + down + down + down, "x"},
    };
    for (const Case &c : cases) {
        WalkHistory s;
        EXPECT_EQ(s.run(c.keys + "\r"), c.line) << c.keys;
    }
}

// During one call each entry of the walk keeps what the user left there:
// an edit shows again when the walk comes back and Enter returns it; the
// stored entries stay as they were, and the next call starts without edits,
// also after Ctrl-C or a cancel.
TEST(KeysTerminal, EditsToRecalledEntriesLastForTheCall) {
    struct Case {
        std::string keys, line, after; // after: Up Up and Enter in the next call
    } const cases[] = {
        {up + up + " EDITED" + down + up + "\r", "second EDITED", "second"},
        {up + up + " EDITED" + down + "\r", "third", "second"},
        {up + up + " EDITED" + up + down + "\r", "second EDITED", "second"},
        {up + up + " EDITED" + down + down + up + up + "\r", "second EDITED", "second"},
        {"typed" + up + "X" + down + "\r", "typed", "second"},
        {"typed" + up + "X" + down + up + "\r", "thirdX", "second"},
        {up + "X\x7f" + up + down + "\r", "third", "second"},
        {up + up + " EDITED" + down + "\x03", "<null>", "second"},
    };
    IgnoreSigint ignore;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys);
        Session s;
        for (const char *line : {"first", "second", "third"})
            kv_history_add(s.ed, line);
        EXPECT_EQ(s.run(c.keys), c.line);
        EXPECT_EQ(s.run(up + up + "\r"), c.after);
    }
}

TEST(KeysTerminal, EscAloneLeavesTheSearch) {
    WithHistory s;
    auto call = start_call(s.pty, s.ed, "> ");
    s.pty.type("typed\x12"
               "grep");
    ASSERT_TRUE(s.pty.pump_until(
        [&] { return s.pty.screen().dump().find("grep two") != std::string::npos; }));
    s.pty.type("\x1b");
    ASSERT_TRUE(s.shows(0, "> typed")); // after the 100 ms wait
    s.pty.type("!\r");
    ASSERT_TRUE(call->join());
    EXPECT_EQ(call->line(), "typed!");
}

TEST(KeysTerminal, APasteDuringASearchExtendsTheQueryAndDoesNotSubmit) {
    WithHistory s;
    Recorder r;
    auto call = start_call(s.pty, s.ed, "> ");
    s.pty.type("\x12" + kv_paste_start + "gr\r\nep" + kv_paste_end);
    ASSERT_TRUE(s.pty.pump_until(
        [&] { return s.pty.screen().dump().find("grep two") != std::string::npos; }));
    EXPECT_FALSE(call->done());
    s.pty.type("\r");
    ASSERT_TRUE(call->join());
    EXPECT_EQ(call->line(), "grep two");
}

TEST(KeysTerminal, AQueryPastTheLineLimitEndsTheCallWithAnError) {
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.max_line_len = 3;
    Session s(&cfg);
    EXPECT_EQ(s.run("\x12"
                    "abcd"),
              "<null>");
    EXPECT_EQ(kv_last_readline_status(s.ed), KV_STATUS_ERROR);
    EXPECT_STREQ(kv_last_error(s.ed), "failed to update reverse history search");
}

TEST(KeysTerminal, BindingsSeeKeysDuringASearch) {
    WithHistory s;
    Recorder r;
    kv_bind_key(s.ed, 7, Recorder::callback, &r);
    EXPECT_EQ(s.run("\x12"
                    "grep\x07\r"),
              "grep two"); // Ctrl-G consumed: no cancel
    EXPECT_EQ(r.keys, std::vector<int>{7});
}

TEST(KeysTerminal, ACancelFromACallbackDuringASearchPutsTheLineBack) {
    WithHistory s;
    Recorder r;
    r.cancel = true;
    kv_bind_key(s.ed, KV_KEY_F1, Recorder::callback, &r);
    EXPECT_EQ(s.run("typed\x12"
                    "grep\x1bOP"),
              "<null>");
    EXPECT_EQ(kv_last_readline_status(s.ed), KV_STATUS_CANCELLED);
    EXPECT_TRUE(s.shows(0, "> typed"));
}

TEST(KeysTerminal, ASubmitActionDuringASearchReturnsTheLineItShows) {
    WithHistory s;
    Recorder r;
    r.action = KV_ACTION_SUBMIT;
    kv_bind_key(s.ed, KV_KEY_F2, Recorder::callback, &r);
    EXPECT_EQ(s.run("typed\x12"
                    "grep\x1bOQ"),
              "grep two");
    EXPECT_EQ(kv_last_readline_status(s.ed), KV_STATUS_LINE);
}

// ---- endings from keys and callbacks ---------------------------------------------

TEST(KeysTerminal, CtrlDOnAnEmptyLineIsEndOfInputAndCtrlCInterrupts) {
    Session s;
    EXPECT_EQ(s.run("ab\x01\x04\x04\r"), ""); // deletes, then an empty line
    EXPECT_EQ(s.run("\x04"), "<null>");
    EXPECT_EQ(kv_last_readline_status(s.ed), KV_STATUS_EOF);
    IgnoreSigint quiet;
    EXPECT_EQ(s.run("abc\x03"), "<null>");
    EXPECT_EQ(kv_last_readline_status(s.ed), KV_STATUS_INTERRUPTED);
}

TEST(KeysTerminal, CallbackActionsEndTheCall) {
    struct Row {
        int action;
        bool submit;
        const char *line;
        int status;
    };
    const Row rows[] = {
        {KV_ACTION_SUBMIT, false, "ab", KV_STATUS_LINE},
        {KV_ACTION_CANCEL, false, "<null>", KV_STATUS_CANCELLED},
        {KV_ACTION_INTERRUPT, false, "<null>", KV_STATUS_INTERRUPTED},
        {KV_ACTION_CANCEL, true, "ab", KV_STATUS_LINE}, // the request wins
    };
    IgnoreSigint quiet;
    for (const Row &row : rows) {
        Session s;
        Recorder r;
        r.action = row.action;
        r.submit = row.submit;
        kv_bind_key(s.ed, KV_KEY_F5, Recorder::callback, &r);
        EXPECT_EQ(s.run("ab\x1b[15~"), row.line);
        EXPECT_EQ(kv_last_readline_status(s.ed), row.status);
    }
}

TEST(KeysTerminal, AFailingCallbackEndsTheCallWithItsMessage) {
    Session s;
    Recorder r;
    r.result = -1;
    kv_bind_key(s.ed, 'q', Recorder::callback, &r);
    EXPECT_EQ(s.run("abq"), "<null>");
    EXPECT_EQ(kv_last_readline_status(s.ed), KV_STATUS_ERROR);
    EXPECT_STREQ(kv_last_error(s.ed), "key callback failed");
}

int insert_hello(kv_editor *ed, int, void *, int *) { return kv_insert(ed, "hello") == 0 ? 0 : -1; }

TEST(KeysTerminal, ACallbackEditsTheLineAndTheChangeIsDrawn) {
    Session s;
    kv_bind_key(s.ed, '\t', insert_hello, nullptr);
    auto call = start_call(s.pty, s.ed, "> ");
    s.pty.type("say \t");
    EXPECT_TRUE(s.shows(0, "> say hello"));
    s.pty.type("\r");
    ASSERT_TRUE(call->join());
    EXPECT_EQ(call->line(), "say hello");
}

TEST(KeysTerminal, AnIdleCallbackEditIsDrawnInItsTick) {
    Session s;
    IdleCounter idle;
    // Inserts once, then turns itself off: a callback may change the setting.
    idle.hook = [](kv_editor *ed, IdleCounter *) {
        kv_insert(ed, "tick");
        kv_set_idle_callback(ed, nullptr, nullptr);
    };
    idle.install(s.ed);
    auto call = start_call(s.pty, s.ed, "> ");
    EXPECT_TRUE(s.shows(0, "> tick"));
    s.pty.type("!\r");
    ASSERT_TRUE(call->join());
    EXPECT_EQ(call->line(), "tick!");
    EXPECT_EQ(idle.calls.load(), 1);
}

} // namespace
