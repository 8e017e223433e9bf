// The demo shell run as a program on a pseudo-terminal: a round trip through
// its built-ins, Tab completion, the history file in $HOME, the bounded
// layout, and plain echo when its input is a pipe.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "program_pty.h"
#include "vt_screen.h"

namespace {

namespace fs = std::filesystem;

fs::path demo_path() { return example_path("kavrik-demo"); }

std::string demo_history(const TempHome &home) { return home.read(".kavrik_demo_history"); }

// The demo on its own pty, with HOME pointing at a temporary directory.
class DemoRun : public ProgramRun {
public:
    // as_uid: run the program as that user (the test runs as root).
    DemoRun(const TempHome &home, bool bounded, int rows = 24, int cols = 80,
            uid_t as_uid = static_cast<uid_t>(-1))
        : ProgramRun(demo_path(), bounded ? std::vector<std::string>{"--bounded"} : std::vector<std::string>{},
                     home, rows, cols, as_uid) {}
};

TEST(Demo, ARoundTripThroughItsBuiltinsAndHistory) {
    ASSERT_TRUE(fs::exists(demo_path())) << demo_path() << " is not built";
    TempHome home;
    {
        DemoRun demo(home, false);
        ASSERT_TRUE(demo.started());
        ASSERT_TRUE(demo.screen_has("kavrik>"));
        // The prompt is coloured.
        EXPECT_NE(demo.log().find("\x1b[1;32mkavrik\x1b[0m> "), std::string::npos);
        demo.type("hello there\r");
        ASSERT_TRUE(demo.screen_has("echo: hello there"));
        demo.type("he\t");  // Tab completes "help", and a space follows
        ASSERT_TRUE(demo.screen_has("kavrik> help"));
        demo.type("\r");
        ASSERT_TRUE(demo.screen_has("built-in commands:"));
        demo.type("h\t\t");  // two candidates: the second Tab lists them above the prompt
        ASSERT_TRUE(demo.screen_has("help     history"));
        size_t from = demo.log().size();
        demo.type("istory\r");
        ASSERT_TRUE(demo.screen_has("   2  help"));
        // Go on once the next call has the terminal (bracketed paste is on
        // again): letters typed while the listing is printed would be echoed
        // by the terminal itself, in the middle of it, and stay there.
        ASSERT_TRUE(demo.pump_until([&] {
            size_t at = demo.log().find("   3  history", from);
            return at != std::string::npos && demo.log().find("\x1b[?2004h", at) != std::string::npos;
        }));
        // Ctrl-C abandons the line; the shell goes on with a fresh prompt.
        demo.type("abandoned");
        ASSERT_TRUE(demo.screen_has("kavrik> abandoned"));
        demo.type("\x03");
        ASSERT_TRUE(demo.pump_until([&] {
            return demo.screen().dump().find("abandoned") == std::string::npos;
        }));
        demo.type("quit\r");
        EXPECT_EQ(demo.wait_exit(), 0);
    }
    EXPECT_EQ(demo_history(home), "hello there\nhelp\nhistory\nquit\n");
    // A second run loads the history: Up recalls the last line.
    DemoRun again(home, false);
    ASSERT_TRUE(again.screen_has("kavrik>"));
    again.type("\x1b[A\x1b[A");
    ASSERT_TRUE(again.screen_has("kavrik> history"));
    again.type("\x15quit\r");
    EXPECT_EQ(again.wait_exit(), 0);
}

TEST(Demo, TheClockPrintsAboveThePromptWhileTyping) {
    ASSERT_TRUE(fs::exists(demo_path())) << demo_path() << " is not built";
    TempHome home;
    DemoRun demo(home, false);
    ASSERT_TRUE(demo.screen_has("kavrik>"));
    demo.type("clock\r");
    demo.type("abc");
    ASSERT_TRUE(demo.screen_has("clock: "));
    ASSERT_TRUE(demo.screen_has("kavrik> abc"));
    // The editor stays below the clock lines.
    int clock_row = -1, prompt_row = -1;
    for (int r = 0; r < demo.screen().rows(); ++r) {
        if (demo.screen().row(r).rfind("clock: ", 0) == 0) clock_row = r;
        if (demo.screen().row(r) == "kavrik> abc") prompt_row = r;
    }
    EXPECT_GE(clock_row, 0);
    EXPECT_GT(prompt_row, clock_row);
    demo.type("\x04\x15\x04");  // Ctrl-D on the emptied line leaves
    EXPECT_EQ(demo.wait_exit(), 0);
}

TEST(Demo, BoundedKeepsTheEditorOnTheBottomRow) {
    ASSERT_TRUE(fs::exists(demo_path())) << demo_path() << " is not built";
    TempHome home;
    DemoRun demo(home, true, 12, 60);
    ASSERT_TRUE(demo.pump_until([&] { return demo.screen().row(11) == "kavrik>"; }));
    demo.type("first\r");
    ASSERT_TRUE(demo.screen_has("echo: first"));
    ASSERT_TRUE(demo.pump_until([&] { return demo.screen().row(11) == "kavrik>"; }));
    demo.type("help\r");
    ASSERT_TRUE(demo.screen_has("built-in commands:"));
    ASSERT_TRUE(demo.pump_until([&] { return demo.screen().row(11) == "kavrik>"; }));
    EXPECT_EQ(demo.screen().row(9), "anything else is echoed back") << demo.screen().dump();
    demo.type("quit\r");
    EXPECT_EQ(demo.wait_exit(), 0);
}

// A long line is echoed whole, not cut at some buffer size.
TEST(Demo, ALongLineIsEchoedWhole) {
    ASSERT_TRUE(fs::exists(demo_path())) << demo_path() << " is not built";
    TempHome home;
    DemoRun demo(home, false);
    ASSERT_TRUE(demo.screen_has("kavrik>"));
    const std::string line(1500, 'w');
    size_t from = demo.log().size();
    demo.type(line + "\r");
    EXPECT_TRUE(demo.pump_until(
        [&] { return demo.log().find("echo: " + line + "\r\n", from) != std::string::npos; }))
        << "the echo was cut short";
    demo.type("quit\r");
    EXPECT_EQ(demo.wait_exit(), 0);
}

// The history listing shows a long entry as one entry, even when its file
// form (each backslash doubled) is longer than a line may be.
TEST(Demo, TheHistoryListingKeepsALongEntryWhole) {
    ASSERT_TRUE(fs::exists(demo_path())) << demo_path() << " is not built";
    TempHome home;
    DemoRun demo(home, false);
    ASSERT_TRUE(demo.screen_has("kavrik>"));
    const std::string entry(2100, '\\');
    demo.type(entry + "\r");
    ASSERT_TRUE(demo.pump_until([&] { return demo.log().find("echo: " + entry) != std::string::npos; }));
    size_t from = demo.log().size();
    demo.type("history\r");
    ASSERT_TRUE(demo.pump_until([&] { return demo.log().find("   2  history", from) != std::string::npos; }));
    EXPECT_NE(demo.log().find("   1  " + entry + "\r\n   2  history", from), std::string::npos)
        << demo.log().substr(from);
    demo.type("quit\r");
    EXPECT_EQ(demo.wait_exit(), 0);
}

// A history file that exists but cannot be read is reported, and left as it
// is: the shell must not replace it with the few lines of this session.  (A
// missing file, the first run, is no error; the round trip above covers it.)
TEST(Demo, AnUnreadableHistoryFileIsReportedAndKept) {
    ASSERT_TRUE(fs::exists(demo_path())) << demo_path() << " is not built";
    TempHome home;
    const fs::path file = home.dir / ".kavrik_demo_history";
    const std::string old_lines = "kept one\nkept two\n";
    std::ofstream(file) << old_lines;
    // Root reads every file: then the shell runs as another user, who may
    // write in the directory but not read root's file.
    uid_t as_uid = static_cast<uid_t>(-1);
    if (geteuid() == 0) {
        as_uid = 65534;
        fs::permissions(home.dir, fs::perms::all);
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    } else {
        fs::permissions(file, fs::perms::none);
    }
    {
        DemoRun demo(home, false, 24, 80, as_uid);
        ASSERT_TRUE(demo.screen_has("kavrik>"));
        EXPECT_NE(demo.log().find("kavrik-demo: cannot load history"), std::string::npos)
            << demo.log();
        demo.type("hello\r");
        ASSERT_TRUE(demo.screen_has("echo: hello"));
        demo.type("quit\r");
        EXPECT_EQ(demo.wait_exit(), 0);
    }
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(demo_history(home), old_lines);
}

// A history that cannot be saved (the home directory is missing) is said
// once, not after every line, and the shell goes on.
TEST(Demo, AFailedSaveIsReportedOnce) {
    ASSERT_TRUE(fs::exists(demo_path())) << demo_path() << " is not built";
    TempHome home;
    const fs::path base = home.dir;
    home.dir /= "missing";  // HOME names a directory that is not there
    DemoRun demo(home, false);
    home.dir = base;
    ASSERT_TRUE(demo.screen_has("kavrik>"));
    demo.type("one\r");
    ASSERT_TRUE(demo.screen_has("echo: one"));
    demo.type("two\r");
    ASSERT_TRUE(demo.screen_has("echo: two"));
    demo.type("quit\r");
    EXPECT_EQ(demo.wait_exit(), 0);
    const std::string said = "kavrik-demo: cannot save history";
    size_t first = demo.log().find(said);
    EXPECT_NE(first, std::string::npos) << demo.log();
    EXPECT_EQ(demo.log().find(said, first + 1), std::string::npos);
}

// A readline call that fails ends the shell with its message and a failing
// exit status: a search query longer than a line may be is such a failure.
TEST(Demo, AFailedReadlineCallIsAFailingExit) {
    ASSERT_TRUE(fs::exists(demo_path())) << demo_path() << " is not built";
    TempHome home;
    DemoRun demo(home, false);
    ASSERT_TRUE(demo.screen_has("kavrik>"));
    demo.type("\x12" + std::string(4097, 'q'));
    EXPECT_EQ(demo.wait_exit(20000), 1);
    EXPECT_NE(demo.log().find("kavrik-demo: failed to update reverse history search"),
              std::string::npos);
}

TEST(Demo, PipedInputIsEchoed) {
    ASSERT_TRUE(fs::exists(demo_path())) << demo_path() << " is not built";
    TempHome home;
    std::string cmd = "printf 'one\\r\\ntwo\\nhelp\\n' | HOME=" + home.dir.string() + " " +
                      demo_path().string();
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0);
    EXPECT_EQ(out, "one\ntwo\nhelp\n");
    EXPECT_FALSE(fs::exists(home.dir / ".kavrik_demo_history"));
}

