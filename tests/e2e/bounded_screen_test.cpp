// Bounded mode on a real pseudo-terminal: the size comes from the terminal
// itself, and what the user would see is read back through libvterm.
#include <gtest/gtest.h>

#include <termios.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "base/state.h"
#include "base/sys.h"
#include "bounded_term.h"
#include "fault.h"
#include "pty_session.h"
#include "render/internal.h"
#include "screen_batch.h"

namespace {

// The slave side passes bytes through unchanged, as a program in raw mode
// would have it.
void raw_output(const Pty &pty) {
    termios t{};
    ASSERT_EQ(tcgetattr(pty.slave(), &t), 0);
    cfmakeraw(&t);
    ASSERT_EQ(tcsetattr(pty.slave(), TCSANOW, &t), 0);
}

std::string goto_seq(int row, int col) {
    return "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(col + 1) + "H";
}

void write_slave(const Pty &pty, const std::string &s) {
    ASSERT_EQ(write(pty.slave(), s.data(), s.size()), static_cast<ssize_t>(s.size()));
}

struct BoundedPty : ::testing::Test {
    Pty pty{24, 80};
    kv_editor *ed = nullptr;
    void SetUp() override {
        raw_output(pty);
        ed = make_pty_editor(pty);
        ASSERT_NE(ed, nullptr);
    }
    ~BoundedPty() override { kv_destroy(ed); }

    // Draws the line and waits for its last write, the cursor placement.
    void draw(const char *line, int row, int col) {
        const size_t from = pty.log_size();
        set_line(ed, line);
        ASSERT_EQ(kv_render_apply(ed, "> "), 0);
        ASSERT_TRUE(pty.wait_for(goto_seq(row, col), 3000, from)) << pty.screen().dump();
        EXPECT_EQ(pty.screen().cursor_row(), row);
        EXPECT_EQ(pty.screen().cursor_col(), col);
    }
};

TEST_F(BoundedPty, WholeScreenEditorGrowsUpwardAndScrollsTheOutput) {
    std::string out = "\x1b[H";
    for (int r = 0; r < 23; ++r)
        out += (r ? "\r\n" : "") + std::string("output ") + std::to_string(r);
    write_slave(pty, out);
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);

    draw("hello", 23, 7);
    EXPECT_EQ(pty.screen().row(23), "> hello");
    EXPECT_EQ(pty.screen().row(22), "output 22");

    const std::string two = std::string(75, 'x') + " tail"; // "tail" wraps
    draw(two.c_str(), 23, 6);
    EXPECT_EQ(pty.screen().row(22), "> " + std::string(75, 'x'));
    EXPECT_EQ(pty.screen().row(23), "  tail");
    EXPECT_EQ(pty.screen().row(21), "output 22");
    EXPECT_EQ(pty.screen().row(0), "output 1") << "the top output row scrolled away";

    draw("bye", 23, 5);
    EXPECT_EQ(pty.screen().row(23), "> bye");
    EXPECT_EQ(pty.screen().row(22), "") << "blanked, not scrolled back";
    EXPECT_EQ(pty.screen().row(21), "output 22");
    EXPECT_EQ(pty.screen().row(0), "output 1");
}

// The same on either emulator: xterm.js is fed the pty's output as it comes,
// and both are resized with the pty, between the bytes before and after.
struct BoundedPtyOn : BoundedPty, ::testing::WithParamInterface<Emulator> {
    std::unique_ptr<LiveXterm> xterm;
    int term = -1;
    size_t sent = 0;
    void SetUp() override {
        BoundedPty::SetUp();
        if (GetParam() != Emulator::xterm_js || !emulator_missing(GetParam()).empty()) return;
        xterm = std::make_unique<LiveXterm>();
        term = xterm->open(24, 80);
    }
    void forward() {
        xterm->feed(term, std::string_view(pty.log()).substr(sent));
        sent = pty.log_size();
    }
    void resize(int rows, int cols) {
        pty.pump(0);
        if (xterm) {
            forward();
            xterm->resize(term, rows, cols);
        }
        pty.screen().resize(rows, cols);
        pty.resize(rows, cols);
    }
    Snapshot shown() {
        if (!xterm) return snapshot_of(pty.screen());
        forward();
        return xterm->snap(term);
    }
};

TEST_P(BoundedPtyOn, FollowsTheTerminalWhenItIsResized) {
    REQUIRE_EMULATOR(GetParam());
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    draw("abc", 23, 5);
    resize(20, 80);
    draw("abcd", 19, 6);
    // One box, on the bottom row.
    const Snapshot s = shown();
    EXPECT_EQ(s.dump(), std::string(19, '\n') + "> abcd");
    EXPECT_EQ(s.cursor_row, 19);
    EXPECT_EQ(s.cursor_col, 6);
    if (xterm) EXPECT_EQ(xterm->error(), "");
}

INSTANTIATE_TEST_SUITE_P(Emulators, BoundedPtyOn,
                         ::testing::Values(Emulator::libvterm, Emulator::xterm_js),
                         emulator_param_name);

TEST_F(BoundedPty, Column5WithAutomaticWidthPadsToTheScreenEdge) {
    write_slave(pty, "\x1b[24;1H" + std::string(80, '#') + "\x1b[24;1H12345");
    ASSERT_EQ(kv_set_bounds(ed, 5, 0, 0, 0), 0);
    draw("hi", 23, 9);
    EXPECT_EQ(pty.screen().row(23), "12345> hi");
    // A line of exactly 75 columns fills the row; the cursor moves to a
    // second row, indented under the prompt.
    draw(std::string(73, 'y').c_str(), 23, 7);
    EXPECT_EQ(pty.screen().row(22), "     > " + std::string(73, 'y'));
}

TEST_F(BoundedPty, FixedWidth40LeavesTheRestOfTheRowAlone) {
    write_slave(pty, "\x1b[24;1H" + std::string(80, '#'));
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 40, 0), 0);
    draw("hi", 23, 4);
    EXPECT_EQ(pty.screen().row(23), "> hi" + std::string(36, ' ') + std::string(40, '#'));
}

TEST(BoundedPtySize, FailingSizeQueryAssumes80By24) {
    Pty pty(30, 100);
    raw_output(pty);
    kv_editor *ed = make_pty_editor(pty);
    ASSERT_NE(ed, nullptr);
    SysGuard guard;
    kv_sys.winsize = [](int, struct winsize *) { return -1; };
    write_slave(pty, "\x1b[24;1H" + std::string(100, '#'));
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    set_line(ed, "q");
    ASSERT_EQ(kv_render_apply(ed, "> "), 0);
    ASSERT_TRUE(pty.wait_for(goto_seq(23, 3)));
    EXPECT_EQ(pty.screen().cursor_col(), 3);
    EXPECT_EQ(pty.screen().cursor_row(), 23);
    EXPECT_EQ(pty.screen().row(23), "> q" + std::string(77, ' ') + std::string(20, '#'));
    kv_destroy(ed);
}

} // namespace
