// The history file: exact bytes written, every reading rule, the safe
// replacement of the old file (symbolic links, devices, FIFOs, failures
// that must leave the old file byte for byte), and out-of-memory on load.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "fault.h"
#include "history_editor.h"

namespace {

// A fresh directory under the system's temporary directory, removed after.
struct TempDir {
    std::string path;
    TempDir() {
        char templ[] = "/tmp/kv-history-XXXXXX";
        char *p = mkdtemp(templ);
        EXPECT_NE(p, nullptr);
        path = p ? p : "/nonexistent";
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string file(const std::string &name) const { return path + "/" + name; }
    std::set<std::string> names() const {
        std::set<std::string> out;
        if (DIR *d = opendir(path.c_str())) {
            while (dirent *e = readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") out.insert(n);
            }
            closedir(d);
        }
        return out;
    }
};

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void spit(const std::string &path, const std::string &bytes, mode_t mode = 0644) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    chmod(path.c_str(), mode);
}

mode_t mode_of(const std::string &path) {
    struct stat sb {};
    EXPECT_EQ(stat(path.c_str(), &sb), 0) << path;
    return sb.st_mode & 07777;
}

// Loads bytes from a file into a fresh editor: its code, entries and error.
struct Loaded {
    int rc;
    Lines entries;
    std::string error;
};

Loaded load_bytes(const std::string &bytes, size_t max_line_len = 4096, int limit = 100) {
    TempDir dir;
    spit(dir.file("h"), bytes);
    HistoryEditor e(limit, max_line_len);
    int rc = kv_history_load(e.ed, dir.file("h").c_str());
    return {rc, e.entries(), e.error()};
}

// ---- saving: bytes and modes ---------------------------------------------------

TEST(HistorySave, WritesBothEscapesAndATerminatorAfterEveryEntry) {
    TempDir dir;
    HistoryEditor e;
    e.add_all({"a\nb", "c\\"});
    ASSERT_EQ(kv_history_save(e.ed, dir.file("h").c_str()), 0);
    EXPECT_EQ(slurp(dir.file("h")), "a\\nb\nc\\\\\n");
    EXPECT_EQ(mode_of(dir.file("h")), 0600u);

    HistoryEditor back;
    ASSERT_EQ(kv_history_load(back.ed, dir.file("h").c_str()), 0);
    EXPECT_EQ(back.entries(), (Lines{"a\nb", "c\\"}));
}

TEST(HistorySave, RoundTripKeepsTheList) {
    TempDir dir;
    HistoryEditor e(5);
    e.add_all({"old", "\\n literally", "tab\there", "\xe4\xb8\xad\xe6\x96\x87", "x\\\\y",
               "trailing \\", "\n\n"});
    ASSERT_EQ(kv_history_save(e.ed, dir.file("h").c_str()), 0);
    HistoryEditor back(5);
    ASSERT_EQ(kv_history_load(back.ed, dir.file("h").c_str()), 0);
    EXPECT_EQ(back.entries(), e.entries());
    EXPECT_EQ(back.entries().size(), 5u);
}

TEST(HistorySave, EmptyListGivesAnEmptyPrivateFile) {
    TempDir dir;
    HistoryEditor e;
    ASSERT_EQ(kv_history_save(e.ed, dir.file("h").c_str()), 0);
    EXPECT_EQ(slurp(dir.file("h")), "");
    EXPECT_EQ(mode_of(dir.file("h")), 0600u);
}

TEST(HistorySave, NarrowsAWiderModeAndReplacesTheContent) {
    TempDir dir;
    spit(dir.file("h"), "one\ntwo\nthree\nfour\n", 0644);
    HistoryEditor e;
    e.add_all({"new"});
    ASSERT_EQ(kv_history_save(e.ed, dir.file("h").c_str()), 0);
    EXPECT_EQ(mode_of(dir.file("h")), 0600u);
    EXPECT_EQ(slurp(dir.file("h")), "new\n");
    EXPECT_EQ(dir.names(), (std::set<std::string>{"h"}));
}

TEST(HistorySave, NullArgumentsLeaveNoMessage) {
    HistoryEditor e;
    EXPECT_EQ(kv_history_save(e.ed, nullptr), -2);
    EXPECT_EQ(kv_history_save(nullptr, "/tmp/x"), -2);
    EXPECT_EQ(kv_history_load(e.ed, nullptr), -2);
    EXPECT_EQ(kv_history_load(nullptr, "/tmp/x"), -2);
    EXPECT_EQ(e.error(), "");
}

TEST(HistorySave, MissingDirectoryFailsToOpen) {
    HistoryEditor e;
    e.add_all({"a"});
    EXPECT_EQ(kv_history_save(e.ed, "/nonexistent-dir/sub/h"), -4);
    EXPECT_EQ(e.error(), "failed to open history file for writing");
}

TEST(HistorySave, EmptyPathFailsToOpenAndCreatesNothing) {
    // An empty path names no file: nothing may appear in the working
    // directory, and the failure is the open's.
    TempDir dir;
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    HistoryEditor e;
    e.add_all({"a"});
    SysGuard g;
    static int opens;
    opens = 0;
    kv_sys.open = [](const char *path, int flags, mode_t mode) {
        ++opens;
        return ::open(path, flags, mode);
    };
    const int rc = kv_history_save(e.ed, "");
    const std::set<std::string> left = dir.names();
    ASSERT_EQ(chdir(here), 0);
    EXPECT_EQ(rc, -4);
    EXPECT_EQ(e.error(), "failed to open history file for writing");
    EXPECT_TRUE(left.empty());
    EXPECT_EQ(opens, 0) << "no file is created on the way to the failure";
}

// ---- saving: links, devices, FIFOs ---------------------------------------------

TEST(HistorySave, SymbolicLinksSurviveAndTheirTargetIsReplaced) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("real").c_str(), 0700), 0);
    spit(dir.file("real/h"), "old\n", 0644);
    // A chain: link1 -> real/link2 (absolute), real/link2 -> h (relative).
    ASSERT_EQ(symlink("h", dir.file("real/link2").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("real/link2").c_str(), dir.file("link1").c_str()), 0);
    HistoryEditor e;
    e.add_all({"fresh"});
    ASSERT_EQ(kv_history_save(e.ed, dir.file("link1").c_str()), 0);
    struct stat sb {};
    ASSERT_EQ(lstat(dir.file("link1").c_str(), &sb), 0);
    EXPECT_TRUE(S_ISLNK(sb.st_mode));
    ASSERT_EQ(lstat(dir.file("real/link2").c_str(), &sb), 0);
    EXPECT_TRUE(S_ISLNK(sb.st_mode));
    EXPECT_EQ(slurp(dir.file("real/h")), "fresh\n");
    EXPECT_EQ(mode_of(dir.file("real/h")), 0600u);
    EXPECT_EQ(dir.names(), (std::set<std::string>{"link1", "real"}));
}

