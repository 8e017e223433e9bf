// The plain path: input that is not a terminal is read as lines, with CR,
// CR LF and LF as line ends, Ctrl-D on an empty line as end of input, and
// over-long lines cut at the maximum length.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "base/state.h"
#include "call_harness.h"
#include "fault.h"
#include "kavrik.h"

namespace {

struct Editor {
    Pipe pipe;
    kv_editor *ed;
    explicit Editor(size_t max_line_len = 4096) : ed(make_pipe_editor(pipe, max_line_len)) {}
    ~Editor() { kv_destroy(ed); }
    std::string line() { return plain_line(ed); }
};

TEST(PlainPath, LineEndsCrLfAndLfEachEndOneLine) {
    Editor e;
    e.pipe.write("one\r\ntwo\nthree\rfour\n");
    e.pipe.close_write();
    EXPECT_EQ(e.line(), "one");
    EXPECT_EQ(kv_last_readline_status(e.ed), KV_STATUS_LINE);
    EXPECT_EQ(e.line(), "two");
    EXPECT_EQ(e.line(), "three");
    EXPECT_EQ(e.line(), "four");
    EXPECT_EQ(e.line(), "<null:2>");
    EXPECT_EQ(e.line(), "<null:2>");
}

TEST(PlainPath, ByteAfterCrWaitsForTheNextCall) {
    Editor e;
    e.pipe.write("one\rtwo");
    e.pipe.close_write();
    EXPECT_EQ(e.line(), "one");
    EXPECT_EQ(e.ed->state->flags.pending_byte_set, 1);
    EXPECT_EQ(e.ed->state->flags.pending_byte, 't');
    EXPECT_EQ(e.line(), "two");
    EXPECT_EQ(kv_last_readline_status(e.ed), KV_STATUS_LINE);
    EXPECT_EQ(e.line(), "<null:2>");
}

TEST(PlainPath, CrAndLfInSeparateWritesGiveOneLine) {
    Editor e;
    e.pipe.write("one\r");
    EXPECT_EQ(e.line(), "one");
    e.pipe.write("\ntwo\r");
    EXPECT_EQ(e.line(), "two");
    // Only a LF that comes first is the rest of the CR: later ones are lines.
    e.pipe.write("\n\n");
    EXPECT_EQ(e.line(), "");
    EXPECT_EQ(kv_last_readline_status(e.ed), KV_STATUS_LINE);
    e.pipe.close_write();
    EXPECT_EQ(e.line(), "<null:2>");
}

TEST(PlainPath, LfAfterAPlainLfIsAnEmptyLine) {
    Editor e;
    e.pipe.write("one\n");
    EXPECT_EQ(e.line(), "one");
    e.pipe.write("\nx\r");
    EXPECT_EQ(e.line(), "");
    EXPECT_EQ(e.line(), "x");
    // The CR was followed by something other than a LF: that byte is kept.
    e.pipe.write("y\n");
    EXPECT_EQ(e.line(), "y");
}

TEST(PlainPath, CtrlDEndsInputOnlyOnAnEmptyLine) {
    Editor e;
    e.pipe.write("a\x04\n\x04");
    e.pipe.close_write();
    char *line = kv_readline(e.ed, "ignored> ");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(std::string(line), std::string("a\x04", 2));
    kv_free_string(e.ed, line);
    EXPECT_EQ(e.line(), "<null:2>");
}

TEST(PlainPath, EndOfFileAfterTextReturnsTheText) {
    Editor e;
    e.pipe.write("tail");
    e.pipe.close_write();
    EXPECT_EQ(e.line(), "tail");
    EXPECT_EQ(kv_last_readline_status(e.ed), KV_STATUS_LINE);
    EXPECT_EQ(e.line(), "<null:2>");
}

TEST(PlainPath, OverLongLineIsCutAndItsRestDropped) {
    Editor e(5);
    e.pipe.write("abcdefgh\nxy\n");
    e.pipe.close_write();
    EXPECT_EQ(e.line(), "abcde");
    EXPECT_EQ(e.line(), "xy");
    EXPECT_EQ(e.line(), "<null:2>");
}

TEST(PlainPath, ReturnedLineStopsAtAnEmbeddedNul) {
    Editor e;
    e.pipe.write(std::string_view("ab\0cd\n", 6));
    EXPECT_EQ(e.line(), "ab");
    EXPECT_EQ(e.ed->state->line.len, 5u); // the buffer keeps every byte
}

TEST(PlainPath, NoCallbackRunsAndNoCallIsActive) {
    Editor e;
    static std::atomic<int> idle_calls{0};
    kv_set_idle_callback(
        e.ed, [](kv_editor *, void *) { idle_calls++; }, nullptr);
    e.pipe.write("x\n");
    EXPECT_EQ(e.line(), "x");
    EXPECT_EQ(idle_calls, 0);
    EXPECT_EQ(e.ed->state->flags.active, 0);
    EXPECT_EQ(kv_submit(e.ed), -2);
}

TEST(PlainPath, NullEditorOrStateChangesNothing) {
    EXPECT_EQ(kv_readline(nullptr, "> "), nullptr);
    Editor e;
    kv_state *st = e.ed->state;
    st->flags.last_status = KV_STATUS_CANCELLED;
    e.ed->state = nullptr;
    EXPECT_EQ(e.ed->readline(e.ed, "> "), nullptr);
    e.ed->state = st;
    EXPECT_EQ(kv_last_readline_status(e.ed), KV_STATUS_CANCELLED);
}

// ---- read failures ----------------------------------------------------------

std::atomic<int> fake_reads{0};
std::atomic<int> fake_failures{0};
int fake_errno = 0;

ssize_t read_failing_first(int fd, void *buf, size_t n) {
    fake_reads++;
    if (fake_failures > 0) {
        fake_failures--;
        errno = fake_errno;
        return -1;
    }
    return read(fd, buf, n);
}

TEST(PlainPath, InterruptedReadsAreRetried) {
    SysGuard guard;
    Editor e;
    e.pipe.write("ok\n");
    fake_failures = 3;
    fake_errno = EINTR;
    kv_sys.read = read_failing_first;
    EXPECT_EQ(e.line(), "ok");
}

TEST(PlainPath, ReadErrorEndsWithItsMessage) {
    SysGuard guard;
    Editor e;
    e.pipe.write("ok\n");
    fake_failures = 1;
    fake_errno = EIO;
    kv_sys.read = read_failing_first;
    EXPECT_EQ(e.line(), "<null:5>");
    EXPECT_STREQ(kv_last_error(e.ed), "failed to read input");
}

TEST(PlainPath, NonBlockingInputIsWaitedFor) {
    SysGuard guard;
    Editor e;
    int fd = e.pipe.read_end();
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fake_reads = 0;
    fake_failures = 0;
    kv_sys.read = read_failing_first;
    std::string got;
    std::thread call([&] { got = e.line(); });
    // The first read has found nothing (EAGAIN) before the line is written.
    while (fake_reads == 0)
        std::this_thread::yield();
    e.pipe.write("late\n");
    call.join();
    EXPECT_EQ(got, "late");
    EXPECT_LE(fake_reads, 10);
}

// ---- memory -----------------------------------------------------------------

TEST(PlainPath, FailedCopyOfTheLineHasItsOwnMessage) {
    Editor e;
    e.pipe.write("abc\n");
    {
        AllocFailer f(1);
        EXPECT_EQ(e.line(), "<null:5>");
    }
    EXPECT_STREQ(kv_last_error(e.ed), "out of memory while returning line");
}

TEST(PlainPath, FailedGrowthEndsWithTheBuffersMessage) {
    Editor e;
    e.pipe.write(std::string(300, 'x') + "\nnext\n");
    {
        AllocFailer f(1);
        EXPECT_EQ(e.line(), "<null:5>");
    }
    EXPECT_STREQ(kv_last_error(e.ed), "out of memory while growing line buffer");
    // 255 bytes fitted, the 256th was the one that could not be stored; the
    // rest of the long line is read as the next line.
    EXPECT_EQ(e.line(), std::string(300 - 256, 'x'));
}

} // namespace
