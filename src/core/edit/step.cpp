// The call's steps for a program with its own event loop: bytes come in
// spans of any size instead of reads from the descriptor, a key cut between
// two spans goes on in the next, and time passing is the caller's to tell.
#include "edit/step.h"

#include <errno.h>
#include <poll.h>

#include "base/alloc.h"
#include "base/error.h"
#include "base/io.h"
#include "edit/internal.h"
#include "edit/messages.h"
#include "render/render.h"

namespace {

kv_call *kv_running_call(kv_editor *ed) noexcept {
    kv_state *st = kv_state_of(ed);
    return st && st->call && st->flags.active ? st->call : nullptr;
}

kv_step_result kv_step_state(const kv_call *c) noexcept {
    if (c->end != kv_end::none) return kv_step_result::ended;
    return c->pending != kv_pending::none ? kv_step_result::key_pending : kv_step_result::running;
}

// Where a feed takes its bytes: next() gives the next one (bytes handed
// back first), more() tells whether one is there without waiting.

// The bytes of a span.
struct kv_span {
    const unsigned char *bytes;
    size_t n;
    size_t at;

    bool next(kv_call *c, unsigned char *b) noexcept {
        if (c->back_len > 0) {
            *b = c->back[--c->back_len];
            return true;
        }
        if (at >= n) return false;
        *b = bytes[at++];
        kv_call_uncook(c, b);
        return true;
    }
    bool more(const kv_call *c) const noexcept { return c->back_len > 0 || at < n; }
};

// The bytes waiting on the input descriptor, one read each, never one more
// than the call takes: what follows the end of the line stays for whoever
// reads next.  A descriptor that reports input and gives none has gone away
// or failed; the time step after the feed finds out which.
struct kv_waiting {
    bool dry = false;

    bool next(kv_call *c, unsigned char *b) noexcept {
        if (c->back_len > 0) {
            *b = c->back[--c->back_len];
            return true;
        }
        if (dry) return false;
        short revents = 0;
        if (kv_wait_readable(c->st->io.in_fd, 0, &revents) <= 0) return false;
        if (!(revents & POLLIN)) {
            dry = true; // hung up or closed, with nothing left to read
            return false;
        }
        ssize_t n = kv_read_retrying(c->st->io.in_fd, b, 1);
        if (n != 1) {
            dry = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            return false;
        }
        kv_call_uncook(c, b);
        return true;
    }
    bool more(kv_call *c) const noexcept { return !dry && kv_call_input_pending(c) != 0; }
};

// Runs passes over the bytes of a source; a key that is cut short waits in
// the call record for the next feed.
template <typename Source> void kv_step_run(kv_call *c, Source &in) noexcept {
    // A key left in progress by the last feed goes on: its pass is a key's.
    bool in_pass = c->pending != kv_pending::none;
    kv_pass pass = kv_pass::key;
    unsigned char b;
    while (c->end == kv_end::none) {
        if (c->pending != kv_pending::none) {
            if (!in.next(c, &b)) break;
            kv_key_continue(c, b);
        } else if (in_pass && kv_call_burst_goes_on(c) && in.more(c)) {
            if (!in.next(c, &b)) continue;
            kv_paste_begin_byte(c, b);
        } else if (in_pass) {
            kv_call_redraw(c, pass);
            in_pass = false;
        } else {
            if (!in.next(c, &b)) break;
            pass = kv_call_step_byte(c, b);
            in_pass = true;
        }
    }
}

} // namespace

int kv_edit_create(kv_state *st) noexcept {
    st->call = static_cast<kv_call *>(kv_calloc(1, sizeof(kv_call)));
    return st->call ? 0 : kv_rc_failed;
}

void kv_edit_release(kv_state *st) noexcept {
    if (!st->call) return;
    kv_search_free(&st->call->search);
    kv_free(st->call);
    st->call = nullptr;
}

int kv_step_begin(kv_editor *ed, const char *prompt, bool event_loop) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return kv_rc_invalid;
    if (st->flags.active) {
        kv_set_error(st, kv_msg_active);
        st->flags.last_status = KV_STATUS_ERROR;
        return kv_rc_failed;
    }
    st->flags.last_status = KV_STATUS_NONE;
    return kv_call_begin(ed, prompt ? prompt : "> ", event_loop);
}

bool kv_step_running(kv_editor *ed) noexcept { return kv_running_call(ed) != nullptr; }

kv_step_result kv_step_feed(kv_editor *ed, const unsigned char *bytes, size_t n,
                            size_t *used) noexcept {
    if (used) *used = 0;
    kv_call *c = kv_running_call(ed);
    if (!c) return kv_step_result::ended;
    kv_span in{bytes, n, 0};
    kv_step_run(c, in);
    if (used) *used = in.at;
    return kv_step_state(c);
}

kv_step_result kv_step_read(kv_editor *ed) noexcept {
    kv_call *c = kv_running_call(ed);
    if (!c) return kv_step_result::ended;
    kv_waiting in;
    kv_step_run(c, in);
    if (in.dry && c->end == kv_end::none) {
        // No more bytes will come for a key in progress; then the tick
        // tells a terminal that went away from a spurious wake-up.
        if (c->pending != kv_pending::none) (void)kv_step_time(ed);
        if (c->end == kv_end::none) return kv_step_time(ed);
    }
    return kv_step_state(c);
}

kv_step_result kv_step_time(kv_editor *ed) noexcept {
    kv_call *c = kv_running_call(ed);
    if (!c) return kv_step_result::ended;
    kv_pass pass = kv_pass::key;
    if (c->pending != kv_pending::none)
        kv_key_expire(c);
    else
        pass = kv_call_tick(c);
    if (c->end == kv_end::none && c->pending == kv_pending::none) kv_call_redraw(c, pass);
    return kv_step_state(c);
}

kv_step_result kv_step_redraw(kv_editor *ed) noexcept {
    kv_call *c = kv_running_call(ed);
    if (!c) return kv_step_result::ended;
    if (c->end == kv_end::none) kv_call_redraw(c, kv_pass::key);
    return kv_step_state(c);
}

void kv_step_abandon(kv_editor *ed) noexcept {
    if (kv_call *c = kv_running_call(ed)) c->end = kv_end::interrupt;
}

char *kv_step_finish(kv_editor *ed, bool raise_signal) noexcept {
    kv_call *c = kv_running_call(ed);
    if (!c) return nullptr;
    if (c->end == kv_end::none) c->end = kv_end::interrupt;
    return kv_call_finish(c, raise_signal);
}

int kv_step_prep_terminal(kv_editor *ed, bool event_loop) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return kv_rc_invalid;
    if (st->term.raw_active) return 0;
    if (kv_terminal_enter_raw(st, event_loop) != 0) return kv_rc_failed;
    // What was typed ahead came in the terminal's own mode: the call that
    // begins next reads it so (a line feed there was an Enter).
    st->call->cooked_prepped = kv_cooked_pending(st, st->term.saved_termios);
    return 0;
}

void kv_step_deprep_terminal(kv_editor *ed) noexcept {
    kv_state *st = kv_state_of(ed);
    if (st && !st->flags.active) kv_terminal_restore(st);
}

void kv_step_write_around(kv_editor *ed, void (*write)(void *), void *user) noexcept {
    kv_call *c = kv_running_call(ed);
    if (c) (void)kv_render_clear_active(ed);
    write(user);
    if (!c) return;
    kv_render_store_reset(c->st->screen.store);
    kv_call_redraw(c, kv_pass::key);
}
