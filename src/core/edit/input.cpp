// The input primitives of the readline call: every byte it reads comes
// through here, from the bytes handed back by a decoder, or from the input
// descriptor with the waits of raw mode, with line feeds typed ahead in the
// terminal's own mode given back as the Enter they were.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>

#include "base/error.h"
#include "base/io.h"
#include "base/sys.h"
#include "edit/internal.h"

namespace {

constexpr int kv_key_wait_ms = 100; // wait for one more byte of a key

// A terminal opened for writing only is never reported readable, not even
// with bytes waiting, so the wait alone would go on for ever: it counts as
// the failed read that reading it would give.
bool kv_write_only(int fd) noexcept {
    int flags = kv_sys.fcntl(fd, F_GETFL, 0);
    return flags >= 0 && (flags & O_ACCMODE) == O_WRONLY;
}

} // namespace

// Taken right after raw mode is (again) applied, when everything waiting
// came in the old way, whose flags are in seen.
size_t kv_cooked_pending(const kv_state *st, const struct termios &seen) noexcept {
    const tcflag_t iflag = seen.c_iflag;
    if (!(iflag & ICRNL) || (iflag & IGNCR)) return 0;
    int n = 0;
    if (kv_sys.pending(st->io.in_fd, &n) != 0 || n < 0) return 0;
    return static_cast<size_t>(n);
}

kv_input kv_call_read(kv_call *c, unsigned char *byte) noexcept {
    if (c->back_len > 0) {
        *byte = c->back[--c->back_len];
        return kv_input::byte;
    }
    // Wait before reading, for at most the idle tick: a terminal put back in
    // its own mode behind the call's back (stopped and continued under a
    // shell) hands out nothing before a whole line is typed, or waits for a
    // byte without end, and a read would block until then instead of letting
    // the tick notice.
    struct pollfd p {
        c->st->io.in_fd, POLLIN, 0
    };
    int ready = kv_sys.poll(&p, 1, kv_key_wait_ms);
    if (ready == 0) return kv_write_only(c->st->io.in_fd) ? kv_input::failed : kv_input::none;
    if (ready < 0) return errno == EINTR ? kv_input::retry : kv_input::failed;
    errno = 0;
    ssize_t n = kv_sys.read(c->st->io.in_fd, byte, 1);
    if (n > 0) {
        kv_call_uncook(c, byte);
        return kv_input::byte;
    }
    if (n == 0) return kv_input::none;
    if (errno == EINTR) return kv_input::retry;
    // A descriptor left non-blocking: the wait above said readable, but the
    // byte went elsewhere; the next pass waits again.
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kv_input::none;
    return kv_input::failed;
}

// A terminal that went away (window closed, connection dropped) returns no
// byte at once on every read, which looks like an endless run of idle ticks.
// poll tells the two apart.
bool kv_terminal_gone(const kv_state *st) noexcept {
    short revents = 0;
    return kv_wait_readable(st->io.in_fd, 0, &revents) > 0 &&
           (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

long kv_read_escape_byte(int fd, unsigned char *byte) noexcept {
    int ready = kv_wait_readable(fd, kv_key_wait_ms, nullptr);
    if (ready <= 0) return ready;
    return static_cast<long>(kv_read_retrying(fd, byte, 1));
}

long kv_call_wait_byte(kv_call *c, unsigned char *byte) noexcept {
    if (c->back_len > 0) {
        *byte = c->back[--c->back_len];
        return 1;
    }
    long r = kv_read_escape_byte(c->st->io.in_fd, byte);
    if (r > 0) kv_call_uncook(c, byte);
    return r;
}

void kv_call_uncook(kv_call *c, unsigned char *byte) noexcept {
    if (c->cooked_left == 0) return;
    --c->cooked_left;
    if (*byte == '\n') *byte = '\r';
}

void kv_call_unread(kv_call *c, unsigned char byte) noexcept {
    // Decoders hand back at most a few bytes; the room is far larger.
    if (c->back_len < static_cast<int>(sizeof c->back)) c->back[c->back_len++] = byte;
}

void kv_call_fail(kv_call *c, const char *msg) noexcept {
    if (msg) kv_set_error(c->st, msg);
    c->end = kv_end::error;
}

int kv_call_input_pending(kv_call *c) noexcept {
    if (c->back_len > 0) return 1;
    struct pollfd p = {c->st->io.in_fd, POLLIN, 0};
    return kv_sys.poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}
