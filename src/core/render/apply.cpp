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
    const kv_render_store &s = st->screen.store;
    int fd = st->io.out_fd;
    bool in_new = i < win.count, in_old = i < s.count;
    if (in_new && in_old && kv_render_store_row_equal(s, i, lo.rows[win.first + i])) return 0;
    if (kv_write_seq(fd, kv_seq_cr) != 0) return kv_rc_failed;
    if (!in_new) return kv_write_seq(fd, kv_seq_erase_right);
    const kv_layout_row &row = lo.rows[win.first + i];
    if (row.len > 0 && kv_write_all(fd, row.text, row.len) != 0) return kv_rc_failed;
    if (in_old && s.widths[i] > row.width) return kv_write_seq(fd, kv_seq_erase_right);
    return 0;
}

// Moves the terminal cursor from one row of the frame to another: up with
// one relative move, down one "\r\n" per row (the rows exist on the screen).
int kv_move_rows(int fd, int32_t from, int32_t to) noexcept {
    if (to < from) return kv_write_format(fd, kv_seq_up, from - to);
    for (int32_t k = from; k < to; ++k)
        if (kv_write_seq(fd, kv_seq_crlf) != 0) return kv_rc_failed;
    return 0;
}

// From the row the cursor is on to the edit cursor's column.
int kv_place_cursor(int fd, const kv_layout &lo) noexcept {
    if (kv_write_seq(fd, kv_seq_cr) != 0) return kv_rc_failed;
    if (lo.cursor_col > 0 && kv_write_format(fd, kv_seq_right, lo.cursor_col) != 0)
        return kv_rc_failed;
    return 0;
}

int kv_draw_frame(const kv_state *st, const kv_layout &lo, const kv_render_window &win) noexcept {
    const kv_render_store &s = st->screen.store;
    int fd = st->io.out_fd;
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
    return kv_place_cursor(fd, lo);
}

// A window of a frame taller than the screen: the cursor goes straight from
// where it stands to the first row that changed, and from the last one to
// the edit cursor, instead of walking over every row of the window.
int kv_draw_window(const kv_state *st, const kv_layout &lo, const kv_render_window &win) noexcept {
    const kv_render_store &s = st->screen.store;
    int fd = st->io.out_fd;
    const int32_t t = std::max(s.count, win.count);
    int32_t first = -1, last = -1;
    for (int32_t i = 0; i < t; ++i) {
        bool same =
            i < win.count && i < s.count && kv_render_store_row_equal(s, i, lo.rows[win.first + i]);
        if (same) continue;
        if (first < 0) first = i;
        last = i;
    }
    int32_t at = s.cursor_row;
    if (first >= 0) {
        if (first < at && kv_write_seq(fd, kv_seq_cr) != 0) return kv_rc_failed;
        if (kv_move_rows(fd, at, first) != 0) return kv_rc_failed;
        for (int32_t i = first; i <= last; ++i) {
            if (kv_draw_row(st, lo, win, i) != 0) return kv_rc_failed;
            if (i < last && kv_write_seq(fd, kv_seq_crlf) != 0) return kv_rc_failed;
        }
        at = last;
    }
    if (kv_move_rows(fd, at, win.cursor_row) != 0) return kv_rc_failed;
    return kv_place_cursor(fd, lo);
}

// Screen rows that a row of w columns takes once a terminal that rewraps
// its lines has been made cols columns wide.
int64_t kv_rewrapped_rows(int64_t w, int64_t cols) noexcept {
    return w <= cols ? 1 : (w + cols - 1) / cols;
}

