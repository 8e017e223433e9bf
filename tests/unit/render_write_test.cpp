// The full-write rule and the sequence formatter, through the system-call
// table: short writes continue, EINTR is retried, 0 and errors fail.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include "base/sys.h"
#include "fault.h"
#include "render/internal.h"

namespace {

// A scripted write: each call takes the next result from the script
// (a positive count accepts at most that many bytes, 0 returns 0, -1 fails
// with EINTR, -2 fails with EIO); past the script every call accepts all.
std::vector<int> script;
size_t step;
std::string written;
std::vector<size_t> asked;

ssize_t scripted_write(int, const void *buf, size_t n) {
    asked.push_back(n);
    int r = step < script.size() ? script[step++] : INT_MAX;
    if (r == -1) {
        errno = EINTR;
        return -1;
    }
    if (r == -2) {
        errno = EIO;
        return -1;
    }
    size_t take = std::min(n, static_cast<size_t>(r));
    written.append(static_cast<const char *>(buf), take);
    return static_cast<ssize_t>(take);
}

struct Scripted {
    SysGuard guard;
    explicit Scripted(std::vector<int> s) {
        script = std::move(s);
        step = 0;
        written.clear();
        asked.clear();
        kv_sys.write = scripted_write;
    }
};

TEST(RenderWrite, ShortWritesContinueWithTheRest) {
    Scripted s({3, 1, 2});
    EXPECT_EQ(kv_write_all(1, "abcdefghij", 10), 0);
    EXPECT_EQ(written, "abcdefghij");
    EXPECT_EQ(asked, (std::vector<size_t>{10, 7, 6, 4}));
}

TEST(RenderWrite, InterruptedWritesAreRetried) {
    Scripted s({-1, -1, 2, -1});
    EXPECT_EQ(kv_write_all(1, "hello", 5), 0);
    EXPECT_EQ(written, "hello");
    EXPECT_EQ(asked, (std::vector<size_t>{5, 5, 5, 3, 3}));
}

TEST(RenderWrite, ZeroAndErrorsFail) {
    {
        Scripted s({2, 0});
        EXPECT_EQ(kv_write_all(1, "hello", 5), -1);
        EXPECT_EQ(asked.size(), 2u); // no retry after 0
    }
    {
        Scripted s({-2});
        EXPECT_EQ(kv_write_all(1, "hello", 5), -1);
        EXPECT_EQ(asked.size(), 1u);
    }
}

TEST(RenderWrite, NothingToWriteMakesNoCall) {
    Scripted s({-2});
    EXPECT_EQ(kv_write_all(1, "", 0), 0);
    EXPECT_EQ(kv_write_all(1, nullptr, 0), 0);
    EXPECT_EQ(kv_write_all(1, nullptr, 3), -1);
    EXPECT_TRUE(asked.empty());
}

TEST(RenderWrite, FormattedSequencesAreOneWriteEach) {
    Scripted s({});
    EXPECT_EQ(kv_write_format(1, "\x1b[%dA", 12), 0);
    EXPECT_EQ(kv_write_format2(1, "\x1b[%d;%dH", 3, 140), 0);
    EXPECT_EQ(written, "\x1b[12A\x1b[3;140H");
    EXPECT_EQ(asked, (std::vector<size_t>{5, 8}));
}

TEST(RenderWrite, FormatThatDoesNotFitOrIsEmptyFails) {
    Scripted s({});
    // 31 bytes fit the 32-byte buffer; 32 do not.
    EXPECT_EQ(kv_write_format(1, "%d234567890123456789012345678901", 1), 0);
    EXPECT_EQ(kv_write_format(1, "%d2345678901234567890123456789012", 1), -1);
    EXPECT_EQ(kv_write_format2(1, "\x1b[%d;%dH0123456789012345678901234567890123456789", INT_MIN,
                               INT_MIN),
              -1);
    EXPECT_EQ(kv_write_format(1, "", 5), -1);
    EXPECT_EQ(kv_write_format(1, nullptr, 5), -1);
    EXPECT_EQ(asked.size(), 1u);
    // The output failure reaches the caller of a formatted write too.
    script = {-2};
    step = 0;
    EXPECT_EQ(kv_write_format(1, "\x1b[%dC", 4), -1);
}

} // namespace
