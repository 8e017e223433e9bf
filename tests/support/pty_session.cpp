#include "pty_session.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "test_editor.h"

Pty::Pty(int rows, int cols) : screen_(rows, cols) {
    struct winsize ws {};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(cols);
    if (openpty(&master_, &slave_, nullptr, nullptr, &ws) != 0)
        throw std::runtime_error("openpty failed");
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
}

void Pty::hang_up() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

void Pty::resize(int rows, int cols) {
    struct winsize ws {};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(cols);
    ioctl(master_, TIOCSWINSZ, &ws);
}

void Pty::type(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
        } else {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 10);
            pump(0);
        }
    }
}

bool Pty::pump(int timeout_ms) {
    bool got = false;
    pollfd p{master_, POLLIN, 0};
    while (poll(&p, 1, got ? 0 : timeout_ms) > 0 && (p.revents & POLLIN)) {
        char buf[4096];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) break;
        log_.append(buf, static_cast<size_t>(n));
        screen_.feed(std::string_view(buf, static_cast<size_t>(n)));
        got = true;
    }
    return got;
}

bool Pty::pump_until(const std::function<bool()> &pred, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return pred();
        pump(10);
    }
    return true;
}

bool Pty::wait_for(std::string_view text, int timeout_ms, size_t from) {
    return pump_until([&] { return log_.find(text, from) != std::string::npos; }, timeout_ms);
}

ReadlineThread::ReadlineThread(kv_editor *ed, const char *prompt, Pty *pty) : pty_(pty) {
    thread_ = std::thread([this, ed, prompt] {
        char *line = kv_readline(ed, prompt);
        null_ = line == nullptr;
        if (line) line_ = line;
        kv_free_string(ed, line);
        done_ = true;
    });
}

ReadlineThread::~ReadlineThread() {
    if (!thread_.joinable()) return;
    if (!join(1000) && pty_) {
        pty_->hang_up();
        join(5000);
    }
    if (!done_) {
        // Joining would wait for ever, and leaving the thread would let it
        // use an editor that is about to be destroyed.
        std::fprintf(stderr, "kv_readline did not return after the terminal hung up\n");
        std::abort();
    }
}

bool ReadlineThread::join(int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done_ && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done_ && thread_.joinable()) thread_.join();
    return done_;
}

kv_editor *make_pty_editor(const Pty &pty, kv_config *overrides) {
    kv_config cfg;
    if (overrides)
        cfg = *overrides;
    else
        kv_config_init(&cfg);
    cfg.in_fd = pty.slave();
    cfg.out_fd = pty.slave();
    return new_test_editor(cfg);
}