// The terminal changed size since the stored frame was drawn, so the frame
// is no longer where the store says: a terminal that rewraps has moved its
// rows (a row wider than the new width now takes several), one that does not
// has cut them.  Go up as far as the old frame's first row can be, blank
// every row the old frame can occupy, and draw the new frame whole.
int kv_draw_resized(const kv_state *st, const kv_layout &lo, const kv_render_window &win,
                    int32_t cols, int32_t rows) noexcept {
    const kv_render_store &s = st->screen.store;
    int fd = st->io.out_fd;
    int64_t up = 0, wrapped = 0;
    for (int32_t i = 0; i < s.count; ++i) {
        int64_t r = kv_rewrapped_rows(s.widths[i], cols);
        if (i < s.cursor_row) up += r;
        wrapped += r;
    }
    up += s.cursor_col / cols;
    // Rewrapped, the frame starts `up` rows above the cursor; cut, it starts
    // s.cursor_row rows above it and the move lands that much higher.
    int64_t blank = std::max(wrapped, up - s.cursor_row + s.count);
    up = std::min<int64_t>(up, rows - 1);
    blank = std::min<int64_t>(blank, rows);
    const int32_t t = std::max(static_cast<int32_t>(blank), win.count);
    if (kv_write_seq(fd, kv_seq_cr) != 0) return kv_rc_failed;
    if (up > 0 && kv_write_format(fd, kv_seq_up, static_cast<int>(up)) != 0) return kv_rc_failed;
    for (int32_t i = 0; i < t; ++i) {
        if (kv_write_seq(fd, kv_seq_erase_row) != 0) return kv_rc_failed;
        if (i < win.count) {
            const kv_layout_row &row = lo.rows[win.first + i];
            if (row.len > 0 && kv_write_all(fd, row.text, row.len) != 0) return kv_rc_failed;
        }
        if (i + 1 < t && kv_write_seq(fd, kv_seq_crlf) != 0) return kv_rc_failed;
    }
    int32_t back = t - 1 - win.cursor_row;
    if (back > 0 && kv_write_format(fd, kv_seq_up, back) != 0) return kv_rc_failed;
    return kv_place_cursor(fd, lo);
}

int kv_apply_normal(kv_state *st, const kv_layout &lo) noexcept {
    int cols = 0, rows = 0;
    kv_terminal_size(st, &cols, &rows);
    const kv_render_store &s = st->screen.store;
    const bool resized = s.count > 0 && (s.term_cols != cols || s.term_rows != rows);
    kv_render_window win = kv_choose_window(st, lo);
    if (!resized && kv_render_store_matches(s, lo, win, lo.cursor_col, -1)) return 0;
    int rc;
    if (resized)
        rc = kv_draw_resized(st, lo, win, cols > 0 ? cols : kv_default_cols,
                             rows > 0 ? rows : kv_default_rows);
    else if (s.count > 0 && win.count < lo.count)
        rc = kv_draw_window(st, lo, win);
    else
        rc = kv_draw_frame(st, lo, win);
    if (rc != 0) return kv_fail_with(st, kv_result::failed, kv_msg_terminal_write);
    return kv_render_store_frame(st, lo, win, lo.cursor_col, -1);
}

// Asks the terminal for its size once, and makes every step of the drawing
// use that answer.
class kv_size_pin {
  public:
    explicit kv_size_pin(kv_state *st) noexcept : st_(st) {
        kv_terminal_size(st, &st->screen.pinned_cols, &st->screen.pinned_rows);
        st->screen.size_pinned = 1;
    }
    ~kv_size_pin() { st_->screen.size_pinned = 0; }
    kv_size_pin(const kv_size_pin &) = delete;
    kv_size_pin &operator=(const kv_size_pin &) = delete;

  private:
    kv_state *st_;
};

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
    kv_size_pin pin(st);
    kv_layout_owner lo;
    // A successful build always holds row 0; anything less cannot be drawn.
    if (kv_render_build_shown(ed, prompt, lo.get()) != 0 || lo->count < 1)
        return kv_fail_with(st, kv_result::failed, kv_msg_render);
    return st->screen.bounded ? kv_render_apply_bounded(st, *lo) : kv_apply_normal(st, *lo);
}

int kv_leave_line(kv_state *st) noexcept {
    if (!st->screen.bounded) {
        if (kv_write_seq(st->io.out_fd, kv_seq_crlf) == 0) return 0;
        return kv_fail_with(st, kv_result::failed, kv_msg_newline);
    }
    if (kv_box_goto(st, int64_t{st->screen.row} + kv_box_height(st), 0) == 0) return 0;
    return kv_fail_with(st, kv_result::failed, kv_msg_bounded_write);
}