TEST(HistorySave, LinkThatCannotBeReadIsNotReplaced) {
    TempDir dir;
    spit(dir.file("h"), "old\n", 0644);
    ASSERT_EQ(symlink("h", dir.file("link").c_str()), 0);
    HistoryEditor e;
    e.add_all({"fresh"});
    SysGuard g;
    kv_sys.readlink = [](const char *, char *, size_t) -> ssize_t {
        errno = EIO;
        return -1;
    };
    EXPECT_EQ(kv_history_save(e.ed, dir.file("link").c_str()), -4);
    EXPECT_EQ(e.error(), "failed to open history file for writing");
    struct stat sb {};
    ASSERT_EQ(lstat(dir.file("link").c_str(), &sb), 0);
    EXPECT_TRUE(S_ISLNK(sb.st_mode));
    EXPECT_EQ(slurp(dir.file("h")), "old\n");
    EXPECT_EQ(dir.names(), (std::set<std::string>{"h", "link"}));
}

TEST(HistorySave, DanglingLinkCreatesItsTarget) {
    TempDir dir;
    ASSERT_EQ(symlink("target", dir.file("link").c_str()), 0);
    HistoryEditor e;
    e.add_all({"x"});
    ASSERT_EQ(kv_history_save(e.ed, dir.file("link").c_str()), 0);
    EXPECT_EQ(slurp(dir.file("target")), "x\n");
    struct stat sb {};
    ASSERT_EQ(lstat(dir.file("link").c_str(), &sb), 0);
    EXPECT_TRUE(S_ISLNK(sb.st_mode));
}

