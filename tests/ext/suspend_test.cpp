// Ctrl-Z in the demo under a small job-control shell: the demo stops, the
// shell takes the terminal back in its own (cooked) mode as bash does, so
// what is typed there is echoed as usual, and after "fg" the demo takes raw
// mode back, draws the editor again whole, and the line goes on.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "program_pty.h"
#include "vt_screen.h"

namespace {

namespace fs = std::filesystem;

fs::path demo_path() { return example_path("kavrik-demo"); }

// The shell: runs the demo as a job in its own process group, and when the
// job stops, takes the terminal, puts it in cooked mode, says so, reads one
// line (the user's "fg") and continues the job in the foreground.
[[noreturn]] void job_shell(const char *exe, const char *home) {
    signal(SIGTTOU, SIG_IGN);
    struct termios cooked {};
    tcgetattr(0, &cooked);
    pid_t job = fork();
    if (job == 0) {
        setpgid(0, 0);
        tcsetpgrp(0, getpid());
        signal(SIGTTOU, SIG_DFL);
        std::string env_home = std::string("HOME=") + home;
        char *argv[] = {const_cast<char *>(exe), nullptr};
        char *envp[] = {const_cast<char *>(env_home.c_str()), const_cast<char *>("TERM=xterm"),
                        nullptr};
        execve(exe, argv, envp);
        _exit(127);
    }
    setpgid(job, job);
    tcsetpgrp(0, job);
    for (;;) {
        int status = 0;
        if (waitpid(job, &status, WUNTRACED) != job) _exit(125);
        if (!WIFSTOPPED(status)) _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 124);
        tcsetpgrp(0, getpgrp());
        tcsetattr(0, TCSADRAIN, &cooked);
        const char msg[] = "\r\n[stopped] shell$ ";
        if (write(1, msg, sizeof msg - 1) < 0) _exit(123);
        char line[64];
        if (read(0, line, sizeof line) <= 0) _exit(122); // one cooked line
        tcsetpgrp(0, job);
        kill(-job, SIGCONT);
    }
}

struct ShellRun {
    pid_t pid = -1;
    int master = -1;
    std::string log;
    VtScreen screen{24, 80};
    ShellRun(const fs::path &home) {
        struct winsize ws {};
        ws.ws_row = 24;
        ws.ws_col = 80;
        std::string exe = demo_path().string();
        pid = forkpty(&master, nullptr, nullptr, &ws);
        if (pid == 0) job_shell(exe.c_str(), home.c_str());
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~ShellRun() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (master >= 0) close(master);
    }
    void type(const std::string &s) {
        ASSERT_EQ(write(master, s.data(), s.size()), static_cast<ssize_t>(s.size()));
    }
    bool pump_until(const std::function<bool()> &pred, int timeout_ms = 5000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (!pred()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            char buf[4096];
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) continue;
            log.append(buf, static_cast<size_t>(n));
            screen.feed(std::string_view(buf, static_cast<size_t>(n)));
        }
        return true;
    }
    bool shows(const std::string &text) {
        return pump_until([&] { return screen.dump().find(text) != std::string::npos; });
    }
    int exit_status() {
        int status = 0;
        bool done = pump_until([&] { return waitpid(pid, &status, WNOHANG) == pid; });
        if (!done) return -1;
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST(ExtSuspend, CtrlZStopsTheDemoAndFgBringsTheEditorBackWhole) {
    KAVRIK_NEED_EXAMPLE(demo_path());
    char tmpl[] = "/tmp/kavrik-suspend-XXXXXX";
    fs::path home = mkdtemp(tmpl);
    {
        ShellRun run(home);
        ASSERT_TRUE(run.shows("kavrik>"));
        size_t from = run.log.size();
        run.pump_until([&] { return run.log.find("\x1b[?2004h", from) != std::string::npos; }, 500);
        run.type("abc\x1a");
        ASSERT_TRUE(run.shows("[stopped] shell$")) << run.screen.dump();
        run.type("fg\n"); // echoed by the terminal in cooked mode
        ASSERT_TRUE(run.shows("[stopped] shell$ fg")) << run.screen.dump();
        // The editor is drawn again below, with the line typed before.
        ASSERT_TRUE(run.pump_until([&] {
            int r = run.screen.cursor_row();
            return run.screen.row(r) == "kavrik> abc" && run.screen.cursor_col() == 11;
        })) << run.screen.dump();
        run.type("def\r");
        EXPECT_TRUE(run.shows("echo: abcdef")) << run.screen.dump();
        run.type("quit\r");
        EXPECT_EQ(run.exit_status(), 0) << run.screen.dump();
    }
    fs::remove_all(home);
}

} // namespace
