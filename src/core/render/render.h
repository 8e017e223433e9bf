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
                         int32_t height) noexcept;                       // slot set_bounds
int kv_set_screen_width_method(kv_editor *ed, int32_t width) noexcept;   // slot set_screen_width
int kv_print_above_method(kv_editor *ed, kv_print_callback cb, void *user) noexcept; // slot print_above
}

// Sets the geometry from a configuration or kv_set_bounds: the box column and
// row, the width and height (0: follow the terminal), and whether the editor
// is bounded.
void kv_render_set_geometry(kv_screen &s, int32_t column, int32_t row, int32_t width,
                            int32_t height, bool bounded) noexcept;
// Sets the layout width alone (0: follow the terminal).
void kv_render_set_width(kv_screen &s, int32_t width) noexcept;

// Draws the editor with this prompt (null: none) by difference against the
// stored frame; 0, or -1 with the message set.
int kv_render_apply(kv_editor *ed, const char *prompt) noexcept;
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

// What a drawing depends on, as of the last one the owner made: the line,
// the cursor, the prompt, the geometry, the terminal size and the frame the
// drawing left.  An idle tick that finds all of it unchanged has nothing to
// draw and skips building the layout.
class kv_frame_memo {
public:
    kv_frame_memo() = default;
    ~kv_frame_memo();
    kv_frame_memo(const kv_frame_memo &) = delete;
    kv_frame_memo &operator=(const kv_frame_memo &) = delete;

    // Before a drawing: the inputs.  The terminal size is the one the
    // drawing asked for (recorded with the frame), so that a resize during
    // the drawing shows as a change next time.
    void begin(const kv_state *st) noexcept;
    // After a successful drawing: the frame and the texts it showed.
    void commit(const kv_state *st, const char *prompt) noexcept;
    bool unchanged(const kv_state *st, const char *prompt) const noexcept;

private:
    // Where the stored frame left the screen.
    struct kv_frame {
        int32_t count, top, cursor_row, cursor_col;
        bool operator==(const kv_frame &) const = default;
    };
    static kv_frame kv_frame_of(const kv_render_store &s) noexcept {
        return {s.count, s.top, s.cursor_row, s.cursor_col};
    }
    struct kv_inputs {
        size_t cursor;
        int column, row, width, height, bounded, auto_width, auto_height;
        int cols, rows;
        kv_frame frame;
        bool operator==(const kv_inputs &) const = default;
    };
    struct kv_copy {
        char *bytes = nullptr;
        size_t len = 0;
        size_t room = 0;
        bool take(const char *p, size_t n) noexcept;
        bool same(const char *p, size_t n) const noexcept;
    };
    static kv_inputs inputs_of(const kv_state *st, bool size = true) noexcept;

    bool valid_ = false;
    kv_inputs inputs_{};
    kv_copy line_, prompt_;
};

// Terminal size from TIOCGWINSZ on out_fd; 0 fields where unknown.
void kv_terminal_size(const kv_state *st, int *cols, int *rows) noexcept;

// The line end of the catalogue, which the readline call writes too.
inline constexpr std::string_view kv_seq_crlf = "\r\n"; // to the next row (scrolls at the bottom)
