// Key input: arbitrary bytes typed into a readline call on a pseudo-terminal
// of this process.
//
// The terminal waits are made fast for the run: raw mode's 0.1 s read
// time-out becomes none (each empty read is an idle tick at once) and the
// waits for the further bytes of a key do not wait, which changes nothing
// here because every typed byte is already waiting when the call starts.
// Once every byte has been read, the idle callback ends the call with a
// submit or a cancel.
//
// Properties: the call ends with a documented status, a line exactly when
// the status says so and SIGINT exactly on an interrupt; an error only for an
// over-long search query, unless memory was made to run out; the terminal's
// attributes are as before the call (raw mode is off); the line fits the
// line limit and holds no byte that was not typed, pasted or recalled from
// the history (Enter inside a paste gives a line feed).  A call that never
// ends is reported by libFuzzer's time-out.
//
// Input: flags, terminal columns, line limit, history entries, an allocation
// countdown, then the typed bytes.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "api/alloc.h"
#include "api/state.h"
#include "api/sys.h"
#include "fault.h"
#include "fuzz_check.h"
#include "kavrik.h"

namespace {

int g_master = -1, g_slave = -1;
struct termios g_base;          // the terminal's attributes before each call
volatile sig_atomic_t g_sigints = 0;
constexpr size_t kMaxTyped = 2048; // well inside the terminal's input buffer

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

ssize_t discard_write(int, const void *, size_t n) { return static_cast<ssize_t>(n); }

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
    while (!bytes.empty()) {
        ssize_t n = write(g_master, bytes.data(), bytes.size());
        FUZZ_CHECK(n > 0, "typing into the terminal");
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

// Waits until the terminal hands over n typed bytes.
void wait_delivered(size_t n) {
    for (int tries = 0; tries < 2000; ++tries) {
        if (pending(g_slave) >= static_cast<int>(n)) return;
        struct timespec ts{0, 500000};
        nanosleep(&ts, nullptr);
    }
    FUZZ_CHECK(false, "the terminal did not deliver the typed bytes");
}

bool same_attrs(const struct termios &a, const struct termios &b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    struct winsize ws{};
    ws.ws_row = 24;
    ws.ws_col = 80;
    FUZZ_CHECK(openpty(&g_master, &g_slave, nullptr, nullptr, &ws) == 0, "openpty");
    fcntl(g_master, F_SETFL, fcntl(g_master, F_GETFL) | O_NONBLOCK);
    // The terminal's own mode would act on typed bytes before the call takes
    // over (erase, kill, signals); start every call from a mode that does not.
    FUZZ_CHECK(tcgetattr(g_slave, &g_base) == 0, "tcgetattr");
    cfmakeraw(&g_base);
    g_base.c_cc[VMIN] = 1;
    g_base.c_cc[VTIME] = 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (g_master < 0) LLVMFuzzerInitialize(nullptr, nullptr);
    FuzzInput in(data, size);
    uint8_t flags = in.byte();
    Run run{(flags & 1) != 0};
    bool bounded = flags & 2;
    int cols = in.range(1, 80);
    uint8_t lb = in.byte();
    size_t line_max = lb >= 240 ? 4096 : 1 + lb % 64;
    int entries = in.range(0, 3);
    std::string history[3];
    for (int i = 0; i < entries; ++i) {
        history[i] = std::string(in.piece(16));
        history[i] = history[i].substr(0, history[i].find('\0'));
    }
    long fail_after = (flags & 4) ? in.range(1, 60) : -1;
    std::string typed(in.take(kMaxTyped));

    bool allowed[256] = {};
    for (unsigned char b : typed) allowed[b] = true;
    for (int i = 0; i < entries; ++i)
        for (unsigned char b : history[i]) allowed[b] = true;
    if (allowed['\r']) allowed['\n'] = true;

    FUZZ_CHECK(tcsetattr(g_slave, TCSANOW, &g_base) == 0, "tcsetattr");
    struct winsize ws{};
    ws.ws_row = 24;
    ws.ws_col = static_cast<unsigned short>(cols);
    ioctl(g_master, TIOCSWINSZ, &ws);
    struct termios before;
    FUZZ_CHECK(tcgetattr(g_slave, &before) == 0, "tcgetattr");

    kv_config cfg;
    kv_config_init(&cfg);
    cfg.in_fd = g_slave;
    cfg.out_fd = g_slave;
    cfg.max_line_len = line_max;
    cfg.bounded = bounded ? 1 : 0;
    cfg.row = bounded ? in.range(0, 20) : 0;
    kv_editor *ed = kv_create_with_config(&cfg);
    FUZZ_CHECK(ed != nullptr, "editor");
    for (int i = 0; i < entries; ++i) kv_history_add(ed, history[i].c_str());
    kv_set_idle_callback(ed, idle, &run);

    type_all(typed);
    wait_delivered(typed.size());

    struct sigaction sa{}, old{};
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
        AllocFailer f(fail_after);
        line = kv_readline(ed, "> ");
    }
    sigaction(SIGINT, &old, nullptr);

    const int status = kv_last_readline_status(ed);
    const char *err = kv_last_error(ed);
    const std::string ctx = "typed \"" + fuzz_visible(typed) + "\", status " +
                            std::to_string(status) + ", error \"" + (err ? err : "") + "\"";
    FUZZ_CHECK(status >= KV_STATUS_LINE && status <= KV_STATUS_ERROR, ctx);
    FUZZ_CHECK((line != nullptr) == (status == KV_STATUS_LINE), ctx);
    FUZZ_CHECK((status == KV_STATUS_INTERRUPTED) == (g_sigints == 1), ctx + ", SIGINT raised " +
                                                                          std::to_string(g_sigints));
    if (status == KV_STATUS_ERROR && fail_after < 0)
        FUZZ_CHECK(err && std::string(err) == "failed to update reverse history search", ctx);
    struct termios after;
    FUZZ_CHECK(tcgetattr(g_slave, &after) == 0 && same_attrs(before, after),
               ctx + ": terminal attributes changed");
    FUZZ_CHECK(ed->state->raw_active == 0, ctx + ": raw mode flag left on");
    FUZZ_CHECK(kv_submit(ed) == -2, ctx + ": the call still counts as running");
    if (line) {
        std::string got = line;
        FUZZ_CHECK(got.size() <= line_max, ctx + ": line of " + std::to_string(got.size()));
        for (unsigned char b : got)
            FUZZ_CHECK(allowed[b], ctx + ": line \"" + fuzz_visible(got) + "\" holds a byte never typed");
    }
    kv_free_string(ed, line);
    kv_destroy(ed);
    return 0;
}
