// The screen update: draws a fresh layout by difference against the stored
// frame, rewriting only the rows that changed, erasing what is left over and
// putting the terminal cursor on the edit cursor with relative moves.
#include <algorithm>
#include <cstring>

#include "../api/error.h"
#include "render.h"

namespace {

constexpr const char *kv_msg_render = "failed to render editor state";
constexpr const char *kv_msg_write = "failed to write terminal output";
constexpr const char *kv_msg_store = "out of memory while storing terminal render state";

constexpr int kv_default_rows = 24;

// The sequences that normal mode writes, each with its own write call.
constexpr const char kv_cr[] = "\r";             // to the first column
constexpr const char kv_crlf[] = "\r\n";         // to the next row
constexpr const char kv_erase_right[] = "\x1b[0K"; // erase to the end of the row
constexpr const char *kv_up = "\x1b[%dA";        // cursor up n rows
constexpr const char *kv_right = "\x1b[%dC";     // cursor right n columns

template <size_t N>
int kv_put(int fd, const char (&seq)[N]) noexcept {
    return kv_write_all(fd, seq, N - 1);
}

// The rows of the layout that are drawn: all of them when they fit on the
// terminal, else a window of the terminal's height that holds the cursor's
// row (the same choice as bounded mode).  Writing more rows than the screen
// has would scroll the top ones away where relative moves cannot reach.
struct kv_window {
    int32_t first;
    int32_t count;
    int32_t cursor_row; // counted from the first drawn row
};

kv_window kv_choose_window(const kv_state *st, const kv_layout &lo) noexcept {
    int32_t n = lo.count;
    int32_t h = n;
    if (n > 1) {
        int rows = 0;
        kv_terminal_size(st, nullptr, &rows);
        h = rows > 0 ? rows : kv_default_rows;
    }
    int32_t v = std::min(h, std::max(n, 1));
    int32_t f = std::min(std::max(lo.cursor_row - v + 1, 0), n - v);
    int32_t r = std::min(std::max(lo.cursor_row - f, 0), v - 1);
    return {f, v, r};
}

bool kv_row_equal(const kv_render_store &s, int32_t i, const kv_layout_row &row) noexcept {
    return s.lens[i] == row.len && (row.len == 0 || std::memcmp(s.rows[i], row.text, row.len) == 0);
}

bool kv_frame_unchanged(const kv_state *st, const kv_layout &lo, const kv_window &win) noexcept {
    const kv_render_store &s = st->store;
    if (s.count != win.count || s.top != -1 || s.cursor_row != win.cursor_row ||
        s.cursor_col != lo.cursor_col)
        return false;
    for (int32_t i = 0; i < win.count; ++i)
        if (!kv_row_equal(s, i, lo.rows[win.first + i])) return false;
    return true;
}

// Row i of the frame: skipped when unchanged, otherwise rewritten from its
// first column, erasing what a wider old row left right of it.
int kv_draw_row(const kv_state *st, const kv_layout &lo, const kv_window &win, int32_t i) noexcept {
    const kv_render_store &s = st->store;
    int fd = st->out_fd;
    bool in_new = i < win.count, in_old = i < s.count;
    if (in_new && in_old && kv_row_equal(s, i, lo.rows[win.first + i])) return 0;
    if (kv_put(fd, kv_cr) != 0) return -1;
    if (!in_new) return kv_put(fd, kv_erase_right);
    const kv_layout_row &row = lo.rows[win.first + i];
    if (row.len > 0 && kv_write_all(fd, row.text, row.len) != 0) return -1;
    if (in_old && s.widths[i] > row.width) return kv_put(fd, kv_erase_right);
    return 0;
}

int kv_draw_frame(const kv_state *st, const kv_layout &lo, const kv_window &win) noexcept {
    const kv_render_store &s = st->store;
    int fd = st->out_fd;
    // Back to the first row of the old frame; with no old frame the new one
    // starts where the terminal cursor stands.
    if (s.count > 0) {
        if (kv_put(fd, kv_cr) != 0) return -1;
        if (s.cursor_row > 0 && kv_write_format(fd, kv_up, s.cursor_row) != 0) return -1;
    }
    int32_t t = std::max(s.count, win.count);
    for (int32_t i = 0; i < t; ++i) {
        if (kv_draw_row(st, lo, win, i) != 0) return -1;
        if (i + 1 < t && kv_put(fd, kv_crlf) != 0) return -1;
    }
    int32_t up = t - 1 - win.cursor_row;
    if (up > 0 && kv_write_format(fd, kv_up, up) != 0) return -1;
    if (kv_put(fd, kv_cr) != 0) return -1;
    if (lo.cursor_col > 0 && kv_write_format(fd, kv_right, lo.cursor_col) != 0) return -1;
    return 0;
}

int kv_apply_normal(kv_state *st, const kv_layout &lo) noexcept {
    kv_window win = kv_choose_window(st, lo);
    if (kv_frame_unchanged(st, lo, win)) return 0;
    if (kv_draw_frame(st, lo, win) != 0) {
        kv_set_error(st, kv_msg_write);
        return -1;
    }
    if (kv_render_store_update(st, &lo, win.first, win.count, win.cursor_row, lo.cursor_col, -1) != 0) {
        kv_set_error(st, kv_msg_store);
        return -1;
    }
    return 0;
}

} // namespace

int kv_render_apply(kv_editor *ed, const char *prompt) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return -1;
    kv_layout lo{};
    if (kv_render_build(ed, prompt, &lo) != 0) {
        kv_layout_free(&lo);
        kv_set_error(st, kv_msg_render);
        return -1;
    }
    if (st->bounded) return kv_render_apply_bounded(ed, &lo);
    int result = kv_apply_normal(st, lo);
    kv_layout_free(&lo);
    return result;
}
