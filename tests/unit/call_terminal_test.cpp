// Raw mode, the waits for input, and the ways a readline call on a terminal
// fails: each checked through the system-call table, on a real pty.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "base/state.h"
#include "call_harness.h"
#include "edit/internal.h"
#include "fault.h"
#include "kavrik.h"

namespace {

// ---- raw attributes -----------------------------------------------------------

TEST(RawMode, ClearsAndSetsExactlyTheTabledBits) {
    struct termios all;
    std::memset(&all, 0xff, sizeof all);
    struct termios raw = kv_raw_attributes(all);
    EXPECT_EQ(raw.c_iflag, ~tcflag_t{BRKINT | INPCK | ISTRIP | ICRNL | IXON});
    EXPECT_EQ(raw.c_oflag, ~tcflag_t{OPOST});
    EXPECT_EQ(raw.c_cflag, ~tcflag_t{0});
    EXPECT_EQ(raw.c_lflag, ~tcflag_t{ISIG | ICANON | ECHO | IEXTEN});
    EXPECT_EQ(raw.c_cc[VMIN], 0);
    EXPECT_EQ(raw.c_cc[VTIME], 1);
    EXPECT_EQ(raw.c_cc[VINTR], 0xff);

    struct termios none;
    std::memset(&none, 0, sizeof none);
    raw = kv_raw_attributes(none);
    EXPECT_EQ(raw.c_iflag, 0u);
    EXPECT_EQ(raw.c_oflag, 0u);
    EXPECT_EQ(raw.c_cflag, tcflag_t{CS8}); // OR-ed in, size bits not cleared first
    EXPECT_EQ(raw.c_lflag, 0u);
}

std::atomic<int> setattr_calls{0};
std::atomic<int> setattr_eintr{0};
int setattr_actions[8];

int tcsetattr_recording(int fd, int action, const struct termios *t) {
    int i = setattr_calls++;
    if (i < 8) setattr_actions[i] = action;
    if (setattr_eintr > 0) {
        setattr_eintr--;
        errno = EINTR;
        return -1;
    }
    return tcsetattr(fd, action, t);
}

// Enter and leave with TCSADRAIN, which keeps type-ahead; EINTR is retried.
TEST(RawMode, EntersAndLeavesWithDrainRetryingInterruptions) {
    SysGuard guard;
    Pty pty;
    struct termios before = tty_attrs(pty.slave());
    kv_state st{};
    st.io.in_fd = pty.slave();
    setattr_calls = 0;
    setattr_eintr = 2;
    kv_sys.tcsetattr = tcsetattr_recording;
    ASSERT_EQ(kv_terminal_enter_raw(&st), 0);
    EXPECT_EQ(st.term.raw_active, 1);
    EXPECT_EQ(tty_attrs(pty.slave()).c_lflag & ICANON, 0u);
    setattr_eintr = 1;
    kv_terminal_restore(&st);
    EXPECT_EQ(st.term.raw_active, 0);
    EXPECT_TRUE(same_attrs(tty_attrs(pty.slave()), before));
    ASSERT_EQ(setattr_calls, 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(setattr_actions[i], TCSADRAIN) << i;
    kv_terminal_restore(&st); // not in raw mode: nothing happens
    EXPECT_EQ(setattr_calls, 5);
}

// ---- waiting for input --------------------------------------------------------

std::atomic<int> poll_calls{0};
int poll_timeouts[8];

int poll_interrupted_twice(struct pollfd *fds, nfds_t n, int timeout) {
    int i = poll_calls++;
    if (i < 8) poll_timeouts[i] = timeout;
    if (i < 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        errno = EINTR;
        return -1;
    }
    return poll(fds, n, timeout);
}

TEST(Wait, SignalsDoNotCutTheWaitShortButItGoesOnWithTheTimeLeft) {
    SysGuard guard;
    Pipe pipe;
    poll_calls = 0;
    kv_sys.poll = poll_interrupted_twice;
    unsigned char b = 0;
    EXPECT_EQ(kv_read_escape_byte(pipe.read_end(), &b), 0); // nothing came: time-out
    // A third wait happens unless the machine stalled for the whole 100 ms.
    ASSERT_GE(poll_calls, 2);
    EXPECT_EQ(poll_timeouts[0], 100);
    EXPECT_LT(poll_timeouts[1], poll_timeouts[0]);
    EXPECT_GT(poll_timeouts[1], 0);
    if (poll_calls == 3) EXPECT_LT(poll_timeouts[2], poll_timeouts[1]);
}

// poll has no descriptor limit: a select set would be overrun at 1024.
TEST(Wait, EscapeByteWorksOnADescriptorAbove1024) {
    Pipe pipe;
    constexpr int high = 1500;
    ASSERT_EQ(dup2(pipe.read_end(), high), high);
    unsigned char b = 0;
    EXPECT_EQ(kv_read_escape_byte(high, &b), 0);
    pipe.write("q");
    EXPECT_EQ(kv_read_escape_byte(high, &b), 1);
    EXPECT_EQ(b, 'q');
    pipe.close_write();
    EXPECT_EQ(kv_read_escape_byte(high, &b), 0); // end of input reads nothing
    close(high);
    EXPECT_LT(kv_read_escape_byte(high, &b), 0); // a closed descriptor fails
}

TEST(Wait, HandedBackBytesComeFirstLastInFirstOut) {
    Pipe pipe;
    pipe.write("z");
    kv_state st{};
    st.io.in_fd = pipe.read_end();
    kv_call c{};
    c.st = &st;
    kv_call_unread(&c, 'a');
    kv_call_unread(&c, 'b');
    unsigned char b = 0;
    ASSERT_EQ(kv_call_wait_byte(&c, &b), 1);
    EXPECT_EQ(b, 'b');
    ASSERT_EQ(kv_call_wait_byte(&c, &b), 1);
    EXPECT_EQ(b, 'a');
    ASSERT_EQ(kv_call_wait_byte(&c, &b), 1);
    EXPECT_EQ(b, 'z');
    for (int i = 0; i < 40; ++i)
        kv_call_unread(&c, 'x'); // more than there is room for
    EXPECT_EQ(c.back_len, 16);
}

// ---- failures on the terminal ---------------------------------------------------

struct TtyEditor {
    Pty pty;
    kv_editor *ed;
    struct termios before;
    explicit TtyEditor(kv_config *cfg = nullptr)
        : ed(make_pty_editor(pty, cfg)), before(tty_attrs(pty.slave())) {}
    ~TtyEditor() { kv_destroy(ed); }
    bool restored() { return same_attrs(tty_attrs(pty.slave()), before); }
    int status() { return kv_last_readline_status(ed); }
    std::string error() {
        const char *e = kv_last_error(ed);
        return e ? e : "";
    }
};

std::atomic<int> isatty_calls{0};
int isatty_once(int) { return isatty_calls++ == 0; }
int tcgetattr_failing(int, struct termios *) { return -1; }
int tcsetattr_failing(int, int, const struct termios *) {
    errno = EIO;
    return -1;
}

TEST(RawMode, FailuresToEnterLeaveTheTerminalAlone) {
    SysGuard guard;
    {
        TtyEditor t;
        isatty_calls = 0;
        kv_sys.isatty = isatty_once;
        errno = 0;
        EXPECT_EQ(kv_readline(t.ed, nullptr), nullptr);
        EXPECT_EQ(errno, ENOTTY);
        EXPECT_EQ(t.status(), KV_STATUS_ERROR);
        EXPECT_EQ(t.error(), "input file descriptor is not a terminal");
        kv_sys_reset();
    }
    {
        TtyEditor t;
        kv_sys.tcgetattr = tcgetattr_failing;
        EXPECT_EQ(kv_readline(t.ed, nullptr), nullptr);
        EXPECT_EQ(t.status(), KV_STATUS_ERROR);
        EXPECT_EQ(t.error(), "failed to read terminal attributes");
        kv_sys_reset();
    }
    {
        TtyEditor t;
        kv_sys.tcsetattr = tcsetattr_failing;
        EXPECT_EQ(kv_readline(t.ed, nullptr), nullptr);
        kv_sys_reset();
        EXPECT_EQ(t.status(), KV_STATUS_ERROR);
        EXPECT_EQ(t.error(), "failed to enable terminal raw mode");
        EXPECT_EQ(t.ed->state->term.raw_active, 0);
        EXPECT_TRUE(t.restored());
        EXPECT_EQ(t.pty.log_size(), 0u);
        t.pty.pump(20);
        EXPECT_EQ(t.pty.log(), ""); // not even bracketed paste
    }
}

// An editor destroyed while its terminal is still raw puts the terminal back,
// retrying a signal's interruption like every other restore.
TEST(RawMode, DestroyRestoresATerminalLeftRaw) {
    SysGuard guard;
    TtyEditor t;
    ASSERT_EQ(kv_terminal_enter_raw(t.ed->state), 0);
    ASSERT_FALSE(t.restored());
    setattr_calls = 0;
    setattr_eintr = 1;
    kv_sys.tcsetattr = tcsetattr_recording;
    kv_destroy(t.ed);
    t.ed = nullptr;
    EXPECT_EQ(setattr_calls, 2);
    EXPECT_TRUE(t.restored());
}

// Writes that contain a marker fail; everything else goes through.
std::string write_fail_marker;
ssize_t write_failing_on_marker(int fd, const void *buf, size_t n) {
    std::string_view bytes(static_cast<const char *>(buf), n);
    if (!write_fail_marker.empty() && bytes.find(write_fail_marker) != std::string_view::npos) {
        errno = EIO;
        return -1;
    }
    return write(fd, buf, n);
}

TEST(Endings, FailedBracketedPasteRestoresTheTerminal) {
    SysGuard guard;
    TtyEditor t;
    write_fail_marker = "\x1b[?2004h";
    kv_sys.write = write_failing_on_marker;
    EXPECT_EQ(kv_readline(t.ed, nullptr), nullptr);
    EXPECT_EQ(t.status(), KV_STATUS_ERROR);
    EXPECT_EQ(t.error(), "failed to enable bracketed paste");
    EXPECT_EQ(t.ed->state->term.raw_active, 0);
    EXPECT_TRUE(t.restored());
}

TEST(Endings, FailedFirstDrawingTurnsPasteOffAndRestores) {
    SysGuard guard;
    TtyEditor t;
    write_fail_marker = "PROMPT";
    kv_sys.write = write_failing_on_marker;
    EXPECT_EQ(kv_readline(t.ed, "PROMPT> "), nullptr);
    EXPECT_EQ(t.status(), KV_STATUS_ERROR);
    EXPECT_NE(t.error(), ""); // the renderer's message
    EXPECT_EQ(t.ed->state->flags.active, 0);
    EXPECT_EQ(t.ed->state->flags.prompt, nullptr);
    EXPECT_TRUE(t.restored());
    ASSERT_TRUE(t.pty.wait_for("\x1b[?2004l"));
    EXPECT_LT(t.pty.log().find("\x1b[?2004h"), t.pty.log().find("\x1b[?2004l"));
    EXPECT_EQ(kv_submit(t.ed), -2);
}

TEST(Endings, FailedFinalNewlineIsAnErrorWithItsMessage) {
    SysGuard guard;
    TtyEditor t;
    write_fail_marker = "\r\n";
    kv_sys.write = write_failing_on_marker;
    auto call = start_call(t.pty, t.ed, nullptr);
    t.pty.type("abc\r");
    ASSERT_TRUE(call->join());
    EXPECT_TRUE(call->is_null());
    EXPECT_EQ(t.status(), KV_STATUS_ERROR);
    EXPECT_EQ(t.error(), "failed to write final newline");
    EXPECT_TRUE(t.restored());
    EXPECT_TRUE(t.pty.wait_for("\x1b[?2004l"));
    EXPECT_STREQ(kv_buffer(t.ed), ""); // the line is dropped
}

TEST(Endings, FailedBoundedPositioningIsAnErrorWithItsMessage) {
    SysGuard guard;
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.bounded = 1;
    cfg.row = 2;
    cfg.height = 5;
    TtyEditor t(&cfg);
    write_fail_marker = "\x1b[8;1H";
    kv_sys.write = write_failing_on_marker;
    auto call = start_call(t.pty, t.ed, nullptr);
    t.pty.type("abc\r");
    ASSERT_TRUE(call->join());
    EXPECT_TRUE(call->is_null());
    EXPECT_EQ(t.status(), KV_STATUS_ERROR);
    EXPECT_EQ(t.error(), "failed to write bounded terminal output");
    EXPECT_TRUE(t.restored());
}

std::atomic<int> read_calls{0};
std::atomic<int> read_fail_from{1 << 30};
std::atomic<int> read_eintr{0};
int read_errno = EIO;

ssize_t read_scripted(int fd, void *buf, size_t n) {
    int i = read_calls++;
    if (read_eintr > 0) {
        read_eintr--;
        errno = EINTR;
        return -1;
    }
    if (i >= read_fail_from) {
        errno = read_errno;
        return -1;
    }
    return read(fd, buf, n);
}

TEST(Endings, ReadErrorInTheLoopHasItsOwnMessage) {
    SysGuard guard;
    TtyEditor t;
    read_calls = 0;
    read_eintr = 0;
    read_fail_from = 2;
    read_errno = EIO;
    kv_sys.read = read_scripted;
    auto call = start_call(t.pty, t.ed, nullptr);
    t.pty.type("xyz"); // the third read fails
    ASSERT_TRUE(call->join());
    EXPECT_EQ(t.status(), KV_STATUS_ERROR);
    EXPECT_EQ(t.error(), "failed to read terminal input");
    EXPECT_TRUE(t.restored());
    EXPECT_TRUE(t.pty.wait_for("\x1b[?2004l"));
    read_fail_from = 1 << 30;
}

TEST(Endings, InterruptedReadsRedrawAndGoOn) {
    SysGuard guard;
    TtyEditor t;
    read_calls = 0;
    read_fail_from = 1 << 30;
    read_eintr = 5;
    kv_sys.read = read_scripted;
    auto call = start_call(t.pty, t.ed, nullptr);
    t.pty.type("ok\r");
    ASSERT_TRUE(call->join());
    EXPECT_EQ(call->line(), "ok");
    EXPECT_EQ(t.status(), KV_STATUS_LINE);
    EXPECT_EQ(read_eintr, 0);
}

// The copy handed to the caller is the last allocation of a submit: making
// each allocation of the ending fail in turn reaches it.
TEST(Endings, FailedCopyOfTheSubmittedLineHasItsOwnMessage) {
    struct Ctx {
        std::atomic<long> fail_at{0};
    } ctx;
    std::string last_message;
    int failures = 0;
    for (long n = 1; n < 50; ++n) {
        TtyEditor t;
        ctx.fail_at = n;
        kv_set_idle_callback(
            t.ed,
            [](kv_editor *ed, void *user) {
                kv_insert(ed, "line");
                kv_submit(ed);
                kv_alloc_countdown = static_cast<Ctx *>(user)->fail_at;
            },
            &ctx);
        char *line = kv_readline(t.ed, nullptr);
        bool fired = kv_alloc_countdown == 0;
        kv_alloc_countdown = -1;
        EXPECT_TRUE(t.restored());
        if (!fired) {
            ASSERT_NE(line, nullptr);
            EXPECT_STREQ(line, "line");
            kv_free_string(t.ed, line);
            break;
        }
        EXPECT_EQ(line, nullptr);
        EXPECT_EQ(t.status(), KV_STATUS_ERROR);
        last_message = t.error();
        ++failures;
    }
    EXPECT_GE(failures, 1);
    EXPECT_EQ(last_message, "out of memory while returning line");
}

// ---- idle ticks -------------------------------------------------------------------

// An idle tick that finds nothing changed builds no layout: it allocates
// nothing and writes nothing.  A change made by the idle callback is drawn.
TEST(IdleTick, UnchangedTickSkipsTheDrawingWork) {
    TtyEditor t;
    struct Ticks {
        std::atomic<int> n{0};
        long countdown[8] = {};
        size_t logged[8] = {};
    } ticks;
    kv_set_idle_callback(
        t.ed,
        [](kv_editor *ed, void *user) {
            auto *k = static_cast<Ticks *>(user);
            int i = k->n;
            if (i < 8) k->countdown[i] = kv_alloc_countdown;
            if (i == 4) kv_insert(ed, "x");
            if (i == 6) kv_submit(ed);
            k->n++;
        },
        &ticks);
    kv_alloc_countdown = 1L << 40; // counts allocations without failing any
    auto call = start_call(t.pty, t.ed, nullptr);
    ASSERT_TRUE(call->join());
    kv_alloc_countdown = -1;
    EXPECT_EQ(call->line(), "x");
    // Ticks 1..4 saw nothing new: no allocation in between.
    EXPECT_EQ(ticks.countdown[1], ticks.countdown[2]);
    EXPECT_EQ(ticks.countdown[2], ticks.countdown[3]);
    EXPECT_EQ(ticks.countdown[3], ticks.countdown[4]);
    // Tick 4 inserted text: its redraw built a layout before tick 5.
    EXPECT_LT(ticks.countdown[5], ticks.countdown[4]);
    EXPECT_EQ(ticks.countdown[5], ticks.countdown[6]);
}

// A change of terminal size alone is a change: the next idle tick draws.
TEST(IdleTick, ResizeIsDrawnAtTheNextTick) {
    TtyEditor t;
    IdleCounter idle;
    idle.install(t.ed);
    auto call = start_call(t.pty, t.ed, nullptr);
    t.pty.type(std::string(30, 'w'));
    ASSERT_TRUE(
        t.pty.pump_until([&] { return t.pty.screen().row(0) == "> " + std::string(30, 'w'); }));
    ASSERT_TRUE(idle.wait_more(t.pty, 2));
    size_t quiet = t.pty.log_size();
    ASSERT_TRUE(idle.wait_more(t.pty, 2));
    EXPECT_EQ(t.pty.log_size(), quiet); // unchanged ticks write nothing
    t.pty.resize(24, 20);               // the line now needs two rows
    ASSERT_TRUE(t.pty.pump_until([&] { return t.pty.log_size() > quiet; }));
    t.pty.type("\r");
    ASSERT_TRUE(call->join());
    EXPECT_EQ(call->line(), std::string(30, 'w'));
}

// ---- re-entry ---------------------------------------------------------------------

TEST(Reentry, ACallFromACallbackIsRefusedAndTheRunningCallGoesOn) {
    TtyEditor t;
    struct Seen {
        std::atomic<int> step{0};
        bool inner_null = false;
        int inner_status = -1;
        std::string inner_error;
        tcflag_t lflag_after = 0;
        int fd = -1;
    } seen;
    seen.fd = t.pty.slave();
    kv_set_idle_callback(
        t.ed,
        [](kv_editor *ed, void *user) {
            auto *s = static_cast<Seen *>(user);
            if (s->step++ != 0) return;
            char *inner = kv_readline(ed, "inner> ");
            s->inner_null = inner == nullptr;
            s->inner_status = kv_last_readline_status(ed);
            s->inner_error = kv_last_error(ed) ? kv_last_error(ed) : "";
            s->lflag_after = tty_attrs(s->fd).c_lflag;
            kv_destroy(ed); // refused too: the call is still using the editor
        },
        &seen);
    auto call = start_call(t.pty, t.ed, nullptr);
    ASSERT_TRUE(t.pty.pump_until([&] { return seen.step > 1; }));
    t.pty.type("ok\r");
    ASSERT_TRUE(call->join());
    EXPECT_TRUE(seen.inner_null);
    EXPECT_EQ(seen.inner_status, KV_STATUS_ERROR);
    EXPECT_EQ(seen.inner_error, "readline call already active");
    EXPECT_EQ(seen.lflag_after & ICANON, 0u); // still in raw mode
    EXPECT_EQ(call->line(), "ok");
    EXPECT_EQ(t.status(), KV_STATUS_LINE);
    EXPECT_TRUE(t.restored());
    EXPECT_EQ(t.pty.log().find("inner> "), std::string::npos);
}

} // namespace
