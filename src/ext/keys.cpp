// The extra keys: Ctrl-L clears the screen (in bounded mode the output area)
// and draws the editor again, Ctrl-T swaps two clusters, Alt-U, Alt-L and
// Alt-C change the case of the next word's ASCII letters, Ctrl-Z suspends.
#include <signal.h>
#include <sys/ioctl.h>

#include <cstring>

#include "ext.h"

namespace {

// Cursor home and erase the whole display: the editor is drawn again on the
// top row by kv_print_above.
constexpr char kvx_clear_screen[] = "\x1b[H\x1b[2J";

struct kvx_text_chunk {
    const char *text;
    size_t len;
    size_t repeat; // how many times the text is produced
};

int kvx_produce(kv_editor *, void *user, const char **chunk, size_t *len) {
    auto *c = static_cast<kvx_text_chunk *>(user);
    if (c->repeat == 0) return 0;
    --c->repeat;
    *chunk = c->text;
    *len = c->len;
    return 0;
}

inline char kvx_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
inline char kvx_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
inline bool kvx_letter(char c) { return kvx_upper(c) >= 'A' && kvx_upper(c) <= 'Z'; }

} // namespace

void kvx_terminal_size(int fd, int &cols, int &rows) noexcept {
    struct winsize ws {};
    cols = 80;
    rows = 24;
    if (ioctl(fd, TIOCGWINSZ, &ws) == 0) {
        if (ws.ws_col > 0) cols = ws.ws_col;
        if (ws.ws_row > 0) rows = ws.ws_row;
    }
}

int kvx_on_clear_screen(kv_editor *ed, int, void *user, int *action) noexcept {
    auto *a = static_cast<kvx_attachment *>(user);
    *action = KV_ACTION_HANDLED;
    kvx_text_chunk chunk{kvx_clear_screen, sizeof kvx_clear_screen - 1, 1};
    if (a->bounded) {
        // In bounded mode the text goes to the output area through its
        // scroll region: one line feed per terminal row scrolls it all away
        // and leaves the rest of the screen alone.
        int cols = 0, rows = 0;
        kvx_terminal_size(a->out_fd, cols, rows);
        chunk = {"\n", 1, static_cast<size_t>(rows)};
    }
    int rc = kv_print_above(ed, kvx_produce, &chunk);
    if (rc != 0) kvx_fail(a, rc, kv_last_error(ed));
    return 0;
}

int kvx_on_transpose(kv_editor *ed, int, void *user, int *action) noexcept {
    auto *a = static_cast<kvx_attachment *>(user);
    *action = KV_ACTION_HANDLED;
    kvx_line l = kvx_read_line(ed);
    if (kvx_stand_aside(a, l) || l.cursor == 0 || l.len == 0) return 0;
    if (l.has_nul) return kvx_fail(a, kvx_rc_invalid, nullptr), 0;
    // In the middle of the line the clusters before and at the cursor swap
    // and the cursor moves past both; at the end the two before it swap.
    size_t mid = l.cursor < l.len ? l.cursor : l.len;
    size_t end = mid < l.len ? mid + kv_utf8_cluster_len_width(l.text, l.len, mid, nullptr) : mid;
    if (mid == l.len) mid -= kv_utf8_prev_cluster_len(l.text, mid);
    if (mid == 0) return 0;
    size_t start = mid - kv_utf8_prev_cluster_len(l.text, mid);
    kvx_bytes pair;
    if (!kvx_append(pair, l.text + mid, end - mid) ||
        !kvx_append(pair, l.text + start, mid - start)) {
        kvx_release(pair);
        return kvx_fail(a, kvx_rc_no_memory, nullptr), 0;
    }
    kvx_compose_line(a, l.text, start, end, pair.data, pair.len, end);
    kvx_release(pair);
    return 0;
}

int kvx_on_case(kv_editor *ed, int key, void *user, int *action) noexcept {
    auto *a = static_cast<kvx_attachment *>(user);
    *action = KV_ACTION_HANDLED;
    kvx_line l = kvx_read_line(ed);
    if (kvx_stand_aside(a, l)) return 0;
    if (l.has_nul) return kvx_fail(a, kvx_rc_invalid, nullptr), 0;
    size_t from = l.cursor < l.len ? l.cursor : l.len;
    size_t end = kv_word_forward_end(l.text, l.len, from);
    if (end == from) return 0;
    kvx_bytes word;
    if (!kvx_append(word, l.text + from, end - from))
        return kvx_fail(a, kvx_rc_no_memory, nullptr), 0;
    bool first = true;
    for (size_t i = 0; i < word.len; ++i) {
        char &c = word.data[i];
        if (key == KV_KEY_ALT + 'u')
            c = kvx_upper(c);
        else if (key == KV_KEY_ALT + 'l')
            c = kvx_lower(c);
        else if (kvx_letter(c)) {
            c = first ? kvx_upper(c) : kvx_lower(c);
            first = false;
        }
    }
    kvx_compose_line(a, l.text, from, end, word.data, word.len, end);
    kvx_release(word);
    return 0;
}

int kvx_on_suspend(kv_editor *, int, void *, int *action) noexcept {
    *action = KV_ACTION_HANDLED;
    // The default action of SIGTSTP stops the process; the core notices, when
    // it continues, that the terminal left raw mode and redraws the editor.
    raise(SIGTSTP);
    return 0;
}
