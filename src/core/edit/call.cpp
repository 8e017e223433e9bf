// The readline call.  Input that is not a terminal goes to the plain path.
// On a terminal the call is a run of steps over the call record the editor
// keeps: begin (raw mode, bracketed paste on, the first drawing), passes (one
// byte with the rest of its key, or one idle tick, and a redraw after each)
// and finish (every ending turns bracketed paste off, restores the terminal
// and sets the status).  kv_readline runs them in a loop that waits for
// input itself; step.cpp offers them to a program that waits on its own.
#include <errno.h>
#include <signal.h>
#include <termios.h>

#include <cstring>
#include <string_view>

#include "base/alloc.h"
#include "base/error.h"
#include "base/io.h"
#include "base/sys.h"
#include "edit/internal.h"
#include "edit/messages.h"
#include "history/history.h"
#include "render/render.h"
#include "text/text.h"

namespace {

// Control sequences written here; the line end comes from the renderer.
constexpr std::string_view kv_paste_on = "\x1b[?2004h";  // bracketed paste on
constexpr std::string_view kv_paste_off = "\x1b[?2004l"; // bracketed paste off

constexpr const char *kv_default_prompt = "> ";

// The buffer's text up to its first NUL byte, as a string for the caller.
char *kv_copy_line(kv_state *st) noexcept {
    char *copy = kv_strndup(st->line.text, strnlen(st->line.text, st->line.len));
    if (!copy) kv_set_error(st, kv_msg_copy);
    return copy;
}

// ---- terminal path: the frame ------------------------------------------------

// The ending that every way out of a terminal call shares: no active prompt
// or running call any more, bracketed paste off (once it was turned on) and
// the terminal's own mode back.  An ending that must do more after it (set
// the status, raise SIGINT) closes it first.
void kv_call_close(kv_call *c) noexcept {
    kv_state *st = c->st;
    st->flags.prompt = nullptr;
    st->flags.active = 0;
    if (c->paste_on) {
        c->paste_on = false;
        st->flags.paste_active = 0;
        (void)kv_write_seq(st->io.out_fd, kv_paste_off);
    }
    kv_terminal_restore(st);
}

// The line is done with: no walk, an empty buffer for the next call.
void kv_call_drop_line(kv_call *c) noexcept {
    kv_history_reset_walk(c->st->history);
    (void)kv_buf_set(c->ed, "");
}

void kv_call_reset(kv_call *c) noexcept {
    kv_state *st = c->st;
    kv_search_clear(&c->search);
    kv_history_reset_walk(st->history);
    st->flags.paste_active = 0;
    st->flags.cancel_requested = 0;
    st->flags.active = 1;
    st->flags.submit_requested = 0;
    kv_render_store_reset(st->screen.store);
    st->flags.prompt = c->prompt;
    c->back_len = 0;
    c->cooked_left = 0;
    c->end = kv_end::none;
    c->pending = kv_pending::none;
    c->burst = false;
    c->hung_up = false;
}

const char *kv_call_shown_prompt(const kv_call *c) noexcept {
    return c->search.active && c->search.display ? c->search.display : c->prompt;
}

// ---- terminal path: the passes --------------------------------------------

// The terminal left the raw mode that the call set (a shell puts its own
// mode back while the program is stopped, and keeps it after continuing
// it): raw mode and bracketed paste go on again, what came in meanwhile is
// read as typed, and the editor is drawn whole: on a fresh row below what
// the terminal echoed, or, bounded, in its box blanked of everything that
// was written over or around it meanwhile.  True when raw mode was applied again; then *crnl
// tells whether the terminal's own mode turned Enter into a line feed.
bool kv_call_check_mode(kv_call *c, bool *crnl = nullptr) noexcept {
    kv_state *st = c->st;
    struct termios seen {};
    if (!st->term.raw_active || kv_sys.tcgetattr(st->io.in_fd, &seen) != 0) return false;
    if (kv_terminal_is_raw(seen, c->event_loop)) return false;
    if (kv_terminal_apply_raw(st, c->event_loop) != 0) return false; // tried again at the next tick
    if (crnl) *crnl = (seen.c_iflag & ICRNL) && !(seen.c_iflag & IGNCR);
    c->cooked_left = kv_cooked_pending(st, seen);
    (void)kv_write_seq(st->io.out_fd, kv_paste_on);
    if (!st->screen.bounded) (void)kv_write_seq(st->io.out_fd, kv_seq_crlf);
    // A failed write here shows in the drawing that follows.
    (void)kv_render_reclaim_box(st);
    return true;
}

// A key typed at once after the program was continued reaches the call
// before any idle tick: the mode is checked before it is handled too, so
// that the editor is taken back first.  In raw mode Enter arrives as a
// carriage return; a line feed is Ctrl-J, or an Enter that the terminal
// turned into one because it was back in its own mode.  Then it is an Enter.
void kv_call_check_key(kv_call *c, unsigned char *byte) noexcept {
    if (c->back_len > 0) return;
    bool crnl = false;
    if (kv_call_check_mode(c, &crnl) && crnl && *byte == '\n') *byte = '\r';
}

void kv_call_idle(kv_call *c) noexcept {
    kv_state *st = c->st;
    if (st->keys.idle_callback) st->keys.idle_callback(c->ed, st->keys.idle_user_data);
    if (st->flags.submit_requested)
        c->end = kv_end::submit;
    else if (st->flags.cancel_requested)
        c->end = kv_end::cancel;
}

int kv_call_draw(kv_call *c) noexcept {
    return kv_render_apply_noted(c->ed, kv_call_shown_prompt(c));
}

// The blocking loop: one byte from the descriptor or one idle tick, the rest
// of a key with the 100 ms waits, the rest of a paste burst that is waiting.
kv_pass kv_call_pass(kv_call *c) noexcept {
    unsigned char byte = 0;
    switch (kv_call_read(c, &byte)) {
    case kv_input::retry:
        errno = 0;
        kv_call_check_mode(c);
        return kv_pass::quiet;
    case kv_input::failed:
        // A read that was waiting when the terminal went away fails (EIO)
        // instead of reading nothing: that is a hang-up too.
        if (kv_terminal_gone(c->st)) {
            c->hung_up = true;
            c->end = kv_end::eof;
        } else {
            kv_call_fail(c, kv_msg_read_tty);
        }
        return kv_pass::key;
    case kv_input::none:
        return kv_call_tick(c);
    case kv_input::byte:
        break;
    }
    kv_pass pass = kv_call_step_byte(c, byte);
    for (;;) {
        if (c->end != kv_end::none) return pass;
        unsigned char b;
        if (c->pending != kv_pending::none) {
            if (kv_call_wait_byte(c, &b) > 0)
                kv_key_continue(c, b);
            else
                kv_key_expire(c);
        } else if (kv_call_burst_goes_on(c) && kv_call_input_pending(c)) {
            if (kv_call_wait_byte(c, &b) <= 0) return pass;
            kv_paste_begin_byte(c, b);
        } else {
            return pass;
        }
    }
}

// Runs passes until one ends the call.
void kv_call_loop(kv_call *c) noexcept {
    for (;;) {
        kv_pass pass = kv_call_pass(c);
        if (c->end != kv_end::none) return;
        kv_call_redraw(c, pass);
        if (c->end != kv_end::none) return;
    }
}

// ---- terminal path: the endings ------------------------------------------------

char *kv_end_interrupt(kv_call *c, bool raise_signal) noexcept {
    kv_state *st = c->st;
    kv_search_free(&c->search);
    // The walk stays for the next call to reset, but edits made to entries
    // belong to this call alone.
    kv_history_forget_edits(st->history);
    (void)kv_render_clear_active(c->ed);
    kv_call_close(c);
    st->flags.last_status = KV_STATUS_INTERRUPTED;
    // Raised last, with the terminal in its own mode again, so that the
    // application's handler runs on a sane terminal.
    if (raise_signal) raise(SIGINT);
    return nullptr;
}

char *kv_end_error(kv_call *c) noexcept {
    kv_state *st = c->st;
    kv_search_free(&c->search);
    kv_call_close(c);
    kv_call_drop_line(c);
    return kv_null_with(st, KV_STATUS_ERROR);
}

// A cancel or end of input during a search gives back the line from before it.
int kv_finish_search(kv_call *c) noexcept {
    int rc = 0;
    if (c->search.active && c->end != kv_end::submit)
        rc = kv_buf_set(c->ed, c->search.saved ? c->search.saved : "");
    kv_search_free(&c->search);
    return rc;
}

// Submit, cancel or end of input.  A terminal that hung up gets no final
// drawing: nothing can be written to it any more.
char *kv_end_finish(kv_call *c) noexcept {
    kv_state *st = c->st;
    st->line.cursor = st->line.len;
    bool ok = kv_finish_search(c) == 0;
    if (ok && !c->hung_up) {
        // The line stays on the screen as submitted, without a hint.
        kv_render_hints_off(st, true);
        ok = kv_render_apply(c->ed, c->prompt) == 0 && kv_leave_line(st) == 0;
        kv_render_hints_off(st, false);
    }
    if (ok) kv_render_store_reset(st->screen.store);
    kv_call_close(c);
    if (!ok) {
        kv_call_drop_line(c);
        return kv_null_with(st, KV_STATUS_ERROR);
    }
    if (c->end != kv_end::submit) {
        kv_call_drop_line(c);
        return kv_null_with(st, c->end == kv_end::cancel ? KV_STATUS_CANCELLED : KV_STATUS_EOF);
    }
    char *line = kv_return_copy(st);
    kv_call_drop_line(c);
    return line;
}

char *kv_terminal_readline(kv_editor *ed, const char *prompt) noexcept {
    if (kv_call_begin(ed, prompt, false) != 0) return nullptr;
    kv_call *c = kv_state_of(ed)->call;
    kv_call_loop(c);
    return kv_call_finish(c, true);
}

} // namespace