// Input that cannot be read (here a directory) ends the echo with the
// library's message and a failing exit status.
TEST(Demo, UnreadableInputIsReported) {
    ASSERT_TRUE(fs::exists(demo_path())) << demo_path() << " is not built";
    TempHome home;
    std::string cmd = "HOME=" + home.dir.string() + " " + demo_path().string() + " < " +
                      home.dir.string() + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = pclose(p);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(out, "kavrik-demo: failed to read input\n");
}

} // namespace

// The companion in the demo: file names complete (a directory with '/'),
// the second Tab lists them, and what Ctrl-W cut comes back with Ctrl-Y.
TEST(Demo, CompletesFileNamesAndYanksWhatWasCut) {
    ASSERT_TRUE(fs::exists(demo_path())) << demo_path() << " is not built";
    TempHome home;
    std::ofstream(home.dir / "alpha.txt") << "a";
    fs::create_directory(home.dir / "alps");
    DemoRun demo(home, false);
    ASSERT_TRUE(demo.screen_has("kavrik>"));
    const std::string dir = home.dir.string() + "/";
    demo.type("cat " + dir + "alps\t");
    ASSERT_TRUE(demo.screen_has("kavrik> cat " + dir + "alps/"));
    demo.type("\x17\x17" "x \x19\r");  // cut the path and the command, paste them after x
    ASSERT_TRUE(demo.screen_has("echo: x cat " + dir + "alps/"));
    demo.type("cat " + dir + "al\t\t");
    ASSERT_TRUE(demo.screen_has(dir + "alpha.txt  " + dir + "alps/"));
    demo.type("\x15quit\r");
    EXPECT_EQ(demo.wait_exit(), 0);
}
