// The readline call on a real pseudo-terminal: every status, the terminal
// given back as it was, bracketed paste around the call, the line left on
// its own row, and terminals that behave badly (hung up, non-blocking, high
// descriptor numbers).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "base/state.h"
#include "call_harness.h"
#include "kavrik.h"

namespace {

constexpr const char *paste_on = "\x1b[?2004h";
constexpr const char *paste_off = "\x1b[?2004l";

struct Session {
    Pty pty;
    kv_editor *ed;
    struct termios before;
    explicit Session(kv_config *cfg = nullptr)
        : ed(make_pty_editor(pty, cfg)), before(tty_attrs(pty.slave())) {}
    ~Session() { kv_destroy(ed); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    bool restored() { return same_attrs(tty_attrs(pty.slave()), before); }
    int status() { return kv_last_readline_status(ed); }
    bool shows(int row, const std::string &text) {
        return pty.pump_until([&] { return pty.screen().row(row) == text; });
    }
};

TEST(ReadlineCall, TypedLineIsReturnedAndTheTerminalGivenBack) {
    Session s;
    auto call = start_call(s.pty, s.ed, nullptr); // null prompt: "> "
    ASSERT_TRUE(s.shows(0, ">"));
    EXPECT_EQ(s.pty.log().find(paste_on), 0u) << "bracketed paste comes before the drawing";
    s.pty.type("abc");
    ASSERT_TRUE(s.shows(0, "> abc"));
    s.pty.type("\r");
    ASSERT_TRUE(call->join());
    EXPECT_FALSE(call->is_null());
    EXPECT_EQ(call->line(), "abc");
    EXPECT_EQ(s.status(), KV_STATUS_LINE);
    EXPECT_TRUE(s.restored());
    ASSERT_TRUE(s.pty.wait_for(paste_off));
    const std::string &log = s.pty.log();
    // The line is left with CR LF, then bracketed paste goes off, last.
    size_t end = log.rfind(paste_off);
    EXPECT_EQ(end + 8, log.size());
    EXPECT_EQ(log.substr(end - 2, 2), "\r\n");
    EXPECT_LT(log.rfind('c'), end - 2);
    EXPECT_EQ(s.pty.screen().cursor_row(), 1);
    EXPECT_EQ(s.pty.screen().cursor_col(), 0);
    EXPECT_EQ(kv_submit(s.ed), -2); // no call running any more
}

TEST(ReadlineCall, CtrlDOnAnEmptyLineIsEndOfInput) {
    Session s;
    auto call = start_call(s.pty, s.ed, "$ ");
    ASSERT_TRUE(s.shows(0, "$"));
    s.pty.type("\x04");
    ASSERT_TRUE(call->join());
    EXPECT_TRUE(call->is_null());
    EXPECT_EQ(s.status(), KV_STATUS_EOF);
    EXPECT_TRUE(s.restored());
    EXPECT_TRUE(s.pty.wait_for(paste_off));
}

TEST(ReadlineCall, IdleCallbackCanSubmitOrCancel) {
    {
        Session s;
        IdleCounter idle;
        idle.hook = [](kv_editor *ed, IdleCounter *c) {
            if (c->calls == 2) {
                kv_insert(ed, "from idle");
                kv_submit(ed);
            }
        };
        idle.install(s.ed);
        auto call = start_call(s.pty, s.ed, nullptr);
        ASSERT_TRUE(call->join());
        EXPECT_EQ(call->line(), "from idle");
        EXPECT_EQ(s.status(), KV_STATUS_LINE);
        EXPECT_EQ(idle.calls, 2);
        EXPECT_TRUE(s.restored());
        EXPECT_TRUE(s.shows(0, "> from idle")); // drawn one last time
    }
    {
        Session s;
        IdleCounter idle;
        idle.hook = [](kv_editor *ed, IdleCounter *) {
            kv_insert(ed, "dropped");
            kv_cancel(ed);
        };
        idle.install(s.ed);
        auto call = start_call(s.pty, s.ed, nullptr);
        ASSERT_TRUE(call->join());
        EXPECT_TRUE(call->is_null());
        EXPECT_EQ(s.status(), KV_STATUS_CANCELLED);
        EXPECT_STREQ(kv_buffer(s.ed), "");
        EXPECT_TRUE(s.restored());
        EXPECT_TRUE(s.pty.wait_for(paste_off));
    }
}

// raise() in the editor's thread delivers SIGINT to that thread.
struct SigintGuard {
    struct sigaction old {};
    explicit SigintGuard(void (*handler)(int)) {
        struct sigaction sa {};
        sa.sa_handler = handler;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &old);
    }
    ~SigintGuard() { sigaction(SIGINT, &old, nullptr); }
    SigintGuard(const SigintGuard &) = delete;
    SigintGuard &operator=(const SigintGuard &) = delete;
};

TEST(ReadlineCall, CtrlCWithSigintIgnoredReturnsNull) {
    SigintGuard ignore(SIG_IGN);
    Session s;
    auto call = start_call(s.pty, s.ed, nullptr);
    s.pty.type("abc");
    ASSERT_TRUE(s.shows(0, "> abc"));
    s.pty.type("\x03");
    ASSERT_TRUE(call->join());
    EXPECT_TRUE(call->is_null());
    EXPECT_EQ(s.status(), KV_STATUS_INTERRUPTED);
    EXPECT_TRUE(s.restored());
    ASSERT_TRUE(s.pty.wait_for(paste_off));
    EXPECT_EQ(s.pty.screen().row(0), ""); // prompt and line erased
    EXPECT_EQ(s.pty.log().find("\r\n"), std::string::npos);
}

std::atomic<int> sigint_count{0};
std::atomic<unsigned> sigint_lflag{0};
int sigint_fd = -1;

void on_sigint(int) {
    struct termios t;
    if (tcgetattr(sigint_fd, &t) == 0) sigint_lflag = static_cast<unsigned>(t.c_lflag);
    sigint_count++;
}

TEST(ReadlineCall, CtrlCRaisesSigintAfterTheTerminalIsRestored) {
    SigintGuard handler(on_sigint);
    Session s;
    sigint_fd = s.pty.slave();
    sigint_count = 0;
    auto call = start_call(s.pty, s.ed, nullptr);
    s.pty.type("x\x03");
    ASSERT_TRUE(call->join());
    EXPECT_TRUE(call->is_null());
    EXPECT_EQ(s.status(), KV_STATUS_INTERRUPTED);
    EXPECT_EQ(sigint_count, 1);
    EXPECT_EQ(sigint_lflag, static_cast<unsigned>(s.before.c_lflag));
    EXPECT_TRUE(s.restored());
    // The line stays in the buffer until the next call.
    EXPECT_STREQ(kv_buffer(s.ed), "x");
}

TEST(ReadlineCall, BoundedLineIsLeftBelowTheBox) {
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.bounded = 1;
    cfg.row = 2;
    cfg.height = 5;
    Session s(&cfg);
    auto call = start_call(s.pty, s.ed, nullptr);
    s.pty.type("hi\r");
    ASSERT_TRUE(call->join());
    EXPECT_EQ(call->line(), "hi");
    ASSERT_TRUE(s.pty.wait_for(paste_off));
    const std::string &log = s.pty.log();
    // Row 2 plus height 5: column 1 of screen row 8, then paste off.
    EXPECT_EQ(log.substr(log.size() - 14), std::string("\x1b[8;1H") + paste_off);
    EXPECT_EQ(log.find("\r\n"), std::string::npos);
    EXPECT_TRUE(s.restored());
}

// A NUL is an idle tick at once: the callback runs between the two letters
// that were typed with it, which no timed tick could do.
std::atomic<int> saw_a_alone{0};

TEST(ReadlineCall, NulByteCallsTheIdleCallbackAtOnce) {
    Session s;
    IdleCounter idle;
    saw_a_alone = 0;
    idle.hook = [](kv_editor *ed, IdleCounter *) {
        if (std::string(kv_buffer(ed)) == "a") saw_a_alone++;
    };
    idle.install(s.ed);
    auto call = start_call(s.pty, s.ed, nullptr);
    s.pty.type(std::string_view("a\0b\r", 4));
    ASSERT_TRUE(call->join());
    EXPECT_EQ(call->line(), "ab"); // the NUL is not text
    EXPECT_EQ(saw_a_alone, 1);
}

// A terminal that goes away reads as nothing at once, forever: the call ends
// as end of input instead of spinning through idle ticks.
TEST(ReadlineCall, HungUpTerminalEndsTheCallAsEndOfInput) {
    Pty pty;
    kv_editor *ed = make_pty_editor(pty);
    IdleCounter idle;
    idle.install(ed);
    {
        ReadlineThread call(ed, nullptr, &pty);
        ASSERT_TRUE(idle.wait_more(pty, 1));
        int ticks = idle.calls;
        pty.hang_up();
        ASSERT_TRUE(call.join(1000)) << "the call went on after the hang-up";
        EXPECT_TRUE(call.is_null());
        EXPECT_EQ(kv_last_readline_status(ed), KV_STATUS_EOF)
            << (kv_last_error(ed) ? kv_last_error(ed) : "");
        EXPECT_LE(idle.calls - ticks, 2);
    }
    EXPECT_EQ(ed->state->term.raw_active, 0);
    kv_destroy(ed);
}

// A terminal opened for writing only cannot be read: the call ends at once
// with an error instead of waiting for input that it can never see.
TEST(ReadlineCall, UnreadableTerminalEndsTheCallWithAnError) {
    Pty pty;
    int in = open(ttyname(pty.slave()), O_WRONLY | O_NOCTTY);
    ASSERT_GE(in, 0);
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.in_fd = in;
    cfg.out_fd = pty.slave();
    kv_editor *ed = kv_create_with_config(&cfg);
    struct termios before = tty_attrs(in);
    {
        // Nothing is typed: a typed byte would make the wait report the
        // descriptor readable, and the read fail.
        ReadlineThread call(ed, nullptr, &pty);
        ASSERT_TRUE(call.join(2000)) << "the call went on waiting";
        EXPECT_TRUE(call.is_null());
    }
    EXPECT_EQ(kv_last_readline_status(ed), KV_STATUS_ERROR);
    EXPECT_STREQ(kv_last_error(ed), "failed to read terminal input");
    EXPECT_TRUE(same_attrs(tty_attrs(in), before));
    kv_destroy(ed);
    close(in);
}

TEST(ReadlineCall, DescriptorsAbove1024Work) {
    Pty pty;
    constexpr int high = 1500;
    ASSERT_EQ(dup2(pty.slave(), high), high);
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.in_fd = high;
    cfg.out_fd = high;
    kv_editor *ed = kv_create_with_config(&cfg);
    struct termios before = tty_attrs(high);
    {
        auto call = start_call(pty, ed, nullptr);
        // Left arrow: the escape decoder waits for its further bytes.
        pty.type("ab\x1b[DX\r");
        ASSERT_TRUE(call->join());
        EXPECT_EQ(call->line(), "aXb");
    }
    EXPECT_TRUE(same_attrs(tty_attrs(high), before));
    kv_destroy(ed);
    close(high);
}

// Another program can leave the terminal non-blocking: reads then fail with
// EAGAIN, which the call waits out like the raw-mode read time-out.
TEST(ReadlineCall, NonBlockingTerminalIsWaitedOn) {
    Session s;
    int fd = s.pty.slave();
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    IdleCounter idle;
    idle.install(s.ed);
    auto call = start_call(s.pty, s.ed, nullptr);
    ASSERT_TRUE(idle.wait_more(s.pty, 3));
    s.pty.type("abc\x1b[D\x1b[DX\r");
    ASSERT_TRUE(call->join());
    EXPECT_EQ(call->line(), "aXbc");
    EXPECT_EQ(s.status(), KV_STATUS_LINE);
    EXPECT_TRUE(s.restored());
}

// What is typed during one call, after its Enter, is the next call's input.
TEST(ReadlineCall, TypeAheadSurvivesBetweenCalls) {
    Session s;
    {
        auto call = start_call(s.pty, s.ed, nullptr);
        s.pty.type("first\rsecond\r");
        ASSERT_TRUE(call->join());
        EXPECT_EQ(call->line(), "first");
    }
    auto call = start_call(s.pty, s.ed, nullptr);
    bool done = call->join(2000);
    if (!done) s.pty.type("\r"); // end the call so the thread can finish
    ASSERT_TRUE(done) << "the typed-ahead line was thrown away";
    EXPECT_EQ(call->line(), "second");
    EXPECT_TRUE(s.restored());
}

// Between two calls the terminal is in its own mode, which turns Enter into a
// line feed as it arrives.  Lines typed ahead then must still end with their
// Enter, not gain a line feed (Ctrl-J) and wait for another one.
TEST(ReadlineCall, EnterTypedAheadBetweenCallsStillEndsTheLine) {
    Session s;
    {
        auto call = start_call(s.pty, s.ed, nullptr);
        s.pty.type("one\r");
        ASSERT_TRUE(call->join());
        EXPECT_EQ(call->line(), "one");
    }
    size_t from = s.pty.log_size();
    s.pty.type("two\rthree\r");
    // The terminal echoes what it has taken in, the last Enter too: both
    // lines now wait.
    ASSERT_TRUE(s.pty.wait_for("three\r\n", 3000, from));
    for (const char *want : {"two", "three"}) {
        auto call = start_call(s.pty, s.ed, nullptr);
        bool done = s.pty.pump_until([&] { return call->done(); }, 3000);
        if (!done) s.pty.type("\r"); // end the call so the thread can finish
        ASSERT_TRUE(call->join());
        EXPECT_TRUE(done) << "the typed-ahead Enter did not end the line";
        if (done) EXPECT_EQ(call->line(), want);
        EXPECT_TRUE(s.restored());
    }
    // In the editor's own mode a line feed is still Ctrl-J.
    auto call = start_call(s.pty, s.ed, nullptr);
    s.pty.type("a\nb\r");
    ASSERT_TRUE(call->join());
    EXPECT_EQ(call->line(), "a\nb");
}

// Ending during a reverse search: a cancel puts back the line typed before
// the search and draws it one last time; Enter returns the match.
TEST(ReadlineCall, EndingDuringAReverseSearch) {
    {
        Session s;
        kv_history_add(s.ed, "hello world");
        IdleCounter idle;
        idle.install(s.ed);
        auto call = start_call(s.pty, s.ed, nullptr);
        s.pty.type("typed\x12hel");
        ASSERT_TRUE(s.pty.pump_until(
            [&] { return s.pty.screen().row(0).find("hello world") != std::string::npos; }));
        idle.hook = [](kv_editor *ed, IdleCounter *) { kv_cancel(ed); };
        ASSERT_TRUE(call->join());
        EXPECT_TRUE(call->is_null());
        EXPECT_EQ(s.status(), KV_STATUS_CANCELLED);
        EXPECT_TRUE(s.shows(0, "> typed"));
        EXPECT_TRUE(s.restored());
    }
    {
        Session s;
        kv_history_add(s.ed, "hello world");
        auto call = start_call(s.pty, s.ed, nullptr);
        s.pty.type("typed\x12hel");
        ASSERT_TRUE(s.pty.pump_until(
            [&] { return s.pty.screen().row(0).find("hello world") != std::string::npos; }));
        s.pty.type("\r");
        ASSERT_TRUE(call->join());
        EXPECT_EQ(call->line(), "hello world");
        EXPECT_TRUE(s.shows(0, "> hello world")); // the caller's prompt again
    }
}

} // namespace
