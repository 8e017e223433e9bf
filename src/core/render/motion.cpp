// Vertical cursor motion: moves the edit cursor one screen row up or down
// through the wrapped layout, keeping its column as far as the target row
// allows.
#include "render/internal.h"
#include "text/text.h"

namespace {

// The buffer position on row that lies under screen column goal: the start
// of the cluster covering that column, the row's start when the column lies
// left of its text, the row's end when the text is shorter.
size_t kv_position_at(const char *line, const kv_layout_row &row, int32_t goal,
                      bool mask) noexcept {
    int32_t c = row.text_col;
    if (goal <= c) return row.start;
    if (row.start >= row.end) return row.end;
    size_t p = row.start;
    while (p < row.end) {
        int w = 0;
        size_t n = 1;
        if (line[p] == '\t' && !mask)
            w = kv_tab_stop - c % kv_tab_stop;
        else
            n = kv_utf8_cluster_len_width(line, row.end, p, &w);
        if (mask) w = 1; // a masked character is one '*'
        c += w;
        if (goal < c) return p;
        p += n ? n : 1;
    }
    return row.end;
}

// The row on which the layout shows the cursor when it stands at pos.
int32_t kv_row_showing(kv_layout_input in, size_t pos) noexcept {
    in.cursor = pos;
    kv_layout_owner lo;
    return kv_layout_build(in, lo.get()) == 0 ? lo->cursor_row : -1;
}

// A row that ends where the text wraps shows its end offset at the start of
// the next row (the wrap drops the spaces there, or the next row begins
// with that byte).  Landing there would leave the cursor visibly on the row
// it came from, so it takes the row's last cluster instead.
size_t kv_keep_on_row(const kv_layout_input &in, const kv_layout_row &row, int32_t target,
                      size_t pos) noexcept {
    if (pos != row.end || row.start >= row.end) return pos;
    int32_t shown = kv_row_showing(in, pos);
    if (shown < 0 || shown == target) return pos;
    const char *text = in.line.data() + row.start;
    return row.end - kv_utf8_prev_cluster_len(text, row.end - row.start);
}

} // namespace

int32_t kv_render_rows(kv_editor *ed, const char *prompt, int32_t *cursor_row) noexcept {
    if (cursor_row) *cursor_row = 0;
    if (!kv_state_of(ed)) return 0;
    kv_layout_owner lo;
    int32_t rows = kv_render_build(ed, prompt, lo.get()) == 0 ? lo->count : 0;
    if (rows > 0 && cursor_row) *cursor_row = lo->cursor_row;
    return rows;
}

int kv_move_visual(kv_editor *ed, const char *prompt, int delta) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return 0;
    const kv_layout_input in = kv_layout_input_of(st, prompt);
    kv_layout_owner lo;
    if (kv_layout_build(in, lo.get()) != 0) return 0;
    int64_t t = static_cast<int64_t>(lo->cursor_row) + delta;
    if (t < 0 || t >= lo->count) return 0;
    const kv_layout_row &row = lo->rows[t];
    size_t pos = kv_position_at(st->line.text, row, lo->cursor_col, in.mask);
    pos = kv_keep_on_row(in, row, static_cast<int32_t>(t), pos);
    if (pos == st->line.cursor) return 0;
    st->line.cursor = pos;
    return 1;
}
