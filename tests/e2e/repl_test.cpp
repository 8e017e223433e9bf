// The C++ example shell run as a program on a pseudo-terminal: Tab
// completion through the companion, a key bound to a C++ callable, text
// printed above the prompt by the idle callable, and the history file.
#include <gtest/gtest.h>

#include <string>

#include "program_pty.h"

namespace {

std::filesystem::path repl_path() { return example_path("kavrik-repl"); }

// The row of the screen that is exactly text, or -1.
int row_of(VtScreen &screen, const std::string &text) {
    for (int r = 0; r < screen.rows(); ++r)
        if (screen.row(r) == text) return r;
    return -1;
}

TEST(Repl, ARoundTripThroughCompletionKeysIdleAndHistory) {
    KAVRIK_NEED_EXAMPLE(repl_path());
    TempHome home;
    {
        ProgramRun repl(repl_path(), {}, home);
        ASSERT_TRUE(repl.started());
        ASSERT_TRUE(repl.screen_has("repl>"));
        // Tab completes the only command starting with "he", and a space.
        repl.type("he\t");
        ASSERT_TRUE(repl.screen_has("repl> help"));
        EXPECT_TRUE(repl.pump_until([&] { return repl.screen().cursor_col() == 11; }));
        ASSERT_TRUE(repl.enter_and_wait_for_next_call());
        ASSERT_TRUE(repl.screen_has("commands: help, later TEXT, quit"));
        // F1 is bound to a callable that prints the help above the prompt.
        repl.type("ab\x1bOP");
        ASSERT_TRUE(repl.pump_until([&] {
            std::string s = repl.screen().dump();
            size_t first = s.find("commands:");
            return first != std::string::npos &&
                   s.find("commands:", first + 1) != std::string::npos;
        }));
        ASSERT_TRUE(repl.screen_has("repl> ab"));
        repl.type("\x15"); // Ctrl-U: the line is empty again
        // "later" hands text to the idle callable, which prints it above the
        // next prompt while that prompt waits.
        repl.type("later from idle");
        ASSERT_TRUE(repl.enter_and_wait_for_next_call());
        // The text is written first, then the prompt is drawn again below it.
        ASSERT_TRUE(repl.pump_until([&] {
            int r = row_of(repl.screen(), "from idle");
            return r > 0 && repl.screen().row(r + 1) == "repl>";
        })) << repl.screen().dump();
        int text_row = row_of(repl.screen(), "from idle");
        EXPECT_EQ(repl.screen().row(text_row - 1), "repl> later from idle");
        // A plain line is echoed.
        repl.type("hello");
        ASSERT_TRUE(repl.enter_and_wait_for_next_call());
        ASSERT_TRUE(repl.screen_has("echo: hello"));
        repl.type("qu\t\r");
        EXPECT_EQ(repl.wait_exit(), 0);
    }
    EXPECT_EQ(home.read(".kavrik_repl_history"), "help\nlater from idle\nhello\nquit\n");
    // A second run loads the history: Up recalls the last lines.
    ProgramRun again(repl_path(), {}, home);
    ASSERT_TRUE(again.screen_has("repl>"));
    again.type("\x1b[A\x1b[A");
    ASSERT_TRUE(again.screen_has("repl> hello"));
    again.type("\x15\x04"); // an empty line and Ctrl-D: end of input
    EXPECT_EQ(again.wait_exit(), 0);
}

} // namespace
