#include "call_harness.h"

#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "test_editor.h"

struct termios tty_attrs(int fd) {
    struct termios t;
    std::memset(&t, 0, sizeof t);
    if (tcgetattr(fd, &t) != 0) std::memset(&t, 0, sizeof t);
    return t;
}

bool same_attrs(const struct termios &a, const struct termios &b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

Pipe::Pipe() {
    if (pipe(fds_) != 0) throw std::runtime_error("pipe failed");
}

Pipe::~Pipe() {
    for (int fd : fds_)
        if (fd >= 0) close(fd);
}

void Pipe::write(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fds_[1], bytes.data(), bytes.size());
        if (n <= 0) throw std::runtime_error("pipe write failed");
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void Pipe::close_write() {
    if (fds_[1] >= 0) close(fds_[1]);
    fds_[1] = -1;
}

kv_editor *make_pipe_editor(const Pipe &pipe, size_t max_line_len) {
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.in_fd = pipe.read_end();
    cfg.out_fd = 1; // the plain path writes nothing
    cfg.max_line_len = max_line_len;
    return new_test_editor(cfg);
}

std::string plain_line(kv_editor *ed) {
    char *line = kv_readline(ed, nullptr);
    if (!line) return "<null:" + std::to_string(kv_last_readline_status(ed)) + ">";
    std::string s = line;
    kv_free_string(ed, line);
    return s;
}

void IdleCounter::count(kv_editor *ed, void *user) {
    auto *c = static_cast<IdleCounter *>(user);
    c->calls++;
    if (IdleCounter::Hook hook = c->hook.load()) hook(ed, c);
}

void IdleCounter::install(kv_editor *ed) { kv_set_idle_callback(ed, count, this); }

bool IdleCounter::wait_more(Pty &pty, int n, int timeout_ms) {
    int target = calls + n;
    return pty.pump_until([&] { return calls >= target; }, timeout_ms);
}

std::unique_ptr<ReadlineThread> start_call(Pty &pty, kv_editor *ed, const char *prompt,
                                           size_t *log_from) {
    size_t from = pty.log_size();
    if (log_from) *log_from = from;
    auto call = std::make_unique<ReadlineThread>(ed, prompt, &pty);
    if (!pty.wait_for("\x1b[?2004h", 3000, from))
        throw std::runtime_error("the call never turned bracketed paste on");
    return call;
}
