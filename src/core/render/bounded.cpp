// Bounded mode: the editor pinned to the bottom rows of a box on the screen.
// Every row is placed with an absolute cursor position and filled with spaces
// up to the box's right edge, so a drawing never touches anything outside the
// box; the box rows above the editor form an output area that scrolls up
// (through a scroll region) when the editor grows.
#include <algorithm>
#include <climits>

#include "base/error.h"
#include "render/internal.h"
#include "render/messages.h"

namespace {

// One drawing's geometry, recomputed from the layout and the terminal every
// time.
struct kv_box_frame {
    kv_render_window win; // V rows from F, the cursor on row R' of them
    int32_t cursor_col;   // C: cursor column counted from the box column
    int32_t height;       // H as asked the second time
    int32_t top;          // T: screen row of the first row shown
};

kv_box_frame kv_box_frame_of(const kv_state *st, const kv_layout *lo) noexcept {
    kv_box_frame b{};
    b.win = kv_render_window_of(*lo, kv_box_height(st));
    b.cursor_col = lo->cursor_col;
    // The terminal is asked again: T follows the latest size.
    b.height = kv_box_height(st);
    b.top = kv_box_top(st, b.height, b.win.count);
    return b;
}

// The editor grew upward from old_top to new_top: scroll the output area
// above the old frame up by the difference, so nothing in it is overwritten.
int kv_scroll_output_area(kv_state *st, int64_t old_top, int64_t new_top) noexcept {
    const int64_t row = st->screen.row;
    const int64_t region_top = std::max<int64_t>(row, 0);
    if (kv_write_format2(st->io.out_fd, kv_seq_region, kv_term_coord(region_top),
                         kv_term_coord(std::max(old_top - 1, region_top))) != 0)
        return kv_rc_failed;
    // Once the region is set it is always reset, whatever fails in between.
    bool ok = kv_box_goto(st, old_top - 1, 0) == 0;
    for (int64_t k = 0; ok && k < old_top - new_top; ++k)
        ok = kv_write_seq(st->io.out_fd, kv_seq_crlf) == 0;
    const bool reset = kv_write_seq(st->io.out_fd, kv_seq_region_reset) == 0;
    return ok && reset ? 0 : kv_rc_failed;
}

// One past the box's last screen row; a box reaching beyond the largest int
// is cut there, so every loop over box rows stays as short as the box.
int64_t kv_box_end(const kv_state *st, int32_t height) noexcept {
    return std::min<int64_t>(int64_t{st->screen.row} + height, INT32_MAX);
}

// The box moved (the editor grew or shrank, or the terminal changed size):
// scroll the output area when the editor grew, blank every row from the
// higher of the two tops to the box bottom, and forget the stored frame.
int kv_box_moved(kv_state *st, const kv_box_frame &b) noexcept {
    const int64_t old_top = st->screen.store.top;
    bool ok = true;
    if (b.top < old_top && old_top - 1 >= st->screen.row)
        ok = kv_scroll_output_area(st, old_top, b.top) == 0;
    const int64_t end = kv_box_end(st, b.height);
    for (int64_t r = std::min<int64_t>(b.top, old_top); ok && r < end; ++r)
        ok = kv_blank_box_row(st, r) == 0;
    kv_render_store_reset(st->screen.store);
    return ok ? 0 : kv_rc_failed;
}

// Rewrites the visible rows that differ from the stored frame, filling each
// with spaces where the old row reached further or nothing was known.
int kv_draw_rows(kv_state *st, const kv_layout *lo, const kv_box_frame &b) noexcept {
    const kv_render_store &s = st->screen.store;
    for (int32_t i = 0; i < b.win.count; ++i) {
        const kv_layout_row &r = lo->rows[b.win.first + i];
        const bool known = i < s.count;
        if (known && kv_render_store_row_equal(s, i, r)) continue;
        if (kv_box_goto(st, int64_t{b.top} + i, st->screen.column) != 0) return kv_rc_failed;
        if (r.len > 0 && kv_write_all(st->io.out_fd, r.text, r.len) != 0) return kv_rc_failed;
        if ((!known || s.widths[i] > r.width) && kv_clear_box_tail(st, r.width) != 0)
            return kv_rc_failed;
    }
    // Rows of the old frame that the new one no longer covers.
    for (int32_t i = b.win.count; i < s.count; ++i)
        if (kv_blank_box_row(st, int64_t{b.top} + i) != 0) return kv_rc_failed;
    return 0;
}

// Columns from the terminal's first column to the box's right edge, for a
// terminal of cols columns.
int64_t kv_box_right_edge(const kv_state *st, int cols) noexcept {
    if (!st->screen.auto_width && st->screen.width > 0)
        return int64_t{st->screen.column} + st->screen.width;
    int w = cols > 0 ? cols : kv_default_cols;
    return int64_t{st->screen.column} + std::max(w - st->screen.column, 1);
}

// True when the box spans whole screen rows, from the first column to the
// last, on a terminal of cols columns.
bool kv_box_spans_rows(const kv_state *st, int cols) noexcept {
    const int64_t w = cols > 0 ? cols : kv_default_cols;
    return st->screen.column == 0 && kv_box_right_edge(st, cols) >= w;
}

// Blanks the box row the cursor stands on, from the box column.  A box that
// spans whole screen rows erases the row: that also drops a terminal's note
// that the row runs on into the next one (set when a narrower terminal split
// it), which would join it to its neighbour when the terminal gets wider.
int kv_blank_here(kv_state *st, int cols) noexcept {
    if (kv_box_spans_rows(st, cols)) return kv_write_seq(st->io.out_fd, kv_seq_erase_right);
    return kv_clear_box_tail(st, 0);
}

// Blanks every row of the box.
int kv_blank_box(kv_state *st, int cols) noexcept {
    const int64_t end = kv_box_end(st, kv_box_height(st));
    for (int64_t r = std::max<int64_t>(st->screen.row, 0); r < end; ++r)
        if (kv_box_goto(st, r, st->screen.column) != 0 || kv_blank_here(st, cols) != 0)
            return kv_rc_failed;
    return 0;
}

// Blanks the stored frame where it is now.  A terminal keeps its cursor on
// the text it stood on when it is resized: it pulls rows back from its
// scrollback when it grows taller, pushes rows into it when it shrinks, and
// one that rewraps joins rows when it gets wider; the frame moves with them.
// The cursor is still on the frame's cursor row, so the frame is found from
// there, wherever it went.
int kv_blank_old_frame(kv_state *st, int cols) noexcept {
    const kv_render_store &s = st->screen.store;
    const int fd = st->io.out_fd;
    if (kv_write_seq(fd, kv_seq_cr) != 0) return kv_rc_failed;
    if (s.cursor_row > 0 && kv_write_format(fd, kv_seq_up, s.cursor_row) != 0) return kv_rc_failed;
    for (int32_t i = 0; i < s.count; ++i) {
        if (i > 0 && (kv_write_format(fd, kv_seq_down, 1) != 0 || kv_write_seq(fd, kv_seq_cr) != 0))
            return kv_rc_failed;
        if (st->screen.column > 0 && kv_write_format(fd, kv_seq_right, st->screen.column) != 0)
            return kv_rc_failed;
        if (kv_blank_here(st, cols) != 0) return kv_rc_failed;
    }
    return 0;
}

// The terminal changed size since the stored frame was drawn.  A terminal
// that rewraps has split each row of the frame (filled out to the box's
// right edge) into several when it became narrower, and moved them with the
// rewrapped output above, anywhere in the box: then the whole box is
// blanked.  Otherwise the frame is blanked where the terminal moved it.  The
// stored frame is forgotten, so that the editor is drawn whole.
int kv_box_resized(kv_state *st, int cols) noexcept {
    const kv_render_store &s = st->screen.store;
    const int64_t w = cols > 0 ? cols : kv_default_cols;
    const int64_t old_w = s.term_cols > 0 ? s.term_cols : kv_default_cols;
    const bool ok = (w < old_w ? kv_blank_box(st, cols) : kv_blank_old_frame(st, cols)) == 0;
    kv_render_store_reset(st->screen.store);
    return ok ? 0 : kv_rc_failed;
}

int kv_draw_box(kv_state *st, const kv_layout *lo, const kv_box_frame &b) noexcept {
    int cols = 0, rows = 0;
    kv_terminal_size(st, &cols, &rows);
    const kv_render_store &s = st->screen.store;
    if (s.count > 0 && (s.term_cols != cols || s.term_rows != rows)) {
        if (kv_box_resized(st, cols) != 0) return kv_rc_failed;
    } else if (s.count > 0 && s.top != b.top && kv_box_moved(st, b) != 0) {
        return kv_rc_failed;
    }
    if (kv_draw_rows(st, lo, b) != 0) return kv_rc_failed;
    return kv_box_goto(st, int64_t{b.top} + b.win.cursor_row,
                       int64_t{st->screen.column} + b.cursor_col);
}

} // namespace

