// A program on its own pseudo-terminal, read through libvterm.
#include "program_pty.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

ProgramPty::ProgramPty(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                       int rows, int cols)
    : screen_(rows, cols) {
    std::vector<char *> args, envp;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    for (const auto &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    struct winsize ws {};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(cols);
    pid_ = forkpty(&master_, nullptr, nullptr, &ws);
    if (pid_ == 0) {
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    if (master_ >= 0) fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

ProgramPty::~ProgramPty() {
    if (pid_ > 0 && !exited_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
}

void ProgramPty::type(const std::string &bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + off, bytes.size() - off);
        if (n > 0) {
            off += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            if (read_some(10) < 0) return;
        } else {
            return;
        }
    }
}

bool ProgramPty::pump_until(const std::function<bool()> &pred, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return pred();
        if (read_some(10) < 0) return pred(); // the program closed the terminal
    }
    return true;
}

bool ProgramPty::screen_has(const std::string &text, int timeout_ms) {
    return pump_until([&] { return screen_.dump().find(text) != std::string::npos; }, timeout_ms);
}

bool ProgramPty::log_has(const std::string &text, size_t from, int timeout_ms) {
    return pump_until([&] { return log_.find(text, from) != std::string::npos; }, timeout_ms);
}

int ProgramPty::wait_exit(int timeout_ms) {
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
    while (read_some(0) > 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ProgramPty::read_some(int timeout_ms) {
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
