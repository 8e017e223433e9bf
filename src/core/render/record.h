// The render room's record in the editor state: the geometry and the frame
// the last drawing left on the screen.
#pragma once

#include <cstddef>
#include <cstdint>

// What the last successful drawing put on the screen.
struct kv_render_store {
    int32_t count;      // rows stored; 0: nothing known to be on the screen
    int32_t top;        // bounded: screen row of stored row 0; normal: -1
    int32_t cursor_row; // row the drawing left the cursor on, from row 0
    int32_t cursor_col; // column of the cursor (from the box column, bounded)
    char **rows;        // copies of the drawn row texts, NUL-terminated
    size_t *lens;       // byte length of each stored row
    int32_t *widths;    // columns each stored row occupies
    int32_t capacity;   // entries allocated in each array
    int32_t term_cols;  // terminal size the frame was drawn at (0: unknown)
    int32_t term_rows;
};

// A hint drawn right of the line: its bytes (not NUL-terminated), and the
// colour (an SGR foreground number, -1 for none) and boldness it is shown in.
struct kv_hint {
    const char *text;
    size_t len;
    int color;
    int bold;
};
// Asked at each drawing for the hint that goes with the line; fills *out
// (text null: no hint).  The release function, when set, is called with the
// hint once the drawing has copied it.
using kv_hint_source = void (*)(void *user, const char *line, size_t len, kv_hint *out);
using kv_hint_release = void (*)(void *user, kv_hint *hint);

// What a drawing shows besides the line itself, set through the private
// link only: a mask that shows each character as '*', and hints.
struct kv_render_extras {
    int mask;
    int hint_off; // set for the final drawing of a call: no hint then
    kv_hint_source hint_source;
    kv_hint_release hint_release;
    void *hint_user;
};

// What the last noted drawing showed: its scalar inputs and its texts.  An
// idle tick that finds all of it unchanged has nothing to draw and skips
// building the layout.  The texts are copies the record owns.
struct kv_render_shown {
    struct kv_scalars {
        size_t cursor;
        int column, row, width, height, bounded, auto_width, auto_height;
        int cols, rows;
        int32_t store_count, store_top, store_row, store_col;
        bool operator==(const kv_scalars &) const = default;
    };
    struct kv_text {
        char *bytes;
        size_t len;
        size_t room;
    };
    bool valid;
    kv_scalars scalars;
    kv_text line, prompt;
};

struct kv_screen {
    // Geometry (bounded mode and screen width).
    int column;
    int row;
    int width;
    int height;
    int bounded;
    int auto_width;
    int auto_height;

    kv_render_store store;
    kv_render_extras extras;
    kv_render_shown shown;
    // While a drawing runs, the terminal size it asked for once: every part
    // of one drawing uses the same size, even if the terminal is resized
    // meanwhile.
    int size_pinned;
    int pinned_cols;
    int pinned_rows;
};
