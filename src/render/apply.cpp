// The screen update: draws a fresh layout by difference against the stored
// frame, rewriting only the rows that changed, erasing what is left over and
// putting the terminal cursor on the edit cursor with relative moves.
#include <algorithm>

#include "base/error.h"
#include "render/internal.h"
#include "render/messages.h"

namespace {

// The rows of the layout that are drawn: all of them when they fit on the
// terminal, else a window of the terminal's height that holds the cursor's
// row (the same choice as bounded mode).  Writing more rows than the screen
// has would scroll the top ones away where relative moves cannot reach.
kv_render_window kv_choose_window(const kv_state *st, const kv_layout &lo) noexcept {
    int32_t h = lo.count;
    if (lo.count > 1) {
        int rows = 0;
        kv_terminal_size(st, nullptr, &rows);
        h = rows > 0 ? rows : kv_default_rows;
    }
    return kv_render_window_of(lo, h);
}

// Row i of the frame: skipped when unchanged, otherwise rewritten from its
// first column, erasing what a wider old row left right of it.
int kv_draw_row(const kv_state *st, const kv_layout &lo, const kv_render_window &win,
                int32_t i) noexcept {
    const kv_render_store &s = st->store;
    int fd = st->out_fd;
    bool in_new = i < win.count, in_old = i < s.count;
    if (in_new && in_old && kv_render_store_row_equal(s, i, lo.rows[win.first + i])) return 0;
    if (kv_write_seq(fd, kv_seq_cr) != 0) return kv_rc_failed;
    if (!in_new) return kv_write_seq(fd, kv_seq_erase_right);
    const kv_layout_row &row = lo.rows[win.first + i];
    if (row.len > 0 && kv_write_all(fd, row.text, row.len) != 0) return kv_rc_failed;
    if (in_old && s.widths[i] > row.width) return kv_write_seq(fd, kv_seq_erase_right);
    return 0;
}

int kv_draw_frame(const kv_state *st, const kv_layout &lo, const kv_render_window &win) noexcept {
    const kv_render_store &s = st->store;
    int fd = st->out_fd;
    // Back to the first row of the old frame; with no old frame the new one
    // starts where the terminal cursor stands.
    if (s.count > 0) {
        if (kv_write_seq(fd, kv_seq_cr) != 0) return kv_rc_failed;
        if (s.cursor_row > 0 && kv_write_format(fd, kv_seq_up, s.cursor_row) != 0)
            return kv_rc_failed;
    }
    int32_t t = std::max(s.count, win.count);
    for (int32_t i = 0; i < t; ++i) {
        if (kv_draw_row(st, lo, win, i) != 0) return kv_rc_failed;
        if (i + 1 < t && kv_write_seq(fd, kv_seq_crlf) != 0) return kv_rc_failed;
    }
    int32_t up = t - 1 - win.cursor_row;
    if (up > 0 && kv_write_format(fd, kv_seq_up, up) != 0) return kv_rc_failed;
    if (kv_write_seq(fd, kv_seq_cr) != 0) return kv_rc_failed;
    if (lo.cursor_col > 0 && kv_write_format(fd, kv_seq_right, lo.cursor_col) != 0)
        return kv_rc_failed;
    return 0;
}

int kv_apply_normal(kv_state *st, const kv_layout &lo) noexcept {
    kv_render_window win = kv_choose_window(st, lo);
    if (kv_render_store_matches(st->store, lo, win, lo.cursor_col, -1)) return 0;
    if (kv_draw_frame(st, lo, win) != 0) return kv_fail_with(st, kv_result::failed, kv_msg_write);
    return kv_render_store_frame(st, lo, win, lo.cursor_col, -1);
}

} // namespace

kv_render_window kv_render_window_of(const kv_layout &lo, int32_t height) noexcept {
    const int32_t n = lo.count;
    kv_render_window w{};
    w.count = std::min(height, std::max(n, 1));
    w.first = std::max(std::min(std::max(lo.cursor_row - w.count + 1, 0), n - w.count), 0);
    w.cursor_row = std::min(std::max(lo.cursor_row - w.first, 0), w.count - 1);
    return w;
}

int kv_render_apply(kv_editor *ed, const char *prompt) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return kv_rc_failed;
    kv_layout_owner lo;
    // A successful build always holds row 0; anything less cannot be drawn.
    if (kv_render_build(ed, prompt, lo.get()) != 0 || lo->count < 1)
        return kv_fail_with(st, kv_result::failed, kv_msg_render);
    return st->bounded ? kv_render_apply_bounded(st, *lo) : kv_apply_normal(st, *lo);
}

int kv_leave_line(kv_state *st) noexcept {
    if (!st->bounded) {
        if (kv_write_seq(st->out_fd, kv_seq_crlf) == 0) return 0;
        return kv_fail_with(st, kv_result::failed, kv_msg_newline);
    }
    if (kv_box_goto(st, int64_t{st->row} + kv_box_height(st), 0) == 0) return 0;
    return kv_fail_with(st, kv_result::failed, kv_msg_bounded_write);
}
