// The history files under system calls that a real system rarely gives on
// demand, injected through the layer's table of system calls: interrupted
// and short reads and writes go through whole, and a failing write, sync
// or rename leaves the old file as it was and no stray file beside it.
#include <cerrno>

#include <unistd.h>

#include "rl_test_support.h"

namespace rltest {
namespace {

// Every other call is interrupted before it does anything; the others move
// at most three bytes.
int calls = 0;
ssize_t choppy_write(int fd, const void *buf, size_t n) {
    if (++calls % 2 == 1) return errno = EINTR, -1;
    return ::write(fd, buf, n < 3 ? n : 3);
}
ssize_t choppy_read(int fd, void *buf, size_t n) {
    if (++calls % 2 == 1) return errno = EINTR, -1;
    return ::read(fd, buf, n < 3 ? n : 3);
}
// Writes part of the first request, then the disk is full.
ssize_t full_write(int fd, const void *buf, size_t n) {
    if (calls++ == 0) return ::write(fd, buf, n < 5 ? n : 5);
    return errno = ENOSPC, -1;
}
int failing_fsync(int) { return errno = EIO, -1; }
int failing_rename(const char *, const char *) { return errno = EXDEV, -1; }

class SysSeam : public History {
  protected:
    void SetUp() override {
        History::SetUp();
        calls = 0;
    }
    void TearDown() override {
        kvr_sys_reset();
        History::TearDown();
    }
};

TEST_F(SysSeam, InterruptedAndShortCallsMoveEveryByte) {
    TempDir tmp;
    std::string path = tmp.path("history");
    const std::vector<std::string> entries = {"first entry", "second", std::string(40, 'z')};
    std::string expected;
    for (const auto &e : entries)
        expected += e + "\n";
    add_all(entries);
    kvr_sys.write = choppy_write;
    kvr_sys.read = choppy_read;
    ASSERT_EQ(write_history(path.c_str()), 0);
    ASSERT_EQ(append_history(1, path.c_str()), 0);
    clear_history();
    ASSERT_EQ(read_history(path.c_str()), 0);
    kvr_sys_reset();
    EXPECT_EQ(read_file(path), expected + entries.back() + "\n");
    std::vector<std::string> back = entries;
    back.push_back(entries.back());
    EXPECT_EQ(lines(), back);
}

TEST_F(SysSeam, FailuresLeaveTheOldFileWhole) {
    struct Row {
        const char *what;
        void (*inject)();
        int (*call)(const char *path);
        int error;
    } rows[] = {
        {"a full disk while replacing", [] { kvr_sys.write = full_write; },
         [](const char *p) { return write_history(p); }, ENOSPC},
        {"a failed sync while replacing", [] { kvr_sys.fsync = failing_fsync; },
         [](const char *p) { return write_history(p); }, EIO},
        {"a failed rename while replacing", [] { kvr_sys.rename = failing_rename; },
         [](const char *p) { return write_history(p); }, EXDEV},
        {"a full disk while appending", [] { kvr_sys.write = full_write; },
         [](const char *p) { return append_history(2, p); }, ENOSPC},
    };
    TempDir tmp;
    std::string path = tmp.path("history");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        reset();
        calls = 0;
        write_file(path, "old\n");
        add_all({"new one", "new two"});
        row.inject();
        EXPECT_EQ(row.call(path.c_str()), row.error);
        kvr_sys_reset();
        EXPECT_EQ(read_file(path), "old\n");
        EXPECT_EQ(tmp.names(), std::vector<std::string>{"history"});
    }
}

} // namespace
} // namespace rltest
