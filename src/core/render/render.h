// Terminal rendering: the layout of prompt and line into screen rows, the
// screen update by difference against the stored frame, bounded mode, and
// printing above the editor.  This is what the other rooms use; the rest
// lives in render/internal.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/state.h"
#include "kavrik.h"

extern "C" {
int kv_set_bounds_method(kv_editor *ed, int32_t column, int32_t row, int32_t width,
                         int32_t height) noexcept;                     // slot set_bounds
int kv_set_screen_width_method(kv_editor *ed, int32_t width) noexcept; // slot set_screen_width
int kv_print_above_method(kv_editor *ed, kv_print_callback cb,
                          void *user) noexcept; // slot print_above
}

// Sets the geometry from a configuration or kv_set_bounds: the box column and
// row, the width and height (0: follow the terminal), and whether the editor
// is bounded.
void kv_render_set_geometry(kv_screen &s, int32_t column, int32_t row, int32_t width,
                            int32_t height, bool bounded) noexcept;
// Sets the layout width alone (0: follow the terminal).
void kv_render_set_width(kv_screen &s, int32_t width) noexcept;

// Shows every character of the line as one '*' while on (a password being
// typed): its text, widths and word boundaries never reach the screen.
void kv_render_set_mask(kv_state *st, bool on) noexcept;
// Draws the hint that source gives for the line right of it, on the last
// row where it fits, at every drawing but a call's final one (null source:
// no hints).  release, when set, gets each hint back after its drawing.
void kv_render_set_hints(kv_state *st, kv_hint_source source, kv_hint_release release,
                         void *user) noexcept;
// Leaves hints out of the drawings until switched back on.
void kv_render_hints_off(kv_state *st, bool off) noexcept;

// Draws the editor with this prompt (null: none) by difference against the
// stored frame; 0, or -1 with the message set.
int kv_render_apply(kv_editor *ed, const char *prompt) noexcept;
// Draws like kv_render_apply and notes what the drawing showed.
int kv_render_apply_noted(kv_editor *ed, const char *prompt) noexcept;
// True when the last noted drawing showed this prompt, the current line and
// cursor, at the present geometry and terminal size, over the present stored
// frame: drawing again would change nothing.
bool kv_render_unchanged(const kv_state *st, const char *prompt) noexcept;
// Frees what the screen record holds: the stored frame and the noted texts.
void kv_render_release(kv_screen &s) noexcept;
// Forgets the stored frame: the next drawing writes every row.
void kv_render_store_reset(kv_render_store &s) noexcept;
// The terminal was out of the editor's hands (the program was stopped, and
// others wrote to it): in bounded mode that output may have moved the frame
// anywhere in the box, so every box row is blanked.  Then the stored frame
// is forgotten.  0, or -1 when a write failed (no message).
int kv_render_reclaim_box(kv_state *st) noexcept;
// Erases the drawn editor from the screen and forgets the frame; 0 or -1
// (no message: the caller reports it).
int kv_render_clear_active(kv_editor *ed) noexcept;
// Puts the cursor below the finished line: a line end, or in bounded mode
// column 1 of the row under the box; 0, or -1 with the message set.
int kv_leave_line(kv_state *st) noexcept;
// Moves the edit cursor delta screen rows through the wrapped layout,
// keeping its column where the target row allows; 1 when it moved.
int kv_move_visual(kv_editor *ed, const char *prompt, int delta) noexcept;
// Rows of the layout for prompt and the current line (0 when it cannot be
// built), and in *cursor_row the row that shows the cursor.
int32_t kv_render_rows(kv_editor *ed, const char *prompt, int32_t *cursor_row) noexcept;

// Terminal size from TIOCGWINSZ on out_fd; 0 fields where unknown.
void kv_terminal_size(const kv_state *st, int *cols, int *rows) noexcept;

// The line end of the catalogue, which the readline call writes too.
inline constexpr std::string_view kv_seq_crlf = "\r\n"; // to the next row (scrolls at the bottom)
