// readline's alternate interface, for programs with their own event loop:
// the handler is installed with a prompt (drawn at once), each call of
// rl_callback_read_char hands the editor the bytes that are waiting, and the
// handler gets the line when one is done.  The terminal's signal keys stay
// on meanwhile, so Ctrl-C interrupts the program's own wait; the program
// then abandons the line.  The hooks that run around a line start here too.
#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "edit/step.h"
#include "rl.h"

extern "C" {
rl_hook_func_t *rl_startup_hook = nullptr;
rl_hook_func_t *rl_pre_input_hook = nullptr;
int rl_catch_signals = 1;
}

namespace {

constexpr int kKeyWaitMs = 100; // the rest of a key is due within this

rl_vcpfunc_t *handler = nullptr;
char *handler_prompt = nullptr;
// The handler is installed but its line is not begun (it failed, or a
// signal abandoned it): the next read begins it.
bool line_owed = false;
// The input is not a terminal: each read takes a whole line as readline()
// does there, without drawing.
bool plain_input = false;

int input_fd(kv_editor *) noexcept { return rl_instream ? fileno(rl_instream) : 0; }

// Runs a hook on rl_line_buffer and hands what it did to the editor.
void run_hook(kv_editor *ed, rl_hook_func_t *hook) noexcept {
    if (!hook || !kvr_line_from_editor(ed)) return;
    hook();
    kvr_line_to_editor(ed);
}

void flush_output() noexcept {
    std::fflush(stdout);
    if (rl_outstream) std::fflush(rl_outstream);
}

// Begins the handler's line: the prompt drawn, then the hooks.
bool begin_line(kv_editor *ed) noexcept {
    line_owed = false;
    plain_input = !isatty(input_fd(ed)) || kvr_plain_terminal();
    if (plain_input) return true;
    kvr_sync_history(ed);
    flush_output();
    if (kv_step_begin(ed, handler_prompt, true) != 0) return false;
    run_hook(ed, rl_startup_hook);
    run_hook(ed, rl_pre_input_hook);
    (void)kv_step_redraw(ed);
    return true;
}

// The call ended: its line (or null at end of input) goes to the handler.
// A key that interrupted raises SIGINT as readline() does, and a fresh line
// begins when the program lives on.
void deliver(kv_editor *ed) noexcept {
    char *line = kv_step_finish(ed, true);
    int status = kv_last_readline_status(ed);
    char *copy = nullptr;
    if (line) {
        size_t n = std::strlen(line);
        copy = static_cast<char *>(std::malloc(n + 1));
        if (copy) std::memcpy(copy, line, n + 1);
        kv_free_string(ed, line);
        if (copy)
            kvr_line_from_text(copy);
        else
            status = KV_STATUS_ERROR;
    }
    if (status == KV_STATUS_INTERRUPTED || status == KV_STATUS_CANCELLED) {
        if (handler) line_owed = !begin_line(ed);
        return;
    }
    // The handler may remove itself or install another one; a handler
    // still installed afterwards gets the next line.
    rl_vcpfunc_t *was = handler;
    line_owed = true;
    if (was)
        was(copy);
    else
        std::free(copy);
    if (handler && line_owed && !kv_step_running(ed)) line_owed = !begin_line(ed);
}

// Ends the running line without a result and without a signal.
void abandon(kv_editor *ed) noexcept {
    if (!kv_step_running(ed)) return;
    kv_step_abandon(ed);
    std::free(kv_step_finish(ed, false));
    line_owed = handler != nullptr;
}

} // namespace

extern "C" {

void rl_callback_handler_install(const char *prompt, rl_vcpfunc_t *function) {
    kv_editor *ed = kvr_editor();
    if (!ed) return;
    abandon(ed);
    char *shown = kvr_visible_prompt(prompt ? prompt : "");
    if (!shown) return;
    std::free(handler_prompt);
    handler_prompt = shown;
    handler = function;
    line_owed = !begin_line(ed);
}

void rl_callback_read_char(void) {
    kv_editor *ed = kvr_editor();
    if (!ed || !handler) return;
    if (plain_input) {
        rl_vcpfunc_t *was = handler;
        was(readline(handler_prompt));
        return;
    }
    if (line_owed) {
        // No line runs (it could not begin): end of input for the handler.
        if (!begin_line(ed)) {
            rl_vcpfunc_t *was = handler;
            was(nullptr);
            return;
        }
    }
    kv_step_result r = kv_step_read(ed);
    while (r == kv_step_result::key_pending) {
        // The rest of a key (an escape sequence, a character) is due
        // within the key wait; then the key ends with what came.
        struct pollfd p {
            input_fd(ed), POLLIN, 0
        };
        int ready = poll(&p, 1, kKeyWaitMs);
        if (ready < 0) return; // a signal: the program sees to it first
        r = ready == 0 ? kv_step_time(ed) : kv_step_read(ed);
    }
    if (r == kv_step_result::ended) deliver(ed);
}

void rl_callback_handler_remove(void) {
    kv_editor *ed = kvr_editor();
    if (ed) abandon(ed);
    handler = nullptr;
    line_owed = false;
}

void rl_callback_sigcleanup(void) {
    kv_editor *ed = kvr_editor();
    if (ed) abandon(ed);
}

void rl_free_line_state(void) {
    kv_editor *ed = kvr_editor();
    if (ed) abandon(ed);
}

void rl_cleanup_after_signal(void) {
    kv_editor *ed = kvr_editor();
    if (!ed) return;
    abandon(ed);
    kv_step_deprep_terminal(ed);
}

void rl_prep_terminal(int) {
    kv_editor *ed = kvr_editor();
    if (ed) (void)kv_step_prep_terminal(ed, true);
}

void rl_deprep_terminal(void) {
    kv_editor *ed = kvr_editor();
    if (ed) kv_step_deprep_terminal(ed);
}

int rl_redisplay(void) {
    kv_editor *ed = kvr_editor();
    if (!ed || !kv_step_running(ed)) return 0;
    kvr_line_to_editor(ed);
    (void)kv_step_redraw(ed);
    return 0;
}

void rl_resize_terminal(void) {
    kv_editor *ed = kvr_editor();
    if (ed && kv_step_running(ed)) (void)kv_step_redraw(ed);
}

} // extern "C"
