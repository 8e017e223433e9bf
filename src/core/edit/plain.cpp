// The plain path: input that is not a terminal (a pipe, a file) is read as
// one line per call, a byte at a time, with no drawing and no terminal modes.
// A line ends with LF, CR or CR LF; Ctrl-D on an empty line is end of input.
#include <errno.h>
#include <poll.h>

#include <utility>

#include "base/error.h"
#include "base/io.h"
#include "base/sys.h"
#include "edit/internal.h"
#include "edit/messages.h"
#include "text/text.h"

namespace {

enum class kv_plain_input { byte, end, failed };

// The next input byte.  A descriptor left non-blocking is waited on instead
// of failing with EAGAIN.
kv_plain_input kv_plain_next(kv_state *st, unsigned char *byte) noexcept {
    if (st->flags.pending_byte_set) {
        st->flags.pending_byte_set = 0;
        *byte = st->flags.pending_byte;
        return kv_plain_input::byte;
    }
    for (;;) {
        ssize_t n = kv_read_retrying(st->io.in_fd, byte, 1);
        if (n > 0) return kv_plain_input::byte;
        if (n == 0) return kv_plain_input::end;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return kv_plain_input::failed;
        if (kv_wait_readable(st->io.in_fd, -1, nullptr) < 0) return kv_plain_input::failed;
    }
}

// After a CR: a LF already there belongs to it and is dropped, any other
// byte waits for the next call.  When nothing is there yet, a LF may still
// come in a later read; the next call drops it if it comes first.
void kv_plain_after_cr(kv_state *st) noexcept {
    short revents = 0;
    unsigned char next = 0;
    if (kv_wait_readable(st->io.in_fd, 0, &revents) > 0 && (revents & POLLIN) &&
        kv_sys.read(st->io.in_fd, &next, 1) == 1) {
        if (next != '\n') {
            st->flags.pending_byte = next;
            st->flags.pending_byte_set = 1;
        }
        return;
    }
    st->flags.plain_last_cr = 1;
}

// Appends a byte; 0, or -1 when the call must fail.  A byte beyond the
// maximum line length is dropped (the line is cut there).
int kv_plain_append(kv_editor *ed, kv_state *st, unsigned char byte) noexcept {
    char c = static_cast<char>(byte);
    if (kv_buf_insert(ed, st->line.len, &c, 1) == 0) {
        st->line.cursor = st->line.len;
        return 0;
    }
    return st->line.len >= st->line.max_len ? 0 : kv_rc_failed;
}

} // namespace

char *kv_plain_readline(kv_editor *ed, kv_state *st) noexcept {
    if (kv_buf_set(ed, "") != 0) return kv_null_with(st, KV_STATUS_ERROR);
    bool drop_lf = st->flags.plain_last_cr != 0;
    st->flags.plain_last_cr = 0;
    bool taken = false;
    for (;;) {
        unsigned char byte = 0;
        const kv_plain_input r = kv_plain_next(st, &byte);
        if (r == kv_plain_input::failed) {
            kv_set_error(st, kv_msg_read_plain);
            return kv_null_with(st, KV_STATUS_ERROR);
        }
        if (r == kv_plain_input::end) {
            if (taken || st->line.len > 0) return kv_return_copy(st);
            return kv_null_with(st, KV_STATUS_EOF);
        }
        if (std::exchange(drop_lf, false) && byte == '\n') continue;
        taken = true;
        if (byte == '\r') {
            kv_plain_after_cr(st);
            return kv_return_copy(st);
        }
        if (byte == '\n') return kv_return_copy(st);
        if (byte == kv_ctrl('d') && st->line.len == 0) return kv_null_with(st, KV_STATUS_EOF);
        if (kv_plain_append(ed, st, byte) != 0) return kv_null_with(st, KV_STATUS_ERROR);
    }
}
