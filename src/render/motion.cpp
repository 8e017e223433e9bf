// Vertical cursor motion: moves the edit cursor one screen row up or down
// through the wrapped layout, keeping its column as far as the target row
// allows.
#include "../text/text.h"
#include "render.h"

namespace {

// The buffer position on row that lies under screen column goal: the start
// of the cluster covering that column, the row's start when the column lies
// left of its text, the row's end when the text is shorter.
size_t kv_position_at(const char *line, const kv_layout_row &row, int32_t goal) noexcept {
    int32_t c = row.text_col;
    if (goal <= c) return row.start;
    if (row.start >= row.end) return row.end;
    size_t p = row.start;
    while (p < row.end) {
        int w = 0;
        size_t n = 1;
        if (line[p] == '\t') w = kv_tab_stop - c % kv_tab_stop;
        else n = kv_utf8_cluster_len_width(line, row.end, p, &w);
        c += w;
        if (goal < c) return p;
        p += n ? n : 1;
    }
    return row.end;
}

} // namespace

int kv_move_visual(kv_editor *ed, const char *prompt, int delta) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return 0;
    kv_layout lo{};
    if (kv_render_build(ed, prompt, &lo) != 0) {
        kv_layout_free(&lo);
        return 0;
    }
    int64_t t = static_cast<int64_t>(lo.cursor_row) + delta;
    if (t < 0 || t >= lo.count) {
        kv_layout_free(&lo);
        return 0;
    }
    size_t pos = kv_position_at(st->line, lo.rows[t], lo.cursor_col);
    kv_layout_free(&lo);
    if (pos == st->cursor) return 0;
    st->cursor = pos;
    return 1;
}
