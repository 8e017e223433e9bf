// A program with its own event loop on the readline interface: Ctrl-C is the
// terminal's own interrupt there, and reaches the program in its select.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_pty.h"

namespace {

bool log_has(ProgramRun &p, const std::string &text, size_t from = 0) {
    return p.pump_until([&] { return p.log().find(text, from) != std::string::npos; });
}

TEST(ReadlineLoop, CtrlCInterruptsTheWaitAndTheLineIsDropped) {
    TempHome home;
    ProgramRun p(KAVRIK_READLINE_LOOP_PROG, {}, home);
    ASSERT_TRUE(p.pump_until([&] { return p.screen().row(0) == ">"; }));
    p.type("abc");
    ASSERT_TRUE(p.pump_until([&] { return p.screen().row(0) == "> abc"; }));
    ASSERT_TRUE(p.waits_for_input());
    p.type("\x03");
    ASSERT_TRUE(log_has(p, "interrupted"));
    size_t from = p.log().size();
    p.type("x\r");
    ASSERT_TRUE(log_has(p, "got[x]", from)) << p.screen().dump();
    // The next line has the terminal once bracketed paste is on again.
    ASSERT_TRUE(log_has(p, "\x1b[?2004h", p.log().find("got[x]")));
    p.type("\x04");
    // One SIGINT in all: the editor raised none of its own.
    ASSERT_TRUE(log_has(p, "end interrupts=1"));
    EXPECT_EQ(p.log().find("got[abc]"), std::string::npos);
    EXPECT_EQ(p.wait_exit(), 0);
}

} // namespace
