// Edge cases of the linenoise interface: history files that are empty or
// hold a line longer than the editor takes, a hint wider than the row, and
// the mask over wide and combining characters, drawn on a pseudo-terminal.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/state.h"
#include "call_harness.h"
#include "history/history.h"
#include "ln.h"
#include "program_pty.h"
#include "render/render.h"

namespace {

namespace fs = std::filesystem;

void write_file(const fs::path &p, const std::string &bytes) {
    std::ofstream f(p, std::ios::binary);
    f << bytes;
}

// A file loaded and saved again: what the save wrote, and the newest entry
// Up shows (the editor's list, filled from the layer's).
struct HistoryCase {
    const char *name;
    std::string file, saved, newest_reachable;
};

TEST(LinenoiseEdges, HistoryFilesComeBackByteForByte) {
    const std::string huge(size_t{1} << 20 | 1, 'x'); // longer than the editor's line limit
    const HistoryCase cases[] = {
        {"empty file", "", "", ""},
        {"over-long line kept whole", "first\n" + huge + "\nlast\n", "first\n" + huge + "\nlast\n",
         "last"},
        {"over-long line newest", "first\n" + huge + "\n", "first\n" + huge + "\n", "first"},
        {"backslashes and empty lines as typed", "a\\nb\n\nc\\\\\n", "a\\nb\n\nc\\\\\n", "c\\\\"},
        {"CR LF and a missing last line feed", "one\r\ntwo", "one\ntwo\n", "two"},
    };
    for (const HistoryCase &c : cases) {
        SCOPED_TRACE(c.name);
        kvl_history_clear();
        TempHome home;
        fs::path file = home.dir / "history";
        write_file(file, c.file);
        ASSERT_EQ(chmod(file.c_str(), 0644), 0);
        ASSERT_EQ(linenoiseHistoryLoad(file.c_str()), 0);
        ASSERT_EQ(linenoiseHistorySave(file.c_str()), 0);
        EXPECT_EQ(home.read("history"), c.saved);
        struct stat st {};
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);

        kv_editor *ed = kvl_editor(0, 1);
        ASSERT_NE(ed, nullptr);
        kvl_history_sync(ed);
        kv_history_nav(ed, -1);
        EXPECT_EQ(kv_buffer(ed), c.newest_reachable);
    }
    kvl_history_clear();
    EXPECT_EQ(linenoiseHistoryLoad("/nonexistent/history"), -1);
}

// Each allocation of a load and an add failing in turn: the call reports
// it, and a save afterwards writes whole entries of what came in.
TEST(LinenoiseEdges, AllocationFailuresAreReported) {
    TempHome home;
    const std::string full = "one\ntwo\nthree\n";
    fs::path file = home.dir / "history";
    for (long n = 1; n < 10; ++n) {
        SCOPED_TRACE(n);
        kvl_history_clear();
        write_file(file, full);
        kvl_alloc_countdown = n;
        const int loaded = linenoiseHistoryLoad(file.c_str());
        const int load_errno = errno;
        const std::string tail = linenoiseHistoryAdd("four") == 1 ? "four\n" : "";
        kvl_alloc_countdown = -1;
        EXPECT_TRUE(loaded == 0 || load_errno == ENOMEM);
        ASSERT_EQ(linenoiseHistorySave(file.c_str()), 0);
        bool whole = false;
        for (std::string got :
             {std::string(), std::string("one\n"), std::string("one\ntwo\n"), full})
            whole = whole || (home.read("history") == got + tail && (loaded != 0 || got == full));
        EXPECT_TRUE(whole) << home.read("history");
    }
}

// What the hint source gives.
struct Hint {
    std::string text;
    int color;
    int bold;
};

void give_hint(void *user, const char *, size_t, kv_hint *out) {
    auto *h = static_cast<const Hint *>(user);
    *out = kv_hint{h->text.data(), h->text.size(), h->color, h->bold};
}

// One call on a terminal of `cols` columns: keys typed, then the screen's
// first two rows and the cursor's column while the line is open, and the
// rows once it is submitted.
struct DrawCase {
    const char *name;
    int cols;
    bool mask;
    Hint hint;
    std::string keys;
    std::string row0, row1;
    int cursor_col;
    std::string done0, done1;
    std::string never_written; // bytes that must not reach the terminal
};

TEST(LinenoiseEdges, HintsAndMaskOnTheScreen) {
    const DrawCase cases[] = {
        {"hint wider than the row is cut at its end",
         20,
         false,
         {"0123456789abcdefghijklmnop", -1, 0},
         "ab",
         "> ab0123456789abcdef",
         "",
         4,
         "> ab",
         "",
         "ghij"},
        {"hint after a wrapped line, in its colour",
         10,
         false,
         {"xyz", 35, 1},
         "abcd efgh",
         "> abcd",
         "  efghxyz",
         6,
         "> abcd",
         "  efgh",
         ""},
        {"a wide hint is not split",
         10,
         false,
         {"\xe6\x97\xa5", -1, 0},
         "abcdefg",
         "> abcdefg",
         "",
         9,
         "> abcdefg",
         "",
         ""},
        {"mask: one star per cluster, wide and combining included; no search",
         20,
         true,
         {"", -1, 0},
         "\x12\xe6\x97\xa5\xe6\x9c\xac"
         "ae\xcc\x81",
         "> ****",
         "",
         6,
         "> ****",
         "",
         "\xe6\x97\xa5"},
        {"mask: a long secret wraps by cells, spaces hidden",
         10,
         true,
         {"", -1, 0},
         "ab cd ef gh",
         "> ********",
         "  ***",
         5,
         "> ********",
         "  ***",
         "cd"},
    };
    for (const DrawCase &c : cases) {
        SCOPED_TRACE(c.name);
        Pty pty(6, c.cols);
        kv_editor *ed = make_pty_editor(pty);
        ASSERT_NE(ed, nullptr);
        kv_render_set_mask(kv_state_of(ed), c.mask);
        if (!c.hint.text.empty())
            kv_render_set_hints(kv_state_of(ed), give_hint, nullptr, const_cast<Hint *>(&c.hint));
        size_t from = 0;
        auto call = start_call(pty, ed, "> ", &from);
        pty.type(c.keys);
        EXPECT_TRUE(pty.pump_until([&] {
            return pty.screen().row(0) == c.row0 && pty.screen().row(1) == c.row1 &&
                   pty.screen().cursor_col() == c.cursor_col;
        })) << pty.screen().dump();
        if (c.hint.color > 0) EXPECT_NE(pty.log().find("\x1b[1;35;49m", from), std::string::npos);
        pty.type("\r");
        ASSERT_TRUE(call->join());
        std::string typed = c.keys;
        std::erase(typed, '\x12'); // Ctrl-R
        EXPECT_EQ(call->line(), typed);
        ASSERT_TRUE(pty.wait_for("\x1b[?2004l", 3000, from));
        EXPECT_EQ(pty.screen().row(0), c.done0);
        EXPECT_EQ(pty.screen().row(1), c.done1);
        if (!c.never_written.empty())
            EXPECT_EQ(pty.log().find(c.never_written, from), std::string::npos);
        kv_destroy(ed);
    }
}

} // namespace