int kv_term_coord(int64_t position) noexcept {
    if (position < 0) return 1;
    if (position >= INT_MAX) return INT_MAX;
    return static_cast<int>(position + 1);
}

int kv_box_goto(const kv_state *st, int64_t row, int64_t col) noexcept {
    return kv_write_format2(st->io.out_fd, kv_seq_goto, kv_term_coord(row), kv_term_coord(col));
}

int kv_blank_box_row(kv_state *st, int64_t r) noexcept {
    if (kv_box_goto(st, r, st->screen.column) != 0) return kv_rc_failed;
    return kv_clear_box_tail(st, 0);
}

int32_t kv_box_top(const kv_state *st, int32_t height, int32_t visible) noexcept {
    const int64_t top = kv_box_end(st, height) - std::min(visible, height);
    return static_cast<int32_t>(std::max<int64_t>(top, st->screen.row));
}

int kv_box_height(const kv_state *st) noexcept {
    if (!st->screen.auto_height && st->screen.height > 0) return st->screen.height;
    int cols = 0;
    int rows = 0;
    kv_terminal_size(st, &cols, &rows);
    if (rows <= 0) rows = kv_default_rows;
    if (st->screen.bounded && st->screen.auto_height) rows -= st->screen.row;
    return std::max(rows, 1);
}