TEST(HistorySave, NullDeviceIsWrittenAndLeftAsItWas) {
    struct stat before {
    }, after{};
    ASSERT_EQ(stat("/dev/null", &before), 0);
    HistoryEditor e;
    e.add_all({"discarded"});
    EXPECT_EQ(kv_history_save(e.ed, "/dev/null"), 0);
    ASSERT_EQ(stat("/dev/null", &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_rdev, before.st_rdev);
    EXPECT_EQ(after.st_uid, before.st_uid);
    HistoryEditor l;
    EXPECT_EQ(kv_history_load(l.ed, "/dev/null"), 0);
    EXPECT_EQ(l.st()->history.count, 0);
}

TEST(HistorySave, FifoWithoutReaderFailsAtOnceAndWithOneReceivesTheList) {
    TempDir dir;
    std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    HistoryEditor e;
    e.add_all({"p", "q\nr"});
    EXPECT_EQ(kv_history_save(e.ed, fifo.c_str()), -4);
    EXPECT_EQ(e.error(), "failed to open history file for writing");

    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(kv_history_save(e.ed, fifo.c_str()), 0);
    char buf[64];
    ssize_t n = read(reader, buf, sizeof buf);
    close(reader);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "p\nq\\nr\n");
    EXPECT_EQ(mode_of(fifo), 0644u); // no mode change on a FIFO
    struct stat sb {};
    ASSERT_EQ(stat(fifo.c_str(), &sb), 0);
    EXPECT_TRUE(S_ISFIFO(sb.st_mode));
}

TEST(HistoryLoad, FifoWithoutWriterDoesNotHang) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    HistoryEditor e;
    EXPECT_EQ(kv_history_load(e.ed, dir.file("fifo").c_str()), 0);
    EXPECT_EQ(e.st()->history.count, 0);
}

TEST(HistorySave, DirectoryIsNotAHistoryFile) {
    TempDir dir;
    HistoryEditor e;
    e.add_all({"a"});
    EXPECT_EQ(kv_history_save(e.ed, dir.path.c_str()), -4);
    EXPECT_EQ(e.error(), "failed to open history file for writing");
    EXPECT_EQ(kv_history_load(e.ed, dir.path.c_str()), -4);
    EXPECT_EQ(e.error(), "failed to read history file");
    EXPECT_EQ(e.entries(), (Lines{"a"}));
}

// ---- saving: failures keep the old file ----------------------------------------

constexpr const char *kv_old_content = "kept 1\nkept \\\\ 2\n";

struct OldFile : TempDir {
    HistoryEditor e;
    OldFile() {
        spit(file("h"), kv_old_content, 0644);
        e.add_all({"new 1", "new 2"});
    }
    int save() { return kv_history_save(e.ed, file("h").c_str()); }
    void expect_untouched() {
        EXPECT_EQ(slurp(file("h")), kv_old_content);
        EXPECT_EQ(mode_of(file("h")), 0644u);
        EXPECT_EQ(names(), (std::set<std::string>{"h"})); // no new file left
    }
};

TEST(HistorySaveFailure, FileSizeLimitLeavesTheOldFileByteForByte) {
    OldFile f;
    for (int i = 0; i < 200; ++i)
        kv_history_add(f.e.ed, ("entry number " + std::to_string(i)).c_str());
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl {};
        rl.rlim_cur = rl.rlim_max = 512;
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(100);
        int rc = f.save();
        bool msg = f.e.error() == "failed to write history file";
        _exit(rc == -4 && msg ? 0 : 10 - rc);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    f.expect_untouched();
}

// Opens that refuse the exclusive creation of the new file with err.
template <int err> int refuse_new_file(const char *path, int flags, mode_t mode) {
    if (flags & O_EXCL) {
        errno = err;
        return -1;
    }
    return ::open(path, flags, mode);
}

// One injected failure of the replacement and the message it must give.
struct SaveFault {
    const char *what;
    void (*inject)();
    const char *message;
};

