// Inside the render room: the layout with its rows, the catalogue of control
// sequences and their writers, the stored frame, the window of a tall frame
// and the box of bounded mode.  Other rooms draw through render.h only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/io.h"
#include "base/state.h"
#include "kavrik.h"
#include "render/render.h"

struct kv_layout_row {
    char *text; // bytes to print, NUL-terminated; null when nothing appended
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

// Owns a layout from its build to the end of the scope.
class kv_layout_owner {
  public:
    kv_layout_owner() = default;
    ~kv_layout_owner() { kv_layout_free(&lo_); }
    kv_layout_owner(const kv_layout_owner &) = delete;
    kv_layout_owner &operator=(const kv_layout_owner &) = delete;

    kv_layout *get() noexcept { return &lo_; }
    kv_layout *operator->() noexcept { return &lo_; }
    const kv_layout &operator*() const noexcept { return lo_; }

  private:
    kv_layout lo_{};
};

// ---- layout ----------------------------------------------------------------

// Everything a layout depends on: the prompt, the line with the cursor's
// byte offset, and the effective screen width; whether every character is
// shown as '*', and the hint shown right of the line (text null: none).
struct kv_layout_input {
    std::string_view prompt;
    std::string_view line;
    size_t cursor;
    int32_t width;
    bool mask;
    kv_hint hint;
};

// Lays in out into *lo (emptied first); 0, or -1 when memory runs out.
int kv_layout_build(const kv_layout_input &in, kv_layout *lo) noexcept;
// The input of the editor's next drawing with this prompt (null: none).
kv_layout_input kv_layout_input_of(const kv_state *st, const char *prompt) noexcept;
// kv_layout_build on the editor's state; -1 also for a missing state.
int kv_render_build(kv_editor *ed, const char *prompt, kv_layout *lo) noexcept;
// kv_render_build for a drawing: with the hint the editor's source gives
// for the line, unless hints are off for this drawing.
int kv_render_build_shown(kv_editor *ed, const char *prompt, kv_layout *lo) noexcept;

// Rows of a layout (rows.cpp).  Appending n bytes that take cols columns,
// n spaces, or the cluster text[from..to) of cols columns with its control
// bytes left out; 0, or -1 when memory runs out.
int kv_row_append(kv_layout_row &row, const char *bytes, size_t n, int32_t cols) noexcept;
int kv_row_append_spaces(kv_layout_row &row, int32_t n) noexcept;
int kv_row_append_cluster(kv_layout_row &row, const char *text, size_t from, size_t to,
                          int32_t cols) noexcept;
int kv_render_new_row_at(kv_layout *lo, size_t offset, int32_t col) noexcept;
int kv_render_new_indented_row(kv_layout *lo, int32_t indent, size_t offset) noexcept;

// Effective screen width W (the configured width, else the terminal's
// columns, 80 when unknown, less the box column in bounded mode; at least 1).
int kv_screen_width(const kv_state *st) noexcept;

// Columns the prompt takes.  Escape sequences (colours, titles) take none,
// so a coloured prompt measures as its visible text.
int32_t kv_prompt_width(const char *prompt, size_t len) noexcept;
// Words break at whitespace and, for wrapping only, at NUL bytes too.
bool kv_is_separator(unsigned char b) noexcept;
// A printable ASCII byte that nothing after it can join: a cluster of one
// byte and one column, known without decoding.
bool kv_ascii_cluster(const char *text, size_t len, size_t p) noexcept;
// The end of the word at p (in *end) and its columns, in one pass while the
// word is printable ASCII; *ascii tells whether all of it was.
int64_t kv_scan_word(const char *text, size_t len, size_t p, size_t *end, bool *ascii) noexcept;

// ---- terminal output catalogue -------------------------------------------------

// The fixed sequences, each written by its own kv_write_all call (the line
// end, kv_seq_crlf, is in render.h).
inline constexpr std::string_view kv_seq_cr = "\r";               // to the first column
inline constexpr std::string_view kv_seq_erase_right = "\x1b[0K"; // erase to the end of the row
inline constexpr std::string_view kv_seq_erase_row = "\r\x1b[0K"; // first column, erase the row
inline constexpr std::string_view kv_seq_region_reset = "\x1b[r"; // scroll region: whole screen
// Formats for kv_write_format (one number) and kv_write_format2 (two).
inline constexpr const char *kv_seq_up = "\x1b[%dA";
inline constexpr const char *kv_seq_down = "\x1b[%dB"; // never scrolls
inline constexpr const char *kv_seq_right = "\x1b[%dC";
inline constexpr const char *kv_seq_goto = "\x1b[%d;%dH";   // row, column (1-based)
inline constexpr const char *kv_seq_region = "\x1b[%d;%dr"; // scroll region top, bottom

// The size assumed when the terminal does not tell, and the tab stops.
inline constexpr int kv_default_cols = 80;
inline constexpr int kv_default_rows = 24;
inline constexpr int32_t kv_tab_stop = 8;

// ---- screen update -----------------------------------------------------------

// The layout rows that a screen of `height` rows shows: V = min(height,
// max(N, 1)) rows from row F, chosen so that the cursor's row is among them
// (the top of the layout while the cursor is in its first V rows, else the
// cursor's row last), and the cursor's row R' counted from F.
struct kv_render_window {
    int32_t first;
    int32_t count;
    int32_t cursor_row;
};
kv_render_window kv_render_window_of(const kv_layout &lo, int32_t height) noexcept;

int kv_render_store_update(kv_state *st, const kv_layout *lo, int first, int count, int cursor_row,
                           int cursor_col, int top) noexcept;
// True when stored row i holds exactly the bytes of row.
bool kv_render_store_row_equal(const kv_render_store &s, int32_t i,
                               const kv_layout_row &row) noexcept;
// True when the store already holds the window of lo, drawn at top with the
// cursor at (window cursor row, cursor_col): the drawing would write nothing.
bool kv_render_store_matches(const kv_render_store &s, const kv_layout &lo,
                             const kv_render_window &win, int32_t cursor_col, int32_t top) noexcept;
// Stores the window of lo as the frame just drawn; on failure sets "out of
// memory while storing terminal render state" and returns -1.
int kv_render_store_frame(kv_state *st, const kv_layout &lo, const kv_render_window &win,
                          int32_t cursor_col, int32_t top) noexcept;
// Formats one catalogue sequence ("\e[%dA", "\e[%d;%dH", ...) and writes it.
int kv_write_format(int fd, const char *fmt, int a) noexcept;
int kv_write_format2(int fd, const char *fmt, int a, int b) noexcept;

// ---- bounded mode --------------------------------------------------------------

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
// The bounded branch of kv_render_apply, for a built layout (row 0 present).
int kv_render_apply_bounded(kv_state *st, const kv_layout &lo) noexcept;
int kv_clear_box_tail(kv_state *st, int column) noexcept;
// Positions on screen row r at the box column and fills the whole box row
// with spaces; 0 or -1.
int kv_blank_box_row(kv_state *st, int64_t r) noexcept;

// ---- printing above ----------------------------------------------------------------

// Pulls the producer's chunks and writes them, line feeds as "\r\n"; 0, the
// producer's own nonzero result, -2 for a chunk without bytes, -4 when a
// write fails.
int kv_write_stream(kv_editor *ed, kv_print_callback cb, void *user) noexcept;
