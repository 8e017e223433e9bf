// What the last noted drawing showed, so that a pass that changed nothing
// (an idle tick, an interrupted wait) need not build the layout again.
#include <cstring>

#include "base/alloc.h"
#include "base/error.h"
#include "render/internal.h"
#include "render/render.h"

namespace {

bool kv_text_take(kv_render_shown::kv_text *t, const char *p, size_t n) noexcept {
    if (n > t->room) {
        auto *grown = static_cast<char *>(kv_realloc(t->bytes, n));
        if (!grown) return false;
        t->bytes = grown;
        t->room = n;
    }
    if (n) std::memcpy(t->bytes, p, n);
    t->len = n;
    return true;
}

bool kv_text_same(const kv_render_shown::kv_text &t, const char *p, size_t n) noexcept {
    return n == t.len && (n == 0 || std::memcmp(t.bytes, p, n) == 0);
}

kv_render_shown::kv_scalars kv_scalars_of(const kv_state *st, bool size = true) noexcept {
    kv_render_shown::kv_scalars s{};
    s.cursor = st->line.cursor;
    s.column = st->screen.column;
    s.row = st->screen.row;
    s.width = st->screen.width;
    s.height = st->screen.height;
    s.bounded = st->screen.bounded;
    s.auto_width = st->screen.auto_width;
    s.auto_height = st->screen.auto_height;
    if (size) kv_terminal_size(st, &s.cols, &s.rows);
    s.store_count = st->screen.store.count;
    s.store_top = st->screen.store.top;
    s.store_row = st->screen.store.cursor_row;
    s.store_col = st->screen.store.cursor_col;
    return s;
}

} // namespace

// The scalars are taken before the drawing, and the terminal size is the one
// the drawing asked for (recorded with the frame), so that a resize during
// the drawing shows as a change next time.  The texts are noted only after a
// drawing that succeeded.
int kv_render_apply_noted(kv_editor *ed, const char *prompt) noexcept {
    kv_state *st = ed->state;
    kv_render_shown &m = st->screen.shown;
    m.valid = false;
    m.scalars = kv_scalars_of(st, false);
    if (kv_render_apply(ed, prompt) != 0) return kv_rc_failed;
    const kv_render_store &s = st->screen.store;
    m.scalars.cols = s.term_cols;
    m.scalars.rows = s.term_rows;
    m.scalars.store_count = s.count;
    m.scalars.store_top = s.top;
    m.scalars.store_row = s.cursor_row;
    m.scalars.store_col = s.cursor_col;
    m.valid = kv_text_take(&m.line, st->line.text, st->line.len) &&
              kv_text_take(&m.prompt, prompt, std::strlen(prompt));
    return 0;
}

bool kv_render_unchanged(const kv_state *st, const char *prompt) noexcept {
    const kv_render_shown &m = st->screen.shown;
    return m.valid && kv_scalars_of(st) == m.scalars &&
           kv_text_same(m.line, st->line.text, st->line.len) &&
           kv_text_same(m.prompt, prompt, std::strlen(prompt));
}

void kv_render_release(kv_screen &s) noexcept {
    kv_render_store_reset(s.store);
    kv_free(s.shown.line.bytes);
    kv_free(s.shown.prompt.bytes);
    s.shown = kv_render_shown{};
}
