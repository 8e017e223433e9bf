// History files in readline's format: entries written as their bytes, one
// per line; time stamp lines; safe replacement; appending; truncating.
#include <cerrno>

#include <unistd.h>

#include "rl_test_support.h"

namespace rltest {
namespace {

using HistoryFile = History;

TEST_F(HistoryFile, EntriesRoundTripUnchanged) {
    // Entries that an escaping format would change or that look like syntax.
    const std::vector<std::string> entries = {
        "plain",
        "select 'a\\nb';",       // a literal backslash and n
        "C:\\\\temp\\\\new",     // doubled backslashes
        "trailing backslash \\", // ends in a backslash
        "\\",                    // nothing but a backslash
        "tab\there",
        "carriage\rreturn",
        "caf\xc3\xa9 \xe6\xbc\xa2\xe5\xad\x97 \xe2\x9c\x93",
        "#not a time stamp",
        "#12ab",
        "",
        "   ",
        "repeat",
        "repeat",
    };
    TempDir tmp;
    std::string path = tmp.path("history");
    add_all(entries);
    ASSERT_EQ(write_history(path.c_str()), 0);
    std::string expected;
    for (const auto &e : entries)
        expected += e + "\n";
    EXPECT_EQ(read_file(path), expected);
    clear_history();
    ASSERT_EQ(read_history(path.c_str()), 0);
    EXPECT_EQ(lines(), entries);
    // Written again, the file does not change by a byte.
    ASSERT_EQ(write_history(path.c_str()), 0);
    EXPECT_EQ(read_file(path), expected);
}

TEST_F(HistoryFile, ReadingRules) {
    struct Row {
        const char *what;
        std::string file;
        std::vector<std::string> entries;
        std::vector<std::string> stamps;
        const char *back = nullptr; // the file written back, when it differs
    } rows[] = {
        {"lines become entries", "a\nb\n", {"a", "b"}, {"", ""}},
        {"the last line needs no line feed", "a\nb", {"a", "b"}, {"", ""}},
        {"an empty file", "", {}, {}},
        {"a time stamp belongs to the next entry",
         "#1700000000\nls\npwd\n",
         {"ls", "pwd"},
         {"#1700000000", ""}},
        {"of two stamps in a row the later one counts",
         "#17\n#18\nls\n",
         {"ls"},
         {"#18"},
         "#18\nls\n"},
        {"a lone # is an entry", "#\nx\n", {"#", "x"}, {"", ""}},
        {"# with more than digits is an entry", "#12 ab\n", {"#12 ab"}, {""}},
        {"a carriage return stays in the entry", "a\r\nb\r\n", {"a\r", "b\r"}, {"", ""}},
        {"empty lines are entries", "\n\nz\n", {"", "", "z"}, {"", "", ""}},
        {"backslashes are data", "a\\nb\n\\\\\n", {"a\\nb", "\\\\"}, {"", ""}},
        {"a line ends at a NUL byte",
         std::string("#12\0tail\nab\0cd\n", 15),
         {"ab"},
         {"#12"},
         "#12\nab\n"},
    };
    TempDir tmp;
    std::string path = tmp.path("history");
    for (const Row &row : rows) {
        reset();
        write_file(path, row.file);
        ASSERT_EQ(read_history(path.c_str()), 0) << row.what;
        EXPECT_EQ(lines(), row.entries) << row.what;
        EXPECT_EQ(stamps(), row.stamps) << row.what;
        // Written back, the file is what it was (the last line gains its
        // line feed).
        ASSERT_EQ(write_history(path.c_str()), 0) << row.what;
        std::string back = row.back ? row.back : row.file;
        if (!back.empty() && back.back() != '\n') back += '\n';
        EXPECT_EQ(read_file(path), back) << row.what;
    }
}

TEST_F(HistoryFile, ReadHistoryRangeCountsEntries) {
    struct Row {
        int from, to;
        std::vector<std::string> entries;
    } rows[] = {
        {0, -1, {"a", "b", "c", "d"}},
        {1, 3, {"b", "c"}},
        {2, -1, {"c", "d"}},
        {-5, 1, {"a"}},
        {4, -1, {}},
        {3, 2, {}},
    };
    TempDir tmp;
    std::string path = tmp.path("history");
    write_file(path, "a\n#99\nb\nc\nd\n");
    for (const Row &row : rows) {
        reset();
        ASSERT_EQ(read_history_range(path.c_str(), row.from, row.to), 0);
        EXPECT_EQ(lines(), row.entries) << row.from << ".." << row.to;
    }
}

TEST_F(HistoryFile, ReadingAddsToTheListAndObeysTheLimit) {
    TempDir tmp;
    std::string path = tmp.path("history");
    write_file(path, "2\n3\n4\n");
    add_all({"1"});
    stifle_history(3);
    ASSERT_EQ(read_history(path.c_str()), 0);
    EXPECT_EQ(lines(), (std::vector<std::string>{"2", "3", "4"}));
    EXPECT_EQ(read_history(tmp.path("missing").c_str()), ENOENT);
    EXPECT_EQ(lines(), (std::vector<std::string>{"2", "3", "4"}));
}

TEST_F(HistoryFile, WritingReplacesTheFileSafely) {
    TempDir tmp;
    std::string path = tmp.path("history");
    add_all({"one", "two"});

    // A new file is private to its owner.
    ASSERT_EQ(write_history(path.c_str()), 0);
    EXPECT_EQ(mode_of(path), 0600u);

    // An existing file keeps its mode and gets only the new content.
    write_file(path, "old old old old old old\n");
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    ASSERT_EQ(write_history(path.c_str()), 0);
    EXPECT_EQ(read_file(path), "one\ntwo\n");
    EXPECT_EQ(mode_of(path), 0644u);

    // Written by root, a user's file stays the user's.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
        ASSERT_EQ(write_history(path.c_str()), 0);
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }

    // A write that fails half way leaves the old file whole and no stray file.
    add_all({std::string(200, 'x')});
    {
        FileSizeCap cap(64);
        EXPECT_EQ(write_history(path.c_str()), EFBIG);
    }
    EXPECT_EQ(read_file(path), "one\ntwo\n");
    EXPECT_EQ(tmp.names(), std::vector<std::string>{"history"});

    // A missing directory is reported.
    EXPECT_EQ(write_history(tmp.path("no/such/dir").c_str()), ENOENT);

    // A symbolic link stays a link; the file it points at is replaced.
    std::string link = tmp.path("link");
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    ASSERT_EQ(write_history(link.c_str()), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read_file(path), "one\ntwo\n" + std::string(200, 'x') + "\n");
}

TEST_F(HistoryFile, BytesKeepRoomForTheTerminatingZero) {
    // Appends that fill the buffer to the byte still leave room for the zero
    // written after them (a 256-byte file once wrote one byte past it).
    for (size_t first : {0, 1, 255, 256}) {
        kvr_bytes b;
        ASSERT_TRUE(b.append("", 0));
        ASSERT_TRUE(b.append(std::string(first, 'x').data(), first));
        ASSERT_TRUE(b.append(std::string(b.cap - b.len, 'y').data(), b.cap - b.len));
        EXPECT_LT(b.len, b.cap) << first;
        EXPECT_EQ(b.data[b.len], '\0') << first;
        b.release();
    }
    TempDir tmp;
    std::string path = tmp.path("history");
    write_file(path, std::string(255, 'a') + "\n");
    ASSERT_EQ(read_history(path.c_str()), 0);
    EXPECT_EQ(lines(), std::vector<std::string>{std::string(255, 'a')});
}

TEST_F(HistoryFile, AppendHistoryRules) {
    struct Row {
        const char *what;
        const char *before; // null: no file
        int n;
        std::string after;
    } rows[] = {
        {"the newest entries go at the end", "old\n", 2, "old\nb\nc\n"},
        {"more than the list appends the whole list", "old\n", 10, "old\na\nb\nc\n"},
        {"nothing to append leaves the file alone", "old\n", 0, "old\n"},
        {"a missing file is created", nullptr, 1, "c\n"},
    };
    TempDir tmp;
    std::string path = tmp.path("history");
    for (const Row &row : rows) {
        reset();
        fs::remove(path);
        if (row.before) write_file(path, row.before);
        add_all({"a", "b", "c"});
        ASSERT_EQ(append_history(row.n, path.c_str()), 0) << row.what;
        EXPECT_EQ(read_file(path), row.after) << row.what;
    }
    EXPECT_EQ(mode_of(path), 0600u);
    // A failed append takes back what it wrote.
    reset();
    write_file(path, "old\n");
    add_all({std::string(200, 'y')});
    {
        FileSizeCap cap(64);
        EXPECT_EQ(append_history(1, path.c_str()), EFBIG);
    }
    EXPECT_EQ(read_file(path), "old\n");
}

TEST_F(HistoryFile, TruncateKeepsTheNewestEntries) {
    struct Row {
        const char *what;
        std::string before;
        int keep;
        std::string after;
    } rows[] = {
        {"the newest lines stay", "a\nb\nc\nd\n", 2, "c\nd\n"},
        {"a file that is short enough is left alone", "a\nb\n", 2, "a\nb\n"},
        {"0 empties the file", "a\nb\n", 0, ""},
        {"a negative count empties it too", "a\nb\n", -3, ""},
        {"time stamps go with their entries", "#1\na\n#2\nb\n#3\nc\n", 2, "#2\nb\n#3\nc\n"},
        {"entries without stamps among stamped ones", "#1\na\nb\n#3\nc\n", 2, "b\n#3\nc\n"},
        {"the last line needs no line feed", "a\nb\nc", 1, "c"},
        {"backslashes and carriage returns are kept", "x\ny\\n\r\nz\\\n", 2, "y\\n\r\nz\\\n"},
    };
    TempDir tmp;
    std::string path = tmp.path("history");
    for (const Row &row : rows) {
        write_file(path, row.before);
        ASSERT_EQ(history_truncate_file(path.c_str(), row.keep), 0) << row.what;
        EXPECT_EQ(read_file(path), row.after) << row.what;
    }
    EXPECT_EQ(history_truncate_file(tmp.path("missing").c_str(), 1), ENOENT);
}

TEST_F(HistoryFile, OutOfMemoryIsReportedAndChangesNothing) {
    TempDir tmp;
    std::string path = tmp.path("history");
    write_file(path, "on disk 1\non disk 2\n");
    add_all({"in memory"});
    struct Op {
        const char *what;
        std::function<int()> run;
    } ops[] = {
        {"write_history", [&] { return write_history(path.c_str()); }},
        {"append_history", [&] { return append_history(1, path.c_str()); }},
        {"history_truncate_file", [&] { return history_truncate_file(path.c_str(), 1); }},
    };
    for (const Op &op : ops) {
        long n = 1;
        for (; n < 1000; ++n) {
            write_file(path, "on disk 1\non disk 2\n");
            kvr_alloc_countdown = n;
            int rc = op.run();
            bool fired = kvr_alloc_countdown == 0;
            kvr_alloc_countdown = -1;
            if (!fired) break;
            EXPECT_EQ(rc, ENOMEM) << op.what << " allocation " << n;
            EXPECT_EQ(read_file(path), "on disk 1\non disk 2\n") << op.what << " allocation " << n;
            EXPECT_EQ(tmp.names(), std::vector<std::string>{"history"}) << op.what;
        }
        EXPECT_GT(n, 1) << op.what << " allocates nothing";
    }
    // Reading: the entries read before the failure stay, and nothing else.
    write_file(path, "on disk 1\non disk 2\n");
    for (long n = 1; n < 1000; ++n) {
        reset();
        kvr_alloc_countdown = n;
        int rc = read_history(path.c_str());
        bool fired = kvr_alloc_countdown == 0;
        kvr_alloc_countdown = -1;
        if (!fired) {
            EXPECT_EQ(lines(), (std::vector<std::string>{"on disk 1", "on disk 2"}));
            break;
        }
        EXPECT_EQ(rc, ENOMEM) << "allocation " << n;
        EXPECT_LE(history_length, 1) << "allocation " << n;
    }
}

} // namespace
} // namespace rltest