int kv_render_reclaim_box(kv_state *st) noexcept {
    int rc = 0;
    if (st->screen.bounded) {
        int cols = 0, rows = 0;
        kv_terminal_size(st, &cols, &rows);
        rc = kv_blank_box(st, cols);
    }
    kv_render_store_reset(st->screen.store);
    return rc;
}

int kv_clear_box_tail(kv_state *st, int column) noexcept {
    const int64_t fill = static_cast<int64_t>(kv_screen_width(st)) - column;
    // One write per space, so that a terminal that is slow or fails shows
    // exactly how far the row was filled.
    for (int64_t k = 0; k < fill; ++k)
        if (kv_write_all(st->io.out_fd, " ", 1) != 0) return kv_rc_failed;
    return 0;
}

int kv_render_apply_bounded(kv_state *st, const kv_layout &lo) noexcept {
    const kv_box_frame b = kv_box_frame_of(st, &lo);
    int cols = 0, rows = 0;
    kv_terminal_size(st, &cols, &rows);
    const bool same_size = st->screen.store.term_cols == cols && st->screen.store.term_rows == rows;
    if (same_size && kv_render_store_matches(st->screen.store, lo, b.win, b.cursor_col, b.top))
        return 0;
    if (kv_draw_box(st, &lo, b) != 0)
        return kv_fail_with(st, kv_result::failed, kv_msg_bounded_write);
    return kv_render_store_frame(st, lo, b.win, b.cursor_col, b.top);
}

extern "C" {

int kv_set_bounds_method(kv_editor *ed, int32_t column, int32_t row, int32_t width,
                         int32_t height) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return kv_rc_invalid;
    if (column < 0 || row < 0 || width < 0 || height < 0) {
        return kv_fail_with(st, kv_result::invalid, kv_msg_invalid_bounds);
    }
    kv_render_set_geometry(st->screen, column, row, width, height, true);
    // The next drawing starts afresh in the new box.
    kv_render_store_reset(st->screen.store);
    return 0;
}

int kv_set_screen_width_method(kv_editor *ed, int32_t width) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return kv_rc_invalid;
    if (width < 0) return kv_fail_with(st, kv_result::invalid, kv_msg_invalid_width);
    kv_render_set_width(st->screen, width);
    return 0;
}

} // extern "C"

void kv_render_set_geometry(kv_screen &s, int32_t column, int32_t row, int32_t width,
                            int32_t height, bool bounded) noexcept {
    s.column = column;
    s.row = row;
    s.height = height;
    s.bounded = bounded;
    // A height of 0 follows the terminal only in a box; unbounded, the
    // editor takes as many rows as the line needs.
    s.auto_height = bounded && height == 0;
    kv_render_set_width(s, width);
}

void kv_render_set_width(kv_screen &s, int32_t width) noexcept {
    s.width = width;
    s.auto_width = width == 0;
}
