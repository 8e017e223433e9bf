// bc 1.07 built from its own sources against the readline layer, driven on
// a pseudo-terminal and read through libvterm.
#include <memory>

#include "program_shell.h"

namespace {

std::unique_ptr<ProgramRun> start_bc(const TempHome &home) {
    std::string exe = (std::filesystem::path(KAVRIK_PROGRAMS_DIR) / "bc").string();
    return std::make_unique<ProgramRun>(
        "/usr/bin/env", std::vector<std::string>{"ASAN_OPTIONS=detect_leaks=0", exe, "-q"}, home);
}

TEST(Bc, CalculatesRecallsEditsDefinesAndQuits) {
    REQUIRE_PROGRAM(KAVRIK_PROGRAMS_DIR, "bc");
    TempHome home;
    auto bc = start_bc(home);
    // bc's prompt is empty, so a blank line does not show that bc waits in
    // readline: keys typed before it does are echoed by the terminal's own
    // mode.  The process is watched instead.
    auto ready = [&] { return at_line(*bc, "") && bc->waits_for_input(); };
    ASSERT_TRUE(ready());
    bc->type("6*7\r");
    ASSERT_TRUE(bc->screen_has("6*7\n42\n")) << bc->screen().dump();
    ASSERT_TRUE(ready());
    // Up recalls the line; Backspace and a new digit edit it.
    bc->type("\x1b[A");
    ASSERT_TRUE(at_line(*bc, "6*7")) << bc->screen().dump();
    bc->type("\x7f"
             "8\r");
    ASSERT_TRUE(bc->screen_has("6*8\n48\n")) << bc->screen().dump();
    ASSERT_TRUE(ready());
    bc->type("scale=3; 1/3\r");
    ASSERT_TRUE(bc->screen_has("scale=3; 1/3\n.333\n")) << bc->screen().dump();
    ASSERT_TRUE(ready());
    // A function defined over three lines.
    for (const char *line : {"define twice(x) {\r", "  return (x*2)\r", "}\r"}) {
        bc->type(line);
        ASSERT_TRUE(ready()) << bc->screen().dump();
    }
    bc->type("twice(21)\r");
    ASSERT_TRUE(bc->screen_has("twice(21)\n42\n")) << bc->screen().dump();
    ASSERT_TRUE(ready());
    // Ctrl-C: bc's own message, and a fresh line that still works.
    bc->type("1+");
    ASSERT_TRUE(at_line(*bc, "1+"));
    bc->type("\x03");
    ASSERT_TRUE(bc->screen_has("(interrupt) use quit to exit.")) << bc->screen().dump();
    ASSERT_TRUE(ready()) << bc->screen().dump();
    bc->type("2^10\r");
    ASSERT_TRUE(bc->screen_has("2^10\n1024\n")) << bc->screen().dump();
    ASSERT_TRUE(ready());
    bc->type("quit\r");
    EXPECT_EQ(bc->wait_exit(), 0);
}

} // namespace
