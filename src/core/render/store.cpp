// The render store: a copy of the rows that the last drawing put on the
// screen, so that the next drawing can rewrite only what differs.
#include <cstring>

#include "base/alloc.h"
#include "base/error.h"
#include "render/internal.h"
#include "render/messages.h"

void kv_render_store_reset(kv_render_store &s) noexcept {
    for (int32_t i = 0; i < s.capacity; ++i)
        kv_free(s.rows[i]);
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

namespace {

// Grows one of the three arrays to cap entries, zero-filling the new ones.
template <typename T> bool kv_store_grow(T *&array, int32_t old_cap, int32_t cap) noexcept {
    auto *grown = static_cast<T *>(kv_realloc(array, sizeof(T) * static_cast<size_t>(cap)));
    if (!grown) return false;
    for (int32_t i = old_cap; i < cap; ++i)
        grown[i] = T{};
    array = grown;
    return true;
}

// Makes room for count rows.  A failure leaves the arrays grown so far at
// their new size, with capacity still the old (smaller) value, which keeps
// every entry below capacity valid.
int kv_store_reserve(kv_render_store &s, int32_t count) noexcept {
    if (s.capacity >= count) return 0;
    if (!kv_store_grow(s.rows, s.capacity, count)) return kv_rc_failed;
    if (!kv_store_grow(s.lens, s.capacity, count)) return kv_rc_failed;
    if (!kv_store_grow(s.widths, s.capacity, count)) return kv_rc_failed;
    s.capacity = count;
    return 0;
}

// Replaces stored row i with a copy of a layout row (an empty row becomes an
// empty string, never a null pointer).
int kv_store_copy_row(kv_render_store &s, int32_t i, const kv_layout_row &row) noexcept {
    // A row drawn as it was stays as it is stored.
    if (i < s.count && s.rows[i] && kv_render_store_row_equal(s, i, row) &&
        s.widths[i] == row.width)
        return 0;
    char *copy = kv_strndup(row.len ? row.text : "", row.len);
    if (!copy) return kv_rc_failed;
    kv_free(s.rows[i]);
    s.rows[i] = copy;
    s.lens[i] = row.len;
    s.widths[i] = row.width;
    return 0;
}

} // namespace

int kv_render_store_update(kv_state *st, const kv_layout *lo, int first, int count, int cursor_row,
                           int cursor_col, int top) noexcept {
    if (!st || !lo || first < 0 || count < 0 || count > lo->count - first) return kv_rc_failed;
    kv_render_store &s = st->screen.store;
    if (kv_store_reserve(s, count) != 0) return kv_rc_failed;
    for (int32_t i = 0; i < count; ++i)
        if (kv_store_copy_row(s, i, lo->rows[first + i]) != 0) return kv_rc_failed;
    for (int32_t i = count; i < s.count; ++i) {
        kv_free(s.rows[i]);
        s.rows[i] = nullptr;
        s.lens[i] = 0;
        s.widths[i] = 0;
    }
    s.count = count;
    s.top = top;
    s.cursor_row = cursor_row;
    s.cursor_col = cursor_col;
    return 0;
}

bool kv_render_store_row_equal(const kv_render_store &s, int32_t i,
                               const kv_layout_row &row) noexcept {
    return s.lens[i] == row.len && (row.len == 0 || std::memcmp(s.rows[i], row.text, row.len) == 0);
}

bool kv_render_store_matches(const kv_render_store &s, const kv_layout &lo,
                             const kv_render_window &win, int32_t cursor_col,
                             int32_t top) noexcept {
    if (s.count != win.count || s.top != top || s.cursor_row != win.cursor_row ||
        s.cursor_col != cursor_col)
        return false;
    for (int32_t i = 0; i < win.count; ++i)
        if (!kv_render_store_row_equal(s, i, lo.rows[win.first + i])) return false;
    return true;
}

int kv_render_store_frame(kv_state *st, const kv_layout &lo, const kv_render_window &win,
                          int32_t cursor_col, int32_t top) noexcept {
    if (kv_render_store_update(st, &lo, win.first, win.count, win.cursor_row, cursor_col, top) ==
        0) {
        kv_terminal_size(st, &st->screen.store.term_cols, &st->screen.store.term_rows);
        return 0;
    }
    kv_set_error(st, kv_msg_store);
    return kv_rc_failed;
}