const SaveFault kv_save_faults[] = {
    {"fchmod",
     [] {
         kv_sys.fchmod = [](int, mode_t) {
             errno = EPERM;
             return -1;
         };
     },
     "failed to set history file permissions"},
    {"write",
     [] {
         kv_sys.write = [](int, const void *, size_t) -> ssize_t {
             errno = ENOSPC;
             return -1;
         };
     },
     "failed to write history file"},
    {"write of nothing",
     [] { kv_sys.write = [](int, const void *, size_t) -> ssize_t { return 0; }; },
     "failed to write history file"},
    {"fsync",
     [] {
         kv_sys.fsync = [](int) {
             errno = EIO;
             return -1;
         };
     },
     "failed to write history file"},
    {"close",
     [] {
         kv_sys.close = [](int fd) {
             ::close(fd);
             errno = EIO;
             return -1;
         };
     },
     "failed to close history file"},
    {"rename",
     [] {
         kv_sys.rename = [](const char *, const char *) {
             errno = EBUSY;
             return -1;
         };
     },
     "failed to write history file"},
    // A full disk gives no rewrite in place: that would truncate, then fail.
    {"creation on a full disk", [] { kv_sys.open = refuse_new_file<ENOSPC>; },
     "failed to open history file for writing"},
    {"every name taken", [] { kv_sys.open = refuse_new_file<EEXIST>; },
     "failed to open history file for writing"},
    // Without a new file the rewrite in place narrows the mode first.
    {"fchmod in place",
     [] {
         kv_sys.open = refuse_new_file<EACCES>;
         kv_sys.fchmod = [](int, mode_t) {
             errno = EPERM;
             return -1;
         };
     },
     "failed to set history file permissions"},
};

TEST(HistorySaveFailure, InjectedFailuresLoseNothing) {
    for (const SaveFault &fault : kv_save_faults) {
        SCOPED_TRACE(fault.what);
        OldFile f;
        SysGuard g;
        fault.inject();
        EXPECT_EQ(f.save(), -4);
        EXPECT_EQ(f.e.error(), fault.message);
        f.expect_untouched();
    }
}

TEST(HistorySave, ShortWritesAndInterruptionsStillWriteEverything) {
    TempDir dir;
    HistoryEditor e(100, 8192);
    std::string big(5000, 'z'); // more than one output block
    e.add_all({"first", big, "last"});
    SysGuard g;
    static int calls;
    calls = 0;
    kv_sys.write = [](int fd, const void *b, size_t n) -> ssize_t {
        if (++calls % 3 == 0) {
            errno = EINTR;
            return -1;
        }
        return ::write(fd, b, n < 7 ? n : 7);
    };
    ASSERT_EQ(kv_history_save(e.ed, dir.file("h").c_str()), 0);
    ASSERT_EQ(e.st()->history.count, 3);
    EXPECT_TRUE(slurp(dir.file("h")) == "first\n" + big + "\nlast\n");
}

TEST(HistorySave, SyncRefusedByTheFileSystemIsNoFailure) {
    TempDir dir;
    HistoryEditor e;
    e.add_all({"a"});
    SysGuard g;
    kv_sys.fsync = [](int) {
        errno = EINVAL;
        return -1;
    };
    ASSERT_EQ(kv_history_save(e.ed, dir.file("h").c_str()), 0);
    EXPECT_EQ(slurp(dir.file("h")), "a\n");
}

TEST(HistorySave, ReplacementKeepsTheOldOwnerWherePermitted) {
    if (geteuid() != 0) GTEST_SKIP() << "giving a file to another owner needs root";
    OldFile f;
    ASSERT_EQ(chown(f.file("h").c_str(), 4242, 4343), 0);
    ASSERT_EQ(f.save(), 0);
    struct stat sb {};
    ASSERT_EQ(stat(f.file("h").c_str(), &sb), 0);
    EXPECT_EQ(sb.st_uid, 4242u);
    EXPECT_EQ(sb.st_gid, 4343u);
    EXPECT_EQ(sb.st_mode & 07777, 0600u);
}

