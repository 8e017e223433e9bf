// The readline call.  Input that is not a terminal goes to the plain path.
// On a terminal the call enters raw mode, turns bracketed paste on, draws the
// prompt and runs the main loop (one byte or one idle tick per pass, a redraw
// after each) until a key, a callback or the terminal ends it; every ending
// turns bracketed paste off, restores the terminal and sets the status.
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
// the status, raise SIGINT) closes it first; any other way out closes it on
// leaving the scope.
class kv_call_ending {
public:
    explicit kv_call_ending(kv_state *st) noexcept : st_(st) {}
    ~kv_call_ending() { close(); }
    kv_call_ending(const kv_call_ending &) = delete;
    kv_call_ending &operator=(const kv_call_ending &) = delete;

    void paste_turned_on() noexcept { paste_on_ = true; }
    void close() noexcept {
        if (closed_) return;
        closed_ = true;
        st_->call.prompt = nullptr;
        st_->call.active = 0;
        if (paste_on_) {
            st_->call.paste_active = 0;
            (void)kv_write_seq(st_->io.out_fd, kv_paste_off);
        }
        kv_terminal_restore(st_);
    }

private:
    kv_state *st_;
    bool paste_on_ = false;
    bool closed_ = false;
};

// The line is done with: no walk, an empty buffer for the next call.
void kv_call_drop_line(kv_call *c) noexcept {
    kv_history_reset_walk(c->st->history);
    (void)kv_buf_set(c->ed, "");
}

void kv_call_reset(kv_call *c) noexcept {
    kv_state *st = c->st;
    kv_search_clear(&c->search);
    kv_history_reset_walk(st->history);
    st->call.paste_active = 0;
    st->call.cancel_requested = 0;
    st->call.active = 1;
    st->call.submit_requested = 0;
    kv_render_store_reset(st->screen.store);
    st->call.prompt = c->prompt;
    c->back_len = 0;
    c->cooked_left = 0;
    c->end = kv_end::none;
}

const char *kv_call_shown_prompt(const kv_call *c) noexcept {
    return c->search.active && c->search.display ? c->search.display : c->prompt;
}

// ---- terminal path: the main loop ------------------------------------------

enum class kv_pass { key, idle, quiet };

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
    if (kv_terminal_is_raw(seen)) return false;
    if (kv_terminal_apply_raw(st) != 0) return false; // tried again at the next tick
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
    if (st->call.submit_requested)
        c->end = kv_end::submit;
    else if (st->call.cancel_requested)
        c->end = kv_end::cancel;
}

// One byte or one idle tick.
kv_pass kv_call_pass(kv_call *c, bool *hung_up) noexcept {
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
            *hung_up = true;
            c->end = kv_end::eof;
        } else {
            kv_call_fail(c, kv_msg_read_tty);
        }
        return kv_pass::key;
    case kv_input::none:
        if (kv_terminal_gone(c->st)) {
            *hung_up = true;
            c->end = kv_end::eof;
            return kv_pass::key;
        }
        kv_call_check_mode(c);
        kv_call_idle(c);
        return kv_pass::idle;
    case kv_input::byte:
        break;
    }
    if (c->st->call.paste_active) {
        kv_edit_paste_byte(c, byte);
        return kv_pass::key;
    }
    kv_call_check_key(c, &byte);
    if (byte == 0) {
        kv_call_idle(c);
        return kv_pass::idle;
    }
    kv_edit_dispatch(c, byte == kv_key_esc ? kv_key_decode_escape(c) : byte);
    return kv_pass::key;
}

int kv_call_draw(kv_call *c, kv_frame_memo *memo) noexcept {
    const char *prompt = kv_call_shown_prompt(c);
    memo->begin(c->st);
    if (kv_render_apply(c->ed, prompt) != 0) return kv_rc_failed;
    memo->commit(c->st, prompt);
    return 0;
}

void kv_call_redraw(kv_call *c, kv_pass pass, kv_frame_memo *memo) noexcept {
    if (pass != kv_pass::key && memo->unchanged(c->st, kv_call_shown_prompt(c))) return;
    if (kv_call_draw(c, memo) != 0) kv_call_fail(c, nullptr);
}

