// The blocking linenoise call and the settings around it: one kavrik editor
// behind the interface, Ctrl-C and Ctrl-D reported through errno as
// linenoise reports them, hints and the mask drawn by the editor itself.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <termios.h>
#include <unistd.h>

#include <kavrik_ext.h>

#include "base/io.h"
#include "base/state.h"
#include "edit/step.h"
#include "history/history.h"
#include "ln.h"
#include "render/render.h"

namespace {

// Lines as long as this are edited; the editor needs a limit.
constexpr size_t kLineLimit = 1u << 20;

kv_editor *editor = nullptr;
kvx_attachment *attachment = nullptr;
int editor_in = -1, editor_out = -1;

bool mask_mode = false;
int multi_line = 0; // kept for programs that set it: the editor always wraps
linenoiseHintsCallback *hints = nullptr;
linenoiseFreeHintsCallback *free_hints = nullptr;

void close_editor() noexcept {
    if (editor) kvl_history_unsync();
    kvx_detach(attachment);
    attachment = nullptr;
    kv_destroy(editor);
    editor = nullptr;
    editor_in = editor_out = -1;
}

// Ctrl-C ends the call without a line; the caller sees EAGAIN.
int on_ctrl_c(kv_editor *, int, void *, int *action) {
    *action = KV_ACTION_CANCEL;
    return 0;
}

// Ctrl-P and Ctrl-N walk the history as Up and Down do.
int on_history_key(kv_editor *ed, int key, void *, int *action) {
    kv_history_nav(ed, key == 16 ? -1 : 1);
    *action = KV_ACTION_HANDLED;
    return 0;
}

void hint_for(void *, const char *line, size_t, kv_hint *out) {
    if (!hints) return;
    int color = -1, bold = 0;
    char *text = hints(line, &color, &bold);
    if (!text) return;
    *out = kv_hint{text, std::strlen(text), color, bold};
}

void hint_done(void *, kv_hint *hint) {
    if (free_hints) free_hints(const_cast<char *>(hint->text));
}

bool set_up(kv_editor *ed, int out_fd) noexcept {
    attachment = kvl_completion_attach(ed, out_fd);
    if (!attachment) return false;
    // The keys are the layer's own now: the companion leaves them at detach.
    for (int key : {3, 14, 16}) {
        kv_key_callback cb = key == 3 ? on_ctrl_c : on_history_key;
        if (kv_bind_key(ed, key, cb, nullptr) != 0) return false;
        (void)kvx_release_key(attachment, key);
    }
    kv_render_set_hints(kv_state_of(ed), hint_for, hint_done, nullptr);
    return true;
}

} // namespace

kv_editor *kvl_editor(int in_fd, int out_fd) noexcept {
    if (editor && editor_in == in_fd && editor_out == out_fd) return editor;
    if (editor && kv_step_running(editor)) {
        errno = EBUSY;
        return nullptr;
    }
    close_editor();
    kv_config config;
    kv_config_init(&config);
    config.in_fd = in_fd;
    config.out_fd = out_fd;
    config.max_line_len = kLineLimit;
    kv_editor *ed = kv_create_with_config(&config);
    if (!ed) return nullptr;
    editor = ed;
    editor_in = in_fd;
    editor_out = out_fd;
    if (!set_up(ed, out_fd)) {
        close_editor();
        return nullptr;
    }
    return editor;
}

kv_editor *kvl_current_editor() noexcept { return editor; }

void kvl_prepare(kv_editor *ed) noexcept {
    kvl_history_sync(ed);
    kv_render_set_mask(kv_state_of(ed), mask_mode);
}

char *kvl_result(kv_editor *ed, char *line) noexcept {
    if (line) {
        char *copy = kvl_strndup(line, std::strlen(line));
        kv_free_string(ed, line);
        if (!copy) errno = ENOMEM;
        return copy;
    }
    switch (kv_last_readline_status(ed)) {
    case KV_STATUS_CANCELLED:
    case KV_STATUS_INTERRUPTED:
        errno = EAGAIN;
        break;
    case KV_STATUS_EOF:
        errno = ENOENT;
        break;
    default:
        if (errno == 0 || errno == EAGAIN || errno == ENOENT) errno = EIO;
    }
    return nullptr;
}

extern "C" {

char *linenoise(const char *prompt) {
    kv_editor *ed = kvl_editor(STDIN_FILENO, STDOUT_FILENO);
    if (!ed) {
        errno = ENOMEM;
        return nullptr;
    }
    kvl_prepare(ed);
    // What the program printed before asking must be out before the prompt.
    std::fflush(stdout);
    errno = 0;
    return kvl_result(ed, kv_readline(ed, prompt ? prompt : ""));
}

void linenoiseFree(void *ptr) { std::free(ptr); }

void linenoiseSetHintsCallback(linenoiseHintsCallback *fn) { hints = fn; }

void linenoiseSetFreeHintsCallback(linenoiseFreeHintsCallback *fn) { free_hints = fn; }

void linenoiseMaskModeEnable(void) { mask_mode = true; }

void linenoiseMaskModeDisable(void) { mask_mode = false; }

void linenoiseSetMultiLine(int ml) { multi_line = ml; }

void linenoiseClearScreen(void) {
    // Cursor home, then erase the whole screen.
    static constexpr char home_and_clear[] = "\x1b[H\x1b[2J";
    (void)kv_write_all(STDOUT_FILENO, home_and_clear, sizeof home_and_clear - 1);
}

// Shows the bytes each key sends until "quit" is typed: a help for mapping
// keys.  The terminal is raw meanwhile and restored at the end.
void linenoisePrintKeyCodes(void) {
    struct termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
    std::printf("Key codes: press keys to see the bytes they send; type 'quit' to leave.\n");
    std::fflush(stdout);
    struct termios raw = saved;
    raw.c_iflag &= static_cast<tcflag_t>(~(BRKINT | ICRNL | INPCK | ISTRIP | IXON));
    raw.c_oflag &= static_cast<tcflag_t>(~OPOST);
    raw.c_cflag |= CS8;
    raw.c_lflag &= static_cast<tcflag_t>(~(ECHO | ICANON | IEXTEN | ISIG));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0) return;
    char last[4] = {' ', ' ', ' ', ' '};
    for (;;) {
        unsigned char c = 0;
        ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::memmove(last, last + 1, 3);
        last[3] = static_cast<char>(c);
        std::printf("'%c' %02x (%d) (type quit to exit)\r\n", c >= 0x20 && c < 0x7F ? c : '?',
                    static_cast<unsigned>(c), static_cast<int>(c));
        std::fflush(stdout);
        if (std::memcmp(last, "quit", 4) == 0) break;
    }
    (void)tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
}

} // extern "C"