TEST(HistorySaveInPlace, UnwritableDirectoryRewritesTheSameFile) {
    OldFile f;
    struct stat before {
    }, after{};
    ASSERT_EQ(stat(f.file("h").c_str(), &before), 0);
    SysGuard g;
    kv_sys.open = refuse_new_file<EACCES>;
    ASSERT_EQ(f.save(), 0);
    ASSERT_EQ(stat(f.file("h").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(slurp(f.file("h")), "new 1\nnew 2\n");
    EXPECT_EQ(after.st_mode & 07777, 0600u);
}

TEST(HistorySaveInPlace, FailedTruncationKeepsTheOldEntries) {
    OldFile f;
    SysGuard g;
    kv_sys.open = refuse_new_file<EACCES>;
    static int truncations;
    truncations = 0;
    kv_sys.ftruncate = [](int, off_t) {
        ++truncations;
        errno = EIO;
        return -1;
    };
    EXPECT_EQ(f.save(), -4);
    EXPECT_EQ(truncations, 1);
    EXPECT_EQ(f.e.error(), "failed to write history file");
    EXPECT_EQ(slurp(f.file("h")), kv_old_content);
    // The mode was narrowed before the truncation was tried.
    EXPECT_EQ(mode_of(f.file("h")), 0600u);
    EXPECT_EQ(f.names(), (std::set<std::string>{"h"}));
}

TEST(HistorySaveInPlace, MissingFileInUnwritableDirectoryFailsToOpen) {
    TempDir dir;
    HistoryEditor e;
    e.add_all({"a"});
    SysGuard g;
    kv_sys.open = [](const char *, int, mode_t) {
        errno = EACCES;
        return -1;
    };
    EXPECT_EQ(kv_history_save(e.ed, dir.file("h").c_str()), -4);
    EXPECT_EQ(e.error(), "failed to open history file for writing");
    EXPECT_TRUE(dir.names().empty());
}

TEST(HistorySave, TakenTemporaryNamesAreSkipped) {
    OldFile f;
    SysGuard g;
    static int taken;
    taken = 0;
    kv_sys.open = [](const char *path, int flags, mode_t mode) {
        if ((flags & O_EXCL) && taken < 3) {
            ++taken;
            errno = EEXIST;
            return -1;
        }
        return ::open(path, flags, mode);
    };
    ASSERT_EQ(f.save(), 0);
    EXPECT_EQ(taken, 3);
    EXPECT_EQ(slurp(f.file("h")), "new 1\nnew 2\n");
    EXPECT_EQ(f.names(), (std::set<std::string>{"h"}));
}

TEST(HistorySave, OutOfMemoryFailsWithoutTouchingTheFile) {
    OldFile f;
    for_each_alloc_failure([&] { return f.save(); },
                           [&](long, long rc) {
                               EXPECT_EQ(rc, -4);
                               EXPECT_EQ(f.e.error(), "failed to open history file for writing");
                               f.expect_untouched();
                           });
    EXPECT_EQ(slurp(f.file("h")), "new 1\nnew 2\n");
}

// ---- loading -------------------------------------------------------------------

TEST(HistoryLoad, LineEndsAndTheLastLine) {
    EXPECT_EQ(load_bytes("a\r\nb\r\n").entries, (Lines{"a", "b"}));
    EXPECT_EQ(load_bytes("a\nb").entries, (Lines{"a", "b"}));
    EXPECT_EQ(load_bytes("a\n\n\nb\n").entries, (Lines{"a", "b"}));
    EXPECT_EQ(load_bytes("").entries, Lines{});
}

TEST(HistoryLoad, EscapesAndLoneCarriageReturns) {
    EXPECT_EQ(load_bytes("\\t\n").entries, (Lines{"\\t"}));
    EXPECT_EQ(load_bytes("x\\").entries, (Lines{"x\\"}));         // backslash at the end
    EXPECT_EQ(load_bytes("a\\\nb\n").entries, (Lines{"a\\\nb"})); // escaped line feed is data
    EXPECT_EQ(load_bytes("a\\\rb\n").entries, (Lines{"a\\\rb"}));
    EXPECT_EQ(load_bytes("a\rb\n").entries, (Lines{"a\nb"})); // lone CR
    EXPECT_EQ(load_bytes("a\r").entries, (Lines{"a\n"}));     // CR at the end
    EXPECT_EQ(load_bytes("a\r\rb\r\n").entries, (Lines{"a\n\nb"}));
    EXPECT_EQ(load_bytes("\\\\n\n").entries, (Lines{"\\n"}));
}

TEST(HistoryLoad, OverLongEntriesAreSkippedWhole) {
    Loaded l = load_bytes("abc\nabcdefgh\nxyz\n", 4);
    EXPECT_EQ(l.rc, -2);
    EXPECT_EQ(l.entries, (Lines{"abc", "xyz"}));
    EXPECT_EQ(l.error, "history entry exceeds configured maximum length");
    // The skip interprets nothing: the escaped line feed ends it.
    EXPECT_EQ(load_bytes("abcde\\\nzz\nok\n", 4).entries, (Lines{"zz", "ok"}));
    EXPECT_EQ(load_bytes("abcde\r\nzz\n", 4).entries, (Lines{"zz"}));
    // An over-long last line without a terminator.
    l = load_bytes("ok\nabcdefgh", 4);
    EXPECT_EQ(l.rc, -2);
    EXPECT_EQ(l.entries, (Lines{"ok"}));
    // Exactly the limit is kept.
    l = load_bytes("abcd\n", 4);
    EXPECT_EQ(l.rc, 0);
    EXPECT_EQ(l.entries, (Lines{"abcd"}));
}

TEST(HistoryLoad, OverflowOnAnEscapeOrCarriageReturn) {
    // The backslash overflows: the skip starts after it and ends at the
    // line feed it escaped.
    EXPECT_EQ(load_bytes("abc\\\nres\nok\n", 3).entries, (Lines{"res", "ok"}));
    // The escaped line feed overflows: the skip runs to the next one.
    EXPECT_EQ(load_bytes("abc\\\nrest\nok\n", 4).entries, (Lines{"ok"}));
    // A lone CR read as a line feed overflows: the byte after it is skipped.
    EXPECT_EQ(load_bytes("abc\rX\nok\n", 3).entries, (Lines{"ok"}));
    // An escape that overflows in its second byte.
    EXPECT_EQ(load_bytes("abc\\t\nok\n", 4).entries, (Lines{"ok"}));
    Loaded l = load_bytes("abc\\n\nok\n", 3);
    EXPECT_EQ(l.rc, -2);
    EXPECT_EQ(l.entries, (Lines{"ok"}));
}

TEST(HistoryLoad, AddRulesApply) {
    EXPECT_EQ(load_bytes("x\nx\ny\n").entries, (Lines{"x", "y"}));
    std::string many;
    for (int i = 0; i < 150; ++i)
        many += "line " + std::to_string(i) + "\n";
    Loaded l = load_bytes(many);
    ASSERT_EQ(l.entries.size(), 100u);
    EXPECT_EQ(l.entries.front(), "line 50");
    EXPECT_EQ(l.entries.back(), "line 149");
    l = load_bytes("a\nb\n", 4096, 0);
    EXPECT_EQ(l.rc, 0);
    EXPECT_TRUE(l.entries.empty());
}

TEST(HistoryLoad, AppendsToTheListInMemory) {
    TempDir dir;
    spit(dir.file("h"), "b\nc\n");
    HistoryEditor e;
    e.add_all({"a", "b"});
    ASSERT_EQ(kv_history_load(e.ed, dir.file("h").c_str()), 0);
    EXPECT_EQ(e.entries(), (Lines{"a", "b", "c"}));
}

TEST(HistoryLoad, MissingFileLeavesTheListAlone) {
    HistoryEditor e;
    e.add_all({"a"});
    EXPECT_EQ(kv_history_load(e.ed, "/nonexistent-dir/h"), -4);
    EXPECT_EQ(e.error(), "failed to open history file for reading");
    EXPECT_EQ(e.entries(), (Lines{"a"}));
}

TEST(HistoryLoad, ReadAndCloseFailures) {
    TempDir dir;
    spit(dir.file("h"), std::string(5000, 'a') + "\nlater\n");
    {
        HistoryEditor e(100, 8192);
        SysGuard g;
        static int reads;
        reads = 0;
        kv_sys.read = [](int fd, void *b, size_t n) -> ssize_t {
            if (++reads == 1) return ::read(fd, b, n);
            if (reads == 2) {
                errno = EINTR; // retried
                return -1;
            }
            errno = EIO;
            return -1;
        };
        EXPECT_EQ(kv_history_load(e.ed, dir.file("h").c_str()), -4);
        EXPECT_EQ(e.error(), "failed to read history file");
        EXPECT_EQ(reads, 3);
        // The partial entry at the failure is kept like any last line.
        ASSERT_EQ(e.entries().size(), 1u);
        EXPECT_EQ(e.entries()[0], std::string(4096, 'a'));
    }
    {
        HistoryEditor e(100, 8192);
        SysGuard g;
        kv_sys.close = [](int fd) {
            ::close(fd);
            errno = EIO;
            return -1;
        };
        EXPECT_EQ(kv_history_load(e.ed, dir.file("h").c_str()), -4);
        EXPECT_EQ(e.error(), "failed to close history file");
        EXPECT_EQ(e.entries(), (Lines{std::string(5000, 'a'), "later"}));
    }
}

TEST(HistoryLoad, HugeLimitsLoadWithoutHugeAllocations) {
    TempDir dir;
    spit(dir.file("h"), "a\nb\n");
    HistoryEditor e(2147483647, 2147483645);
    ASSERT_NE(e.ed, nullptr);
    ASSERT_EQ(kv_history_load(e.ed, dir.file("h").c_str()), 0);
    EXPECT_EQ(e.entries(), (Lines{"a", "b"}));
    EXPECT_LE(e.st()->history.cap, 16);
}

TEST(HistoryLoad, OutOfMemoryKeepsWhatWasAdded) {
    TempDir dir;
    Lines expected = {"short", std::string(700, 'w')};
    for (int i = 0; i < 20; ++i)
        expected.push_back("entry " + std::to_string(i));
    std::string bytes;
    for (const auto &l : expected)
        bytes += l + "\n";
    spit(dir.file("h"), bytes);
    HistoryEditor e;
    auto load = [&] {
        // Limit 0 and back empties the list without allocating.
        kv_history_set_max_len(e.ed, 0);
        kv_history_set_max_len(e.ed, 100);
        return kv_history_load(e.ed, dir.file("h").c_str());
    };
    long allocs = for_each_alloc_failure(load, [&](long, long rc) {
        Lines got = e.entries();
        EXPECT_LT(got.size(), expected.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));
        if (rc == -3) {
            EXPECT_EQ(e.error(), "out of memory while loading history");
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_TRUE(e.error() == "out of memory while adding history entry" ||
                        e.error() == "out of memory while allocating history")
                << e.error();
        }
    });
    // The work buffer and its two doublings, the ring and its growth, one
    // copy per entry.
    EXPECT_EQ(allocs, 3 + 2 + static_cast<long>(expected.size()));
    EXPECT_EQ(e.entries(), expected);
}

TEST(HistorySave, OutOfMemoryThroughALinkNeverReplacesTheLink) {
    TempDir dir;
    spit(dir.file("target"), kv_old_content, 0644);
    ASSERT_EQ(symlink("target", dir.file("link").c_str()), 0);
    HistoryEditor e;
    e.add_all({"n"});
    for_each_alloc_failure([&] { return kv_history_save(e.ed, dir.file("link").c_str()); },
                           [&](long, long rc) {
                               EXPECT_EQ(rc, -4);
                               struct stat sb {};
                               ASSERT_EQ(lstat(dir.file("link").c_str(), &sb), 0);
                               EXPECT_TRUE(S_ISLNK(sb.st_mode));
                               EXPECT_EQ(slurp(dir.file("target")), kv_old_content);
                               EXPECT_EQ(dir.names(), (std::set<std::string>{"link", "target"}));
                           });
    EXPECT_EQ(slurp(dir.file("target")), "n\n");
}

TEST(HistorySave, LinkLoopIsRefused) {
    TempDir dir;
    ASSERT_EQ(symlink("b", dir.file("a").c_str()), 0);
    ASSERT_EQ(symlink("a", dir.file("b").c_str()), 0);
    HistoryEditor e;
    e.add_all({"n"});
    EXPECT_EQ(kv_history_save(e.ed, dir.file("a").c_str()), -4);
    EXPECT_EQ(e.error(), "failed to open history file for writing");
    EXPECT_EQ(dir.names(), (std::set<std::string>{"a", "b"}));
}

} // namespace
