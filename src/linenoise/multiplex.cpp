// The multiplexed interface: a line opened on the terminal and fed by the
// program whenever its input is readable, on the core's call taken apart
// into steps.  The program keeps its own event loop; each feed returns at
// once, except that a key cut short (ESC alone, an escape sequence split
// across reads) is given up to 100 ms for its next byte, as the blocking
// call gives it.
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "edit/step.h"
#include "ln.h"
#include "render/render.h"

namespace {

char still_editing[] = "the line is still being edited";

constexpr int kKeyWaitMs = 100;

// Mirrors the editor's line into the program's buffer, cut to its size.
void mirror(linenoiseState *l, kv_editor *ed) noexcept {
    const char *text = kv_buffer(ed);
    if (!text) text = "";
    size_t n = std::strlen(text);
    if (l->buflen == 0 || !l->buf) return;
    if (n > l->buflen - 1) n = l->buflen - 1;
    std::memcpy(l->buf, text, n);
    l->buf[n] = '\0';
    l->len = n;
    size_t cursor = kv_cursor(ed);
    l->pos = cursor < n ? cursor : n;
}

// The editor of an open line, or null when no line is open.
kv_editor *open_editor(linenoiseState *l) noexcept {
    kv_editor *ed = l ? kvl_current_editor() : nullptr;
    return ed && kv_step_running(ed) ? ed : nullptr;
}

} // namespace

extern "C" {

char *linenoiseEditMore = still_editing;

int linenoiseEditStart(struct linenoiseState *l, int stdin_fd, int stdout_fd, char *buf,
                       size_t buflen, const char *prompt) {
    if (!l || !buf || buflen == 0) {
        errno = EINVAL;
        return -1;
    }
    std::memset(l, 0, sizeof *l);
    l->ifd = stdin_fd != -1 ? stdin_fd : STDIN_FILENO;
    l->ofd = stdout_fd != -1 ? stdout_fd : STDOUT_FILENO;
    l->buf = buf;
    l->buflen = buflen;
    l->prompt = prompt ? prompt : "";
    l->plen = std::strlen(l->prompt);
    l->history_index = 0;
    buf[0] = '\0';
    struct winsize ws {};
    l->cols = ioctl(l->ofd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? ws.ws_col : 80;
    kv_editor *ed = kvl_editor(l->ifd, l->ofd);
    if (!ed) {
        if (errno != EBUSY) errno = ENOMEM;
        return -1;
    }
    kvl_prepare(ed);
    if (kv_step_begin(ed, l->prompt, false) != 0) {
        if (errno == 0) errno = ENOTTY;
        return -1;
    }
    return 0;
}

char *linenoiseEditFeed(struct linenoiseState *l) {
    kv_editor *ed = open_editor(l);
    if (!ed) {
        errno = EINVAL;
        return nullptr;
    }
    kv_step_result r = kv_step_read(ed);
    while (r == kv_step_result::key_pending) {
        struct pollfd p {
            l->ifd, POLLIN, 0
        };
        r = poll(&p, 1, kKeyWaitMs) > 0 ? kv_step_read(ed) : kv_step_time(ed);
    }
    mirror(l, ed);
    if (r != kv_step_result::ended) return linenoiseEditMore;
    errno = 0;
    return kvl_result(ed, kv_step_finish(ed, false));
}

void linenoiseEditStop(struct linenoiseState *l) {
    // A line still open is given up: erased, the terminal back in its mode.
    kv_editor *ed = open_editor(l);
    if (!ed) return;
    kv_step_abandon(ed);
    char *line = kv_step_finish(ed, false);
    if (line) kv_free_string(ed, line);
}

void linenoiseHide(struct linenoiseState *l) {
    kv_editor *ed = open_editor(l);
    if (ed) (void)kv_render_clear_active(ed);
}

void linenoiseShow(struct linenoiseState *l) {
    kv_editor *ed = open_editor(l);
    if (ed) (void)kv_step_redraw(ed);
}

} // extern "C"