// ---- the steps ----------------------------------------------------------------

kv_pass kv_call_step_byte(kv_call *c, unsigned char byte) noexcept {
    c->burst = c->st->flags.paste_active != 0;
    if (c->burst) {
        kv_paste_begin_byte(c, byte);
        return kv_pass::key;
    }
    kv_call_check_key(c, &byte);
    if (byte == 0) {
        kv_call_idle(c);
        return kv_pass::idle;
    }
    if (byte == kv_key_esc) {
        kv_esc_begin(c);
        c->pending = kv_pending::escape;
    } else {
        kv_edit_dispatch_key(c, byte);
    }
    return kv_pass::key;
}

bool kv_call_burst_goes_on(const kv_call *c) noexcept {
    return c->burst && c->st->flags.paste_active && c->pending == kv_pending::none;
}

kv_pass kv_call_tick(kv_call *c) noexcept {
    if (kv_terminal_gone(c->st)) {
        c->hung_up = true;
        c->end = kv_end::eof;
        return kv_pass::key;
    }
    kv_call_check_mode(c);
    kv_call_idle(c);
    return kv_pass::idle;
}

void kv_call_redraw(kv_call *c, kv_pass pass) noexcept {
    if (pass != kv_pass::key && kv_render_unchanged(c->st, kv_call_shown_prompt(c))) return;
    if (kv_call_draw(c) != 0) kv_call_fail(c, nullptr);
}

