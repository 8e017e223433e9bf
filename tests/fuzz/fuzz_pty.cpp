#include "fuzz_pty.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "base/sys.h"
#include "fault.h"
#include "fuzz_check.h"

namespace {

int g_master = -1, g_slave = -1;
struct termios g_base; // the terminal's attributes before each call
volatile sig_atomic_t g_sigints = 0;

int (*g_real_tcsetattr)(int, int, const struct termios *) = nullptr;
int (*g_real_poll)(struct pollfd *, nfds_t, int) = nullptr;

int fast_tcsetattr(int fd, int action, const struct termios *t) {
    struct termios copy = *t;
    if (copy.c_cc[VMIN] == 0) copy.c_cc[VTIME] = 0;
    return g_real_tcsetattr(fd, action, &copy);
}

int fast_poll(struct pollfd *fds, nfds_t n, int timeout_ms) {
    return g_real_poll(fds, n, timeout_ms > 0 ? 0 : timeout_ms);
}

std::string *g_capture = nullptr;

ssize_t discard_write(int, const void *bytes, size_t n) {
    if (g_capture) g_capture->append(static_cast<const char *>(bytes), n);
    return static_cast<ssize_t>(n);
}

int pending(int fd) {
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

struct Run {
    bool submit;
    long idle_ticks = 0;
};

void idle(kv_editor *ed, void *user) {
    auto *run = static_cast<Run *>(user);
    FUZZ_CHECK(++run->idle_ticks < 100000, "the call goes on idling with its input read");
    if (pending(g_slave) != 0) return;
    if (run->submit)
        kv_submit(ed);
    else
        kv_cancel(ed);
}

void on_sigint(int) { g_sigints = g_sigints + 1; }

void type_all(std::string_view bytes) {
    tcflush(g_slave, TCIFLUSH);
    const size_t n = bytes.size();
    while (!bytes.empty()) {
        ssize_t w = write(g_master, bytes.data(), bytes.size());
        FUZZ_CHECK(w > 0, "typing into the terminal");
        bytes.remove_prefix(static_cast<size_t>(w));
    }
    // The terminal hands typed bytes over a moment later.
    for (int tries = 0; tries < 2000; ++tries) {
        if (pending(g_slave) >= static_cast<int>(n)) return;
        struct timespec ts {
            0, 500000
        };
        nanosleep(&ts, nullptr);
    }
    FUZZ_CHECK(false, "the terminal did not deliver the typed bytes");
}

bool same_attrs(const struct termios &a, const struct termios &b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

} // namespace

void pty_capture_output(std::string *out) { g_capture = out; }

void pty_prepare(int cols) {
    if (g_master < 0) {
        FUZZ_CHECK(openpty(&g_master, &g_slave, nullptr, nullptr, nullptr) == 0, "openpty");
        fcntl(g_master, F_SETFL, fcntl(g_master, F_GETFL) | O_NONBLOCK);
        // The terminal's own mode would act on typed bytes before the call
        // takes over (erase, kill, signals); every call starts from a mode
        // that does not.
        FUZZ_CHECK(tcgetattr(g_slave, &g_base) == 0, "tcgetattr");
        cfmakeraw(&g_base);
        g_base.c_cc[VMIN] = 1;
        g_base.c_cc[VTIME] = 0;
    }
    FUZZ_CHECK(tcsetattr(g_slave, TCSANOW, &g_base) == 0, "tcsetattr");
    struct winsize ws {};
    ws.ws_row = 24;
    ws.ws_col = static_cast<unsigned short>(cols);
    ioctl(g_master, TIOCSWINSZ, &ws);
}

int pty_slave() { return g_slave; }

PtyCallResult pty_readline(kv_editor *ed, const char *prompt, std::string_view typed,
                           bool end_by_submit, long alloc_fail) {
    FUZZ_CHECK(typed.size() <= 2048, "at most 2 KiB typed");
    struct termios before;
    FUZZ_CHECK(tcgetattr(g_slave, &before) == 0, "tcgetattr");
    Run run{end_by_submit};
    kv_set_idle_callback(ed, idle, &run);
    type_all(typed);

    struct sigaction sa {
    }, old{};
    sa.sa_handler = on_sigint;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old);
    g_sigints = 0;
    char *line;
    {
        SysGuard guard;
        g_real_tcsetattr = kv_sys.tcsetattr;
        g_real_poll = kv_sys.poll;
        kv_sys.tcsetattr = fast_tcsetattr;
        kv_sys.poll = fast_poll;
        kv_sys.write = discard_write;
        AllocFailer f(alloc_fail >= 1 ? alloc_fail : -1);
        line = kv_readline(ed, prompt);
    }
    sigaction(SIGINT, &old, nullptr);

    PtyCallResult r;
    r.has_line = line != nullptr;
    if (line) r.line = line;
    kv_free_string(ed, line);
    r.status = kv_last_readline_status(ed);
    const char *err = kv_last_error(ed);
    r.error = err ? err : "";
    r.sigints = g_sigints;
    struct termios after;
    r.attrs_restored = tcgetattr(g_slave, &after) == 0 && same_attrs(before, after);
    kv_set_idle_callback(ed, nullptr, nullptr);
    return r;
}
