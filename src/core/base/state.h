// The private editor state: one zero-filled record per editor, owned by the
// handle from creation to kv_destroy.  Every room reads and writes its own
// fields here; the record stays plain data so that calloc can create it.
#pragma once

#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "kavrik.h"

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

struct kv_key_binding {
    int key;                  // key code; never 0 in an entry in use
    kv_key_callback callback; // null marks a free entry
    void *user_data;
};

// The record of a terminal readline call (the edit room's), kept from one
// step of the call to the next.
struct kv_call;

inline constexpr int kv_binding_slots = 64;
inline constexpr size_t kv_error_size = 160;

struct kv_state {
    int in_fd;
    int out_fd;

    // Geometry (bounded mode and screen width).
    int column;
    int row;
    int width;
    int height;
    int bounded;
    int auto_width;
    int auto_height;

    // Line buffer.  Creation allocates it, so line is never null until
    // kv_destroy.
    char *line;
    size_t line_len;
    size_t line_cap;
    size_t max_line_len;
    size_t cursor;

    // Terminal mode.
    int raw_active;
    struct termios saved_termios;

    // History, kept as a ring: logical entry i (0 = oldest) lives at
    // history[(history_head + i) % history_cap].  The array grows by doubling
    // up to history_max_len, so a large limit costs nothing up front.
    char **history;
    int history_count;
    int history_max_len;
    int history_index;    // navigation: -1 when no walk is in progress
    char *history_saved;  // the typed line saved when the walk began
    char **history_edits; // during a walk: the edited text left at entry i, or null
    int history_edits_cap; // entries allocated in history_edits
    int history_cap;      // entries allocated in history
    int history_head;     // ring position of the oldest entry

    int paste_active;

    kv_render_store store;
    kv_render_extras extras;
    // While a drawing runs, the terminal size it asked for once: every part
    // of one drawing uses the same size, even if the terminal is resized
    // meanwhile.
    int size_pinned;
    int pinned_cols;
    int pinned_rows;
    const char *active_prompt; // prompt of the running readline call, or null

    int readline_active;
    kv_call *call; // allocated with the editor
    int submit_requested;
    int cancel_requested;
    int pending_byte_set;
    unsigned char pending_byte;
    int plain_last_cr;  // the last plain-path line ended with a CR
    int last_status;

    kv_idle_callback idle_callback;
    void *idle_user_data;

    kv_key_binding bindings[kv_binding_slots];

    char last_error[kv_error_size];
};

static_assert(std::is_trivially_copyable_v<kv_state>,
              "kv_state must stay a plain record");

// The state behind a handle, or null for a null handle or a missing state.
inline kv_state *kv_state_of(kv_editor *ed) { return ed ? ed->state : nullptr; }
