// The multiplexed interface in a select loop (examples/linenoise_async.c):
// messages printed above the open line while it is typed, then the line.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "program_pty.h"

namespace {

TEST(LinenoiseAsync, MessagesGoAboveTheOpenLineThenTheLineComesBack) {
    TempHome home;
    ProgramRun run(example_path("kavrik-linenoise-async"), {}, home);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.screen_has("async>")) << run.screen().dump();
    run.type("hel");
    // A message lands above the line; the line is whole below it, cursor
    // at its end, while more messages come.
    ASSERT_TRUE(run.pump_until([&] {
        VtScreen &s = run.screen();
        int r = s.cursor_row();
        return r >= 2 && s.row(r - 1).rfind("tick ", 0) == 0 && s.row(r) == "async> hel" &&
               s.cursor_col() == 10;
    })) << run.screen().dump();
    run.type("lo\x1b[D\x1b[C!\r");
    ASSERT_TRUE(run.screen_has("got: hello!")) << run.screen().dump();
    EXPECT_EQ(run.wait_exit(), 0);
    // The submitted line stands whole on its row, the messages above it.
    const std::string screen = run.screen().dump();
    EXPECT_NE(screen.find("\nasync> hello!\n"), std::string::npos) << screen;
}

// Ctrl-D on an empty line and Ctrl-C end it without a line; errno tells
// which (ENOENT, EAGAIN).
TEST(LinenoiseAsync, CtrlDAndCtrlCEndWithoutALine) {
    for (std::string key : {"\x04", "x\x03"}) {
        TempHome home;
        ProgramRun run(example_path("kavrik-linenoise-async"), {}, home);
        ASSERT_TRUE(run.screen_has("async>")) << run.screen().dump();
        run.type(key);
        EXPECT_EQ(run.wait_exit(), 0);
        const std::string screen = run.screen().dump();
        EXPECT_EQ(screen.find("got:"), std::string::npos);
        EXPECT_EQ(screen.find("interrupted") != std::string::npos, key.back() == '\x03') << screen;
    }
}

} // namespace
