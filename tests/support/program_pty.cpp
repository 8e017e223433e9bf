#include "program_pty.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

TempHome::TempHome() {
    char tmpl[] = "/tmp/kavrik-home-XXXXXX";
    dir = mkdtemp(tmpl);
}

TempHome::~TempHome() { fs::remove_all(dir); }

std::string TempHome::read(const std::string &name) const {
    std::ifstream f(dir / name);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

fs::path example_path(const std::string &name) {
#ifdef KAVRIK_EXAMPLES_DIR
    return fs::path(KAVRIK_EXAMPLES_DIR) / name;
#else
    (void)name;
    return {};
#endif
}

ProgramRun::ProgramRun(const fs::path &exe, const std::vector<std::string> &args,
                       const TempHome &home, int rows, int cols, bool output_fails)
    : screen_(rows, cols) {
    struct winsize ws {};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(cols);
    std::string path = exe.string();
    std::string env_home = "HOME=" + home.dir.string();
    std::vector<char *> argv{const_cast<char *>(path.c_str())};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = forkpty(&master_, nullptr, nullptr, &ws);
    if (pid_ == 0) {
        if (output_fails) {
            int full = open("/dev/full", O_WRONLY);
            if (full < 0 || dup2(full, STDOUT_FILENO) < 0) _exit(126);
        }
        char *envp[] = {const_cast<char *>(env_home.c_str()), const_cast<char *>("TERM=xterm"),
                        nullptr};
        execve(path.c_str(), argv.data(), envp);
        _exit(127);
    }
    if (master_ >= 0) fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

ProgramRun::~ProgramRun() {
    if (pid_ > 0 && !exited_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
}

void ProgramRun::type(const std::string &bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + off, bytes.size() - off);
        if (n > 0) {
            off += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            read_some(10);
        } else {
            return;
        }
    }
}

bool ProgramRun::pump_until(const std::function<bool()> &pred, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return pred();
        if (read_some(10) < 0) return pred(); // the child closed the terminal
    }
    return true;
}

bool ProgramRun::screen_has(const std::string &text) {
    return pump_until([&] { return screen_.dump().find(text) != std::string::npos; });
}

bool ProgramRun::enter_and_wait_for_next_call() {
    size_t from = log_.size();
    type("\r");
    return pump_until([&] { return log_.find("\x1b[?2004h", from) != std::string::npos; });
}

void ProgramRun::resize(int rows, int cols) {
    struct winsize ws {};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(cols);
    ioctl(master_, TIOCSWINSZ, &ws);
    screen_.resize(rows, cols);
}

void ProgramRun::drain() {
    while (read_some(0) > 0) {
    }
}

int ProgramRun::wait_exit(int timeout_ms) {
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!exited_ && std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            break;
        }
        // Keep reading, so that a program writing its last words never blocks.
        if (read_some(10) < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!exited_) return -1;
    drain(); // what it wrote last
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ProgramRun::read_some(int timeout_ms) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return 0;
    char buf[4096];
    ssize_t n = read(master_, buf, sizeof buf);
    if (n < 0 && errno == EAGAIN) return 0;
    if (n <= 0) return -1;
    log_.append(buf, static_cast<size_t>(n));
    screen_.feed(std::string_view(buf, static_cast<size_t>(n)));
    return 1;
}

bool ProgramRun::waits_for_input() {
    // The first field of /proc/PID/syscall is the number of the call the
    // program is blocked in.
    const long waits[] = {
#ifdef SYS_select
        SYS_select,
#endif
#ifdef SYS_poll
        SYS_poll,
#endif
        SYS_pselect6, SYS_ppoll};
    const std::string path = "/proc/" + std::to_string(pid_) + "/syscall";
    return pump_until([&] {
        std::ifstream f(path);
        long nr = -1;
        if (!(f >> nr)) return false;
        for (long w : waits)
            if (nr == w) return true;
        return false;
    });
}
