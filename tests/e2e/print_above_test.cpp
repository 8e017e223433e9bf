// Printing above the editor on a real pseudo-terminal, in normal mode and in
// bounded mode, with the active prompt set as a running readline call sets it.
#include <gtest/gtest.h>

#include <termios.h>
#include <unistd.h>

#include <string>

#include "base/state.h"
#include "bounded_term.h"
#include "pty_session.h"
#include "render/internal.h"

namespace {

struct PrintPty : ::testing::Test {
    Pty pty{12, 40};
    kv_editor *ed = nullptr;
    void SetUp() override {
        termios t{};
        ASSERT_EQ(tcgetattr(pty.slave(), &t), 0);
        cfmakeraw(&t);
        ASSERT_EQ(tcsetattr(pty.slave(), TCSANOW, &t), 0);
        ed = make_pty_editor(pty);
        ASSERT_NE(ed, nullptr);
        ed->state->flags.prompt = "$ ";
    }
    ~PrintPty() override { kv_destroy(ed); }

    void show(const char *line) {
        set_line(ed, line);
        ASSERT_EQ(kv_render_apply(ed, "$ "), 0);
    }
    int print(std::initializer_list<const char *> parts) {
        Chunks c;
        for (const char *p : parts)
            c.parts.emplace_back(p);
        return kv_print_above(ed, Chunks::produce, &c);
    }
    // Waits for the drawing's last write (from the log offset on), then for
    // the cursor to stand there.
    bool settled(size_t from, const std::string &last, int row, int col) {
        return pty.wait_for(last, 3000, from) && pty.screen().cursor_row() == row &&
               pty.screen().cursor_col() == col;
    }
};

TEST_F(PrintPty, NormalModeKeepsTheEditorBelowEveryLine) {
    // A two-row editor: 30 columns of words, then more.
    show("one two three four five six seven eight nine");
    ASSERT_TRUE(settled(0, "\x1b[12C", 1, 12)) << pty.screen().dump();
    const size_t from = pty.log_size();
    ASSERT_EQ(print({"first line\n", "second\nthird\n"}), 0);
    ASSERT_TRUE(settled(from, "\x1b[12C", 4, 12)) << pty.screen().dump();
    EXPECT_EQ(pty.screen().row(0), "first line");
    EXPECT_EQ(pty.screen().row(1), "second");
    EXPECT_EQ(pty.screen().row(2), "third");
    EXPECT_EQ(pty.screen().row(3), "$ one two three four five six seven");
    EXPECT_EQ(pty.screen().row(4), "  eight nine");
}

TEST_F(PrintPty, BoundedModeScrollsTheOutputAreaAndLeavesTheEditor) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    show("one two three four five six seven eight nine");
    ASSERT_TRUE(settled(0, "\x1b[12;13H", 11, 12)) << pty.screen().dump();
    size_t from = 0;
    for (int i = 0; i < 14; ++i) {
        const std::string line = "message " + std::to_string(i) + "\n";
        from = pty.log_size();
        ASSERT_EQ(print({line.c_str()}), 0) << i;
        pty.pump(0);
    }
    ASSERT_TRUE(settled(from, "\x1b[12;13H", 11, 12)) << pty.screen().dump();
    // Ten output rows: messages 5..13 and the empty row left by the last
    // line feed.
    for (int r = 0; r < 9; ++r)
        EXPECT_EQ(pty.screen().row(r), "message " + std::to_string(r + 5));
    EXPECT_EQ(pty.screen().row(9), "");
    EXPECT_EQ(pty.screen().row(10), "$ one two three four five six seven");
    EXPECT_EQ(pty.screen().row(11), "  eight nine");

    // The editor keeps working by difference below the output.
    from = pty.log_size();
    show("one two three four five six seven eight");
    ASSERT_TRUE(settled(from, "\x1b[12;8H", 11, 7)) << pty.screen().dump();
    EXPECT_EQ(pty.screen().row(11), "  eight");
    EXPECT_EQ(pty.screen().row(8), "message 13");
}

} // namespace
