// The extra keys on a real pseudo-terminal: Ctrl-T, the case keys, Ctrl-L
// (normal and bounded mode), Ctrl-Z, and the companion stepping aside while
// a reverse search runs.
#include <signal.h>

#include <atomic>

#include "ext_session.h"

namespace {

struct LineRow {
    std::string typed;
    std::string line;
};

void expect_lines(const LineRow *begin, const LineRow *end, unsigned features = KVX_ALL) {
    for (const LineRow *r = begin; r != end; ++r) {
        ExtSession s(24, 80, features);
        EXPECT_EQ(s.run(r->typed + "\r"), r->line) << "typed " << r->typed;
    }
}

TEST(ExtKeys, CtrlTSwapsClusters) {
    const LineRow rows[] = {
        {"ab\x14", "ba"},                 // at the end: the two before
        {"abc\x02\x14", "acb"},           // in the middle: around the cursor
        {"abc\x02\x14X", "acbX"},         // ... and the cursor moves past both
        {"abc\x01\x14", "abc"},           // at the start: nothing
        {"a\x14", "a"},                   // one cluster: nothing
        {"xe\xCC\x81\x14", "e\xCC\x81x"}, // a combining mark stays with its base
        {"\xE6\x97\xA5\xE6\x9C\xAC\x14", "\xE6\x9C\xAC\xE6\x97\xA5"}, // wide characters
    };
    expect_lines(std::begin(rows), std::end(rows));
}

TEST(ExtKeys, CaseKeysChangeTheNextWord) {
    const LineRow rows[] = {
        {"hello world\x01" + alt('u'), "HELLO world"},
        {"hello world\x01" + alt('u') + alt('u'), "HELLO WORLD"},
        {"ABC DEF\x01" + alt('l'), "abc DEF"},
        {"hELLO wORLD\x01" + alt('c') + alt('c'), "Hello World"},
        {"hello\x01\x06\x06" + alt('u'), "heLLO"},                 // from the cursor on
        {"ab  cd\x01\x06\x06" + alt('u'), "ab  CD"},               // spaces before the word skipped
        {"\xC3\xA9t\xC3\xA9\x01" + alt('u'), "\xC3\xA9T\xC3\xA9"}, // ASCII letters only
        {"(quoted)\x01" + alt('c'), "(Quoted)"},                   // the first letter is raised
        {"ab\x01" + alt('u') + "x", "ABx"},                        // the cursor ends after the word
        {"ab" + alt('u'), "ab"},                                   // at the end: nothing
    };
    expect_lines(std::begin(rows), std::end(rows));
}

TEST(ExtKeys, FeaturesBindOnlyTheirKeys) {
    // Without KVX_KEYS, Ctrl-T and Alt-U reach the core, which has no command
    // for them; without KVX_KILL_RING, Ctrl-Y does nothing.
    const LineRow keys_only[] = {
        {"ab\x14", "ba"}, {"ab\x15\x19", ""}, {"one two\x01" + alt('d'), " two"}};
    expect_lines(std::begin(keys_only), std::end(keys_only), KVX_KEYS);
    const LineRow ring_only[] = {
        {"ab\x14", "ab"}, {"ab\x15\x19", "ab"}, {"ab\x01" + alt('u'), "ab"}};
    expect_lines(std::begin(ring_only), std::end(ring_only), KVX_KILL_RING);
}

TEST(ExtKeys, CtrlLClearsTheScreenAndDrawsTheEditorOnTop) {
    ExtSession s(10, 40);
    EXPECT_EQ(s.run("first\r"), "first");
    EXPECT_EQ(s.run("second\r"), "second");
    auto call = start_call(s.pty, s.ed, "> ");
    size_t from = s.pty.log_size();
    s.pty.type("abc\x0c");
    ASSERT_TRUE(s.pty.wait_for("\x1b[H\x1b[2J", 3000, from));
    // The row and the cursor move are separate writes: wait for both.
    ASSERT_TRUE(s.pty.pump_until([&] {
        return s.pty.screen().row(0) == "> abc" && s.pty.screen().cursor_col() == 5;
    })) << s.pty.screen().dump();
    for (int r = 1; r < 10; ++r)
        EXPECT_EQ(s.pty.screen().row(r), "") << r;
    EXPECT_EQ(s.pty.screen().cursor_row(), 0);
    s.pty.type("d\r");
    ASSERT_TRUE(s.pty.pump_until([&] { return call->done(); }));
    call->join();
    EXPECT_EQ(call->line(), "abcd");
}

TEST(ExtKeys, CtrlLInBoundedModeClearsOnlyTheOutputArea) {
    // A box of 3 rows at the bottom of a 10-row region that starts at row 2:
    // rows 0 and 1 belong to someone else and stay.
    Pty pty(12, 30);
    kv_editor *ed = make_pty_editor(pty);
    ASSERT_EQ(kv_set_bounds(ed, 0, 2, 0, 10), 0);
    kvx_options o;
    kvx_options_init(&o);
    o.features = KVX_KEYS;
    o.out_fd = pty.slave();
    o.bounded = 1;
    kvx_attachment *ext = nullptr;
    ASSERT_EQ(kvx_attach(ed, &o, &ext), 0);
    pty.screen().feed("keep0\r\nkeep1\r\n");
    struct Lines {
        int left = 3;
        static int produce(kv_editor *, void *u, const char **chunk, size_t *len) {
            auto *l = static_cast<Lines *>(u);
            if (l->left-- > 0) {
                *chunk = "output\n";
                *len = 7;
            }
            return 0;
        }
    } lines;
    // Printed between calls, into the output area above the box.
    ASSERT_EQ(kv_print_above(ed, Lines::produce, &lines), 0);
    ASSERT_TRUE(pty.pump_until([&] { return pty.screen().row(9) == "output"; }))
        << pty.screen().dump();
    auto call = start_call(pty, ed, "> ");
    pty.type("ab\x0c");
    ASSERT_TRUE(pty.pump_until([&] {
        for (int r = 2; r < 11; ++r)
            if (pty.screen().row(r) != "") return false;
        return pty.screen().row(11) == "> ab";
    })) << pty.screen().dump();
    EXPECT_EQ(pty.screen().row(0), "keep0");
    EXPECT_EQ(pty.screen().row(1), "keep1");
    pty.type("\r");
    ASSERT_TRUE(pty.pump_until([&] { return call->done(); }));
    call->join();
    EXPECT_EQ(call->line(), "ab");
    kvx_detach(ext);
    kv_destroy(ed);
}

std::atomic<int> stops{0};

TEST(ExtKeys, CtrlZRaisesTheStopSignalAndTheLineGoesOn) {
    struct sigaction sa {
    }, old{};
    sa.sa_handler = [](int) { ++stops; };
    sigaction(SIGTSTP, &sa, &old);
    ExtSession s;
    EXPECT_EQ(s.run("ab\x1a"
                    "cd\r"),
              "abcd");
    EXPECT_EQ(stops.load(), 1);
    sigaction(SIGTSTP, &old, nullptr);
}

TEST(ExtKeys, ReverseSearchIsNotDisturbed) {
    // History: make test.  During a search the companion's keys leave the
    // line alone; after it they work again.
    struct Row {
        std::string typed;
        std::string line;
        std::vector<std::string> ring;
    };
    const Row rows[] = {
        {"\x12te\t\r", "make test", {}}, // Tab in a search
        {"\x12te\x19\x14" + alt('u') + alt('d') + "\r", "make test", {}},
        {"\x12te\x0b\x17\r", "make test", {}},  // kills record nothing
        {"\x12zz\x15te\r", "make test", {}},    // Ctrl-U clears the query only
        {"\x12te\x07\x07mak\t\r", "make ", {}}, // after Ctrl-G Tab completes
    };
    for (const Row &r : rows) {
        ExtSession s;
        s.words.words = {"make"};
        ASSERT_EQ(kv_history_add(s.ed, "make test"), 0);
        EXPECT_EQ(s.run(r.typed), r.line) << "typed " << r.typed;
        EXPECT_EQ(s.ring(), r.ring) << "typed " << r.typed;
    }
    // ESC alone ends the search too (it is ESC once no byte follows soon).
    ExtSession s;
    ASSERT_EQ(kv_history_add(s.ed, "make test"), 0);
    auto call = start_call(s.pty, s.ed, "> ");
    s.pty.type("\x12te");
    ASSERT_TRUE(s.pty.pump_until(
        [&] { return s.pty.screen().row(0).find("make test") != std::string::npos; }));
    s.pty.type("\x1b");
    ASSERT_TRUE(s.pty.pump_until([&] { return s.pty.screen().row(0) == ">"; }))
        << s.pty.screen().row(0);
    s.pty.type("ab\x15\r");
    ASSERT_TRUE(s.pty.pump_until([&] { return call->done(); }));
    call->join();
    EXPECT_EQ(call->line(), "");
    EXPECT_EQ(s.ring(), (std::vector<std::string>{"ab"}));
}

} // namespace
