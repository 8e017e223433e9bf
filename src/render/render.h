// Terminal rendering: the layout of prompt and line into screen rows, the
// screen update by difference against the stored frame, bounded mode, and
// printing above the editor.  Every terminal write goes through kv_write_all.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kavrik.h"
#include "../api/state.h"

struct kv_layout_row {
    char *text;       // bytes to print, NUL-terminated; null when nothing appended
    size_t len;
    size_t start;     // buffer offset of the first byte shown on the row
    size_t end;       // buffer offset one past the last byte shown
    int32_t text_col; // column where the row's buffer text begins
    int32_t width;    // columns that text occupies
};

struct kv_layout {
    kv_layout_row *rows;
    int32_t capacity;
    int32_t count;
    int32_t cursor_row;
    int32_t cursor_col;
};

// Releases every row text and the row array, and empties the layout.
void kv_layout_free(kv_layout *lo) noexcept;

// ---- layout ----------------------------------------------------------------

int kv_render_build(kv_editor *ed, const char *prompt, kv_layout *lo) noexcept;
int kv_render_new_row_at(kv_layout *lo, size_t offset, int32_t col) noexcept;
int kv_render_new_indented_row(kv_layout *lo, int32_t indent, size_t offset) noexcept;

// Effective screen width W (the configured width, else the terminal's
// columns, 80 when unknown, less the box column in bounded mode; at least 1).
int kv_screen_width(const kv_state *st) noexcept;
// Terminal size from TIOCGWINSZ on out_fd; 0 fields where unknown.
void kv_terminal_size(const kv_state *st, int *cols, int *rows) noexcept;

// ---- screen update -----------------------------------------------------------

int kv_render_apply(kv_editor *ed, const char *prompt) noexcept;
int kv_render_store_update(kv_state *st, const kv_layout *lo, int first, int count,
                           int cursor_row, int cursor_col, int top) noexcept;
void kv_render_store_reset(kv_state *st) noexcept;
int kv_move_visual(kv_editor *ed, const char *prompt, int delta) noexcept;
int kv_write_all(int fd, const char *bytes, size_t len) noexcept;
// Formats one catalogue sequence ("\e[%dA", "\e[%d;%dH", ...) and writes it.
int kv_write_format(int fd, const char *fmt, int a) noexcept;
int kv_write_format2(int fd, const char *fmt, int a, int b) noexcept;

// ---- bounded mode --------------------------------------------------------------

extern "C" {
int kv_set_bounds_method(kv_editor *ed, int32_t column, int32_t row, int32_t width,
                         int32_t height) noexcept;                       // slot set_bounds
int kv_set_screen_width_method(kv_editor *ed, int32_t width) noexcept;   // slot set_screen_width
int kv_print_above_method(kv_editor *ed, kv_print_callback cb, void *user) noexcept; // slot print_above
}

// Box height H (the fixed height, else the terminal's rows less `row`).
int kv_box_height(const kv_state *st) noexcept;
// Screen row T of the first of `visible` editor rows at the bottom of a box of
// `height` rows; never above `row`.
int32_t kv_box_top(const kv_state *st, int32_t height, int32_t visible) noexcept;
// 1-based terminal coordinate of a 0-based position: max(position, 0) + 1,
// clamped to the largest int.
int kv_term_coord(int64_t position) noexcept;
// Writes "\e[%d;%dH" for a 0-based screen row and column.
int kv_box_goto(const kv_state *st, int64_t row, int64_t col) noexcept;
// The bounded branch of kv_render_apply; takes ownership of the built layout.
int kv_render_apply_bounded(kv_editor *ed, kv_layout *lo) noexcept;
int kv_clear_box_tail(kv_state *st, int column) noexcept;

// ---- clearing and printing above ------------------------------------------------

int kv_render_clear_active(kv_editor *ed) noexcept;
int kv_write_stream(kv_editor *ed, kv_print_callback cb, void *user) noexcept;
