// Undo and redo in the demo shell, through the companion it attaches: a pause
// splits typing into steps, a kill is a step of its own, and redo walks
// forward again.
#include <gtest/gtest.h>

#include <string>

#include "program_pty.h"
#include "vt_screen.h"

namespace {

TEST(DemoUndo, UndoAndRedoWalkTheStepsOfALine) {
    const std::filesystem::path demo_path = example_path("kavrik-demo");
    ASSERT_TRUE(std::filesystem::exists(demo_path)) << demo_path << " is not built";
    TempHome home;
    ProgramRun demo(demo_path, {}, home);
    ASSERT_TRUE(demo.screen_has("kavrik>"));
    auto shows = [&](const std::string &line) {
        return demo.pump_until([&] {
            for (int r = 0; r < demo.screen().rows(); ++r)
                if (demo.screen().row(r) == "kavrik> " + line) return true;
            return false;
        });
    };
    // The editor reads a NUL byte as an idle tick: the pause after "hello".
    demo.type("hello");
    ASSERT_TRUE(shows("hello"));
    demo.type(std::string(1, '\0') + " world");
    ASSERT_TRUE(shows("hello world"));
    demo.type("\x1f");  // Ctrl-_
    EXPECT_TRUE(shows("hello")) << demo.screen().dump();
    demo.type("\x1e");  // Ctrl-^
    EXPECT_TRUE(shows("hello world")) << demo.screen().dump();
    demo.type("\x15" "abc def\x17");  // Ctrl-U, then Ctrl-W kills "def"
    ASSERT_TRUE(shows("abc"));
    demo.type("\x1f");
    EXPECT_TRUE(shows("abc def")) << demo.screen().dump();
    demo.type("\x1e");
    EXPECT_TRUE(shows("abc")) << demo.screen().dump();
    demo.type("\x15quit\r");
    EXPECT_EQ(demo.wait_exit(), 0);
}

} // namespace
