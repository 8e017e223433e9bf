// The render store: a copy of the rows that the last drawing put on the
// screen, so that the next drawing can rewrite only what differs.
#include "../api/alloc.h"
#include "render.h"

void kv_render_store_reset(kv_state *st) noexcept {
    if (!st) return;
    kv_render_store &s = st->store;
    for (int32_t i = 0; i < s.capacity; ++i) kv_free(s.rows[i]);
    kv_free(s.rows);
    kv_free(s.lens);
    kv_free(s.widths);
    s.rows = nullptr;
    s.lens = nullptr;
    s.widths = nullptr;
    s.capacity = 0;
    s.count = 0;
    s.cursor_row = 0;
    s.cursor_col = 0;
}