// A call that could not begin: closed again, with the error status.
int kv_call_not_begun(kv_call *c) noexcept {
    kv_call_close(c);
    c->st->flags.last_status = KV_STATUS_ERROR;
    return kv_rc_failed;
}

int kv_call_begin(kv_editor *ed, const char *prompt, bool event_loop) noexcept {
    kv_state *st = kv_state_of(ed);
    kv_call *c = st->call;
    kv_search_clear(&c->search);
    c->ed = ed;
    c->st = st;
    c->prompt = prompt;
    c->paste_on = false;
    c->event_loop = event_loop;
    bool entered_raw = !st->term.raw_active;
    if (entered_raw && kv_terminal_enter_raw(st, event_loop) != 0) {
        return kv_call_not_begun(c);
    }
    const size_t cooked =
        entered_raw ? kv_cooked_pending(st, st->term.saved_termios) : c->cooked_prepped;
    c->cooked_prepped = 0;
    if (kv_buf_set(ed, "") != 0) {
        return kv_call_not_begun(c);
    }
    if (kv_write_seq(st->io.out_fd, kv_paste_on) != 0) {
        kv_set_error(st, kv_msg_paste);
        return kv_call_not_begun(c);
    }
    c->paste_on = true;
    kv_call_reset(c);
    c->cooked_left = cooked;
    if (kv_call_draw(c) != 0) {
        return kv_call_not_begun(c);
    }
    return 0;
}

char *kv_call_finish(kv_call *c, bool raise_signal) noexcept {
    c->st->flags.active = 0;
    c->pending = kv_pending::none;
    switch (c->end) {
    case kv_end::interrupt:
        return kv_end_interrupt(c, raise_signal);
    case kv_end::error:
        return kv_end_error(c);
    default:
        return kv_end_finish(c);
    }
}

char *kv_null_with(kv_state *st, int status) noexcept {
    st->flags.last_status = status;
    return nullptr;
}

char *kv_return_copy(kv_state *st) noexcept {
    char *copy = kv_copy_line(st);
    st->flags.last_status = copy ? KV_STATUS_LINE : KV_STATUS_ERROR;
    return copy;
}

extern "C" char *kv_readline_method(kv_editor *ed, const char *prompt) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return nullptr;
    // A callback of the running call may not start another one on the same
    // editor: it would take over the terminal and state under the outer call.
    if (st->flags.active) {
        kv_set_error(st, kv_msg_active);
        return kv_null_with(st, KV_STATUS_ERROR);
    }
    if (!prompt) prompt = kv_default_prompt;
    st->flags.last_status = KV_STATUS_NONE;
    if (!kv_sys.isatty(st->io.in_fd)) return kv_plain_readline(ed, st);
    return kv_terminal_readline(ed, prompt);
}
