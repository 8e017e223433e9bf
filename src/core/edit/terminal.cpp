// Terminal modes for the readline call: raw mode in and out, and the one
// primitive every input wait goes through: poll, so that any descriptor
// number works, and a signal does not cut a wait short (it goes on with the
// time that is left).
#include <errno.h>
#include <poll.h>
#include <termios.h>
#include <time.h>

#include "base/error.h"
#include "base/sys.h"
#include "edit/internal.h"
#include "edit/messages.h"

namespace {

// TCSADRAIN rather than TCSAFLUSH: flushing would throw away what the user
// typed ahead (the next command typed during the last one, the rest of a
// multi-line paste on a terminal without bracketed paste).  A signal during
// the drain is no reason to give up, so EINTR is retried.
int kv_set_attributes(int fd, const struct termios &t) noexcept {
    int r;
    do {
        r = kv_sys.tcsetattr(fd, TCSADRAIN, &t);
    } while (r != 0 && errno == EINTR);
    return r;
}

long long kv_now_ms() noexcept {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

struct termios kv_raw_attributes(const struct termios &saved, bool event_loop) noexcept {
    struct termios raw = saved;
    // No break-to-SIGINT, no parity check, no eighth-bit stripping, CR stays
    // CR (Enter arrives as 13), no XON/XOFF flow control (Ctrl-S, Ctrl-Q).
    raw.c_iflag &= ~tcflag_t{BRKINT | INPCK | ISTRIP | ICRNL | IXON};
    // Output exactly as written: "\n" is not turned into "\r\n".  A
    // program with its own event loop prints from its callbacks between
    // keys and keeps the terminal's processing; the editor's own moves are
    // "\r\n", the same either way.
    if (!event_loop) raw.c_oflag &= ~tcflag_t{OPOST};
    // Eight-bit characters.
    raw.c_cflag |= tcflag_t{CS8};
    // No signals from Ctrl-C/Ctrl-Z/Ctrl-\ (they arrive as bytes 3, 26, 28),
    // no line buffering, no echo, no Ctrl-V literal-next.
    // A program with its own event loop keeps Ctrl-C as the terminal's
    // interrupt key: its wait is cut short by the signal.
    raw.c_lflag &= ~tcflag_t{ICANON | ECHO | IEXTEN};
    if (!event_loop) raw.c_lflag &= ~tcflag_t{ISIG};
    // A read returns after one byte or after 0.1 s with none: the idle tick.
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 1;
    return raw;
}

int kv_terminal_enter_raw(kv_state *st, bool event_loop) noexcept {
    if (!kv_sys.isatty(st->io.in_fd)) {
        kv_set_error(st, kv_msg_not_tty);
        errno = ENOTTY;
        return kv_rc_failed;
    }
    if (kv_sys.tcgetattr(st->io.in_fd, &st->term.saved_termios) != 0) {
        return kv_fail_with(st, kv_result::failed, kv_msg_getattr);
    }
    if (kv_set_attributes(st->io.in_fd, kv_raw_attributes(st->term.saved_termios, event_loop)) !=
        0) {
        return kv_fail_with(st, kv_result::failed, kv_msg_raw);
    }
    st->term.raw_active = 1;
    return 0;
}

bool kv_terminal_is_raw(const struct termios &t, bool event_loop) noexcept {
    const struct termios raw = kv_raw_attributes(t, event_loop);
    return t.c_iflag == raw.c_iflag && t.c_oflag == raw.c_oflag && t.c_cflag == raw.c_cflag &&
           t.c_lflag == raw.c_lflag && t.c_cc[VMIN] == raw.c_cc[VMIN] &&
           t.c_cc[VTIME] == raw.c_cc[VTIME];
}

int kv_terminal_apply_raw(kv_state *st, bool event_loop) noexcept {
    return kv_set_attributes(st->io.in_fd, kv_raw_attributes(st->term.saved_termios, event_loop));
}

void kv_terminal_restore(kv_state *st) noexcept {
    if (!st->term.raw_active) return;
    (void)kv_set_attributes(st->io.in_fd, st->term.saved_termios);
    st->term.raw_active = 0;
}

int kv_wait_readable(int fd, int timeout_ms, short *revents) noexcept {
    const long long deadline = timeout_ms < 0 ? 0 : kv_now_ms() + timeout_ms;
    int left = timeout_ms;
    for (;;) {
        struct pollfd p {
            fd, POLLIN, 0
        };
        int r = kv_sys.poll(&p, 1, left);
        if (r > 0 && revents) *revents = p.revents;
        if (r >= 0 || errno != EINTR) return r;
        if (timeout_ms < 0) continue;
        long long rest = deadline - kv_now_ms();
        if (rest <= 0) return 0;
        left = static_cast<int>(rest);
    }
}
