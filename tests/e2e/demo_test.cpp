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
#include <termios.h>
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
    // output_fails: the program's standard output is /dev/full, where every
    // write fails.
    DemoRun(const TempHome &home, bool bounded, int rows = 24, int cols = 80,
            bool output_fails = false)
        : ProgramRun(demo_path(),
                     bounded ? std::vector<std::string>{"--bounded"} : std::vector<std::string>{},
                     home, rows, cols, output_fails) {}
};

TEST(Demo, ARoundTripThroughItsBuiltinsAndHistory) {
    KAVRIK_NEED_EXAMPLE(demo_path());
    TempHome home;
    {
        DemoRun demo(home, false);
        ASSERT_TRUE(demo.started());
        ASSERT_TRUE(demo.screen_has("kavrik>"));
        // The prompt is coloured.
        EXPECT_NE(demo.log().find("\x1b[1;32mkavrik\x1b[0m> "), std::string::npos);
        demo.type("hello there\r");
        ASSERT_TRUE(demo.screen_has("echo: hello there"));
        demo.type("he\t"); // Tab completes "help", and a space follows
        ASSERT_TRUE(demo.screen_has("kavrik> help"));
        demo.type("\r");
        ASSERT_TRUE(demo.screen_has("built-in commands:"));
        demo.type("h\t\t"); // two candidates: the second Tab lists them above the prompt
        ASSERT_TRUE(demo.screen_has("help     history"));
        size_t from = demo.log().size();
        demo.type("istory\r");
        ASSERT_TRUE(demo.screen_has("   2  help"));
        // Go on once the next call has the terminal (bracketed paste is on
        // again): letters typed while the listing is printed would be echoed
        // by the terminal itself, in the middle of it, and stay there.
        ASSERT_TRUE(demo.pump_until([&] {
            size_t at = demo.log().find("   3  history", from);
            return at != std::string::npos &&
                   demo.log().find("\x1b[?2004h", at) != std::string::npos;
        }));
        // Ctrl-C abandons the line; the shell goes on with a fresh prompt.
        demo.type("abandoned");
        ASSERT_TRUE(demo.screen_has("kavrik> abandoned"));
        demo.type("\x03");
        ASSERT_TRUE(demo.pump_until(
            [&] { return demo.screen().dump().find("abandoned") == std::string::npos; }));
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
    KAVRIK_NEED_EXAMPLE(demo_path());
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
    demo.type("\x04\x15\x04"); // Ctrl-D on the emptied line leaves
    EXPECT_EQ(demo.wait_exit(), 0);
}

TEST(Demo, BoundedKeepsTheEditorOnTheBottomRow) {
    KAVRIK_NEED_EXAMPLE(demo_path());
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
    KAVRIK_NEED_EXAMPLE(demo_path());
    TempHome home;
    DemoRun demo(home, false);
    ASSERT_TRUE(demo.screen_has("kavrik>"));
    const std::string line(1500, 'w');
    size_t from = demo.log().size();
    demo.type(line + "\r");
    EXPECT_TRUE(demo.pump_until([&] {
        return demo.log().find("echo: " + line + "\r\n", from) != std::string::npos;
    })) << "the echo was cut short";
    demo.type("quit\r");
    EXPECT_EQ(demo.wait_exit(), 0);
}

// The history listing shows a long entry as one entry: one whose file form
// (each backslash doubled) is longer than the line, and one longer than any
// fixed read buffer of the listing.
TEST(Demo, TheHistoryListingKeepsALongEntryWhole) {
    KAVRIK_NEED_EXAMPLE(demo_path());
    for (const std::string &entry : {std::string(2100, '\\'), std::string(10003, 'x')}) {
        SCOPED_TRACE(entry.size());
        TempHome home;
        DemoRun demo(home, false);
        ASSERT_TRUE(demo.screen_has("kavrik>"));
        demo.type("\x1b[200~" + entry + "\x1b[201~\r");
        ASSERT_TRUE(demo.pump_until(
            [&] { return demo.log().find("echo: " + entry) != std::string::npos; }));
        size_t from = demo.log().size();
        demo.type("history\r");
        ASSERT_TRUE(demo.pump_until(
            [&] { return demo.log().find("  history\r\n", from) != std::string::npos; }));
        EXPECT_NE(demo.log().find("   1  " + entry + "\r\n   2  history", from), std::string::npos)
            << demo.log().substr(from, 200);
        demo.type("quit\r");
        EXPECT_EQ(demo.wait_exit(), 0);
    }
}

// A history file that exists but cannot be read is reported, and left as it
// is: the shell must not replace it with the few lines of this session.  (A
// missing file, the first run, is no error; the round trip above covers it.)
// A directory in the file's place cannot be read by anyone, root included; a
// file without read permission only stops a user other than root, so that
// row runs only for such a user.
TEST(Demo, AnUnreadableHistoryFileIsReportedAndKept) {
    KAVRIK_NEED_EXAMPLE(demo_path());
    struct Case {
        const char *what;
        bool directory;
    } const cases[] = {{"a directory in its place", true}, {"no read permission", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.directory && geteuid() == 0) continue; // root reads every file
        TempHome home;
        const fs::path file = home.dir / ".kavrik_demo_history";
        const fs::path inside = file / "kept";
        const std::string old_lines = "kept one\nkept two\n";
        if (c.directory) {
            fs::create_directory(file);
            std::ofstream(inside) << old_lines;
        } else {
            std::ofstream(file) << old_lines;
            fs::permissions(file, fs::perms::none);
        }
        {
            DemoRun demo(home, false);
            ASSERT_TRUE(demo.screen_has("kavrik>"));
            EXPECT_NE(demo.log().find("kavrik-demo: cannot load history"), std::string::npos)
                << demo.log();
            demo.type("hello\r");
            ASSERT_TRUE(demo.screen_has("echo: hello"));
            demo.type("quit\r");
            EXPECT_EQ(demo.wait_exit(), 0);
        }
        if (c.directory) {
            EXPECT_TRUE(fs::is_directory(file));
            std::ifstream f(inside);
            std::stringstream ss;
            ss << f.rdbuf();
            EXPECT_EQ(ss.str(), old_lines);
        } else {
            fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
            EXPECT_EQ(demo_history(home), old_lines);
        }
    }
}

// Stopped and continued with the terminal put back in its own mode meanwhile,
// as a shell does around a job it stops: once continued, the shell takes raw
// mode back and Enter submits the line typed before and after.  (The demo
// leads its own session here, where the terminal's stop signal would be
// discarded, so SIGSTOP stands in for it.)
TEST(Demo, StoppedAndContinuedItTakesTheTerminalBack) {
    KAVRIK_NEED_EXAMPLE(demo_path());
    TempHome home;
    DemoRun demo(home, false);
    ASSERT_TRUE(demo.screen_has("kavrik>"));
    demo.type("abc");
    ASSERT_TRUE(demo.screen_has("kavrik> abc"));
    ASSERT_EQ(kill(demo.pid(), SIGSTOP), 0);
    int status = 0;
    ASSERT_EQ(waitpid(demo.pid(), &status, WUNTRACED), demo.pid());
    ASSERT_TRUE(WIFSTOPPED(status));
    struct termios t {};
    ASSERT_EQ(tcgetattr(demo.master(), &t), 0);
    t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    t.c_iflag |= ICRNL;
    t.c_oflag |= OPOST;
    ASSERT_EQ(tcsetattr(demo.master(), TCSANOW, &t), 0);
    ASSERT_EQ(kill(demo.pid(), SIGCONT), 0);
    EXPECT_TRUE(demo.pump_until([&] {
        struct termios now {};
        return tcgetattr(demo.master(), &now) == 0 && !(now.c_lflag & (ICANON | ECHO));
    }));
    demo.type("def\r");
    EXPECT_TRUE(demo.screen_has("echo: abcdef")) << demo.screen().dump();
    demo.type("quit\r");
    EXPECT_EQ(demo.wait_exit(), 0);
}

// A history that cannot be saved (the home directory is missing) is said
// once, not after every line, and the shell goes on.
TEST(Demo, AFailedSaveIsReportedOnce) {
    KAVRIK_NEED_EXAMPLE(demo_path());
    TempHome home;
    const fs::path base = home.dir;
    home.dir /= "missing"; // HOME names a directory that is not there
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
    KAVRIK_NEED_EXAMPLE(demo_path());
    TempHome home;
    DemoRun demo(home, false, 24, 80, true);
    EXPECT_EQ(demo.wait_exit(), 1);
    EXPECT_NE(demo.log().find("kavrik-demo: failed to enable bracketed paste"), std::string::npos)
        << demo.log();
}

// The demo's limits: a pasted line far longer than the library's default of
// 4096 bytes comes back whole, and the history keeps more than its default
// 100 entries.
TEST(Demo, ItsLimitsHoldLongPastesAndALongHistory) {
    KAVRIK_NEED_EXAMPLE(demo_path());
    TempHome home;
    {
        DemoRun demo(home, false);
        ASSERT_TRUE(demo.screen_has("kavrik>"));
        std::string pasted;
        while (pasted.size() < 20000)
            pasted += "pasted words ";
        pasted += "end";
        size_t from = demo.log().size();
        demo.type("\x1b[200~" + pasted + "\x1b[201~\r");
        // The demo drops the spaces at the end of a line (a completion leaves one).
        const std::string shown = pasted.substr(0, pasted.find_last_not_of(' ') + 1);
        EXPECT_TRUE(demo.pump_until(
            [&] { return demo.log().find("echo: " + shown + "\r\n", from) != std::string::npos; },
            20000))
            << "the pasted line was cut short";
        for (int i = 0; i < 150; ++i) {
            const std::string line = "entry " + std::to_string(i);
            demo.type(line + "\r");
            ASSERT_TRUE(demo.screen_has("echo: " + line));
        }
        demo.type("quit\r");
        EXPECT_EQ(demo.wait_exit(), 0);
    }
    std::stringstream lines(demo_history(home));
    std::string first, line;
    int count = 0;
    while (std::getline(lines, line)) {
        if (count++ == 0) first = line;
    }
    EXPECT_EQ(count, 152); // the paste, the 150 entries and quit
    EXPECT_EQ(first.substr(0, 13), "pasted words ");
}

TEST(Demo, PipedInputIsEchoed) {
    KAVRIK_NEED_EXAMPLE(demo_path());
    TempHome home;
    std::string cmd =
        "printf 'one\\r\\ntwo\\nhelp\\n' | HOME=" + home.dir.string() + " " + demo_path().string();
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    EXPECT_EQ(pclose(p), 0);
    EXPECT_EQ(out, "one\ntwo\nhelp\n");
    EXPECT_FALSE(fs::exists(home.dir / ".kavrik_demo_history"));
}

// Input that cannot be read (here a directory) ends the echo with the
// library's message and a failing exit status.
TEST(Demo, UnreadableInputIsReported) {
    KAVRIK_NEED_EXAMPLE(demo_path());
    TempHome home;
    std::string cmd = "HOME=" + home.dir.string() + " " + demo_path().string() + " < " +
                      home.dir.string() + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int status = pclose(p);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(out, "kavrik-demo: failed to read input\n");
}

} // namespace

// The companion in the demo: file names complete (a directory with '/'),
// the second Tab lists them, and what Ctrl-W cut comes back with Ctrl-Y.
TEST(Demo, CompletesFileNamesAndYanksWhatWasCut) {
    KAVRIK_NEED_EXAMPLE(demo_path());
    TempHome home;
    std::ofstream(home.dir / "alpha.txt") << "a";
    fs::create_directory(home.dir / "alps");
    DemoRun demo(home, false);
    ASSERT_TRUE(demo.screen_has("kavrik>"));
    const std::string dir = home.dir.string() + "/";
    demo.type("cat " + dir + "alps\t");
    ASSERT_TRUE(demo.screen_has("kavrik> cat " + dir + "alps/"));
    demo.type("\x17\x17"
              "x \x19\r"); // cut the path and the command, paste them after x
    ASSERT_TRUE(demo.screen_has("echo: x cat " + dir + "alps/"));
    demo.type("cat " + dir + "al\t\t");
    ASSERT_TRUE(demo.screen_has(dir + "alpha.txt  " + dir + "alps/"));
    demo.type("\x15quit\r");
    EXPECT_EQ(demo.wait_exit(), 0);
}