// Runs passes until one ends the call; true when the terminal hung up.
bool kv_call_loop(kv_call *c, kv_frame_memo *memo) noexcept {
    for (;;) {
        bool hung_up = false;
        kv_pass pass = kv_call_pass(c, &hung_up);
        if (c->end != kv_end::none) return hung_up;
        kv_call_redraw(c, pass, memo);
        if (c->end != kv_end::none) return false;
    }
}

// ---- terminal path: the endings ------------------------------------------------

char *kv_end_interrupt(kv_call *c, kv_call_ending &ending) noexcept {
    kv_state *st = c->st;
    kv_search_free(&c->search);
    // The walk stays for the next call to reset, but edits made to entries
    // belong to this call alone.
    kv_history_forget_edits(st->history);
    (void)kv_render_clear_active(c->ed);
    ending.close();
    st->call.last_status = KV_STATUS_INTERRUPTED;
    // Raised last, with the terminal in its own mode again, so that the
    // application's handler runs on a sane terminal.
    raise(SIGINT);
    return nullptr;
}

char *kv_end_error(kv_call *c, kv_call_ending &ending) noexcept {
    kv_state *st = c->st;
    kv_search_free(&c->search);
    ending.close();
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
char *kv_end_finish(kv_call *c, kv_call_ending &ending, bool hung_up) noexcept {
    kv_state *st = c->st;
    st->line.cursor = st->line.len;
    bool ok = kv_finish_search(c) == 0;
    if (ok && !hung_up)
        ok = kv_render_apply(c->ed, c->prompt) == 0 && kv_leave_line(st) == 0;
    if (ok) kv_render_store_reset(st->screen.store);
    ending.close();
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

char *kv_call_end(kv_call *c, kv_call_ending &ending, bool hung_up) noexcept {
    c->st->call.active = 0;
    switch (c->end) {
    case kv_end::interrupt:
        return kv_end_interrupt(c, ending);
    case kv_end::error:
        return kv_end_error(c, ending);
    default:
        return kv_end_finish(c, ending, hung_up);
    }
}

char *kv_terminal_readline(kv_editor *ed, kv_state *st, const char *prompt) noexcept {
    kv_call_ending ending(st);
    bool entered_raw = !st->term.raw_active;
    if (entered_raw && kv_terminal_enter_raw(st) != 0) return kv_null_with(st, KV_STATUS_ERROR);
    const size_t cooked = entered_raw ? kv_cooked_pending(st, st->term.saved_termios) : 0;
    if (kv_buf_set(ed, "") != 0) return kv_null_with(st, KV_STATUS_ERROR);
    if (kv_write_seq(st->io.out_fd, kv_paste_on) != 0) {
        kv_set_error(st, kv_msg_paste);
        return kv_null_with(st, KV_STATUS_ERROR);
    }
    ending.paste_turned_on();
    kv_call c {};
    c.ed = ed;
    c.st = st;
    c.prompt = prompt;
    kv_call_reset(&c);
    c.cooked_left = cooked;
    kv_frame_memo memo;
    if (kv_call_draw(&c, &memo) != 0) return kv_null_with(st, KV_STATUS_ERROR);
    bool hung_up = kv_call_loop(&c, &memo);
    return kv_call_end(&c, ending, hung_up);
}

} // namespace

char *kv_null_with(kv_state *st, int status) noexcept {
    st->call.last_status = status;
    return nullptr;
}

char *kv_return_copy(kv_state *st) noexcept {
    char *copy = kv_copy_line(st);
    st->call.last_status = copy ? KV_STATUS_LINE : KV_STATUS_ERROR;
    return copy;
}

extern "C" char *kv_readline_method(kv_editor *ed, const char *prompt) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return nullptr;
    // A callback of the running call may not start another one on the same
    // editor: it would take over the terminal and state under the outer call.
    if (st->call.active) {
        kv_set_error(st, kv_msg_active);
        return kv_null_with(st, KV_STATUS_ERROR);
    }
    if (!prompt) prompt = kv_default_prompt;
    st->call.last_status = KV_STATUS_NONE;
    if (!kv_sys.isatty(st->io.in_fd)) return kv_plain_readline(ed, st);
    return kv_terminal_readline(ed, st, prompt);
}
