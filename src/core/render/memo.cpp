// The inputs of the last drawing, kept so that an idle tick can tell that
// nothing it depends on changed and skip building the layout.
#include <cstring>

#include "base/alloc.h"
#include "render/internal.h"
#include "render/render.h"

bool kv_frame_memo::kv_copy::take(const char *p, size_t n) noexcept {
    if (n > room) {
        auto *grown = static_cast<char *>(kv_realloc(bytes, n));
        if (!grown) return false;
        bytes = grown;
        room = n;
    }
    if (n) std::memcpy(bytes, p, n);
    len = n;
    return true;
}

bool kv_frame_memo::kv_copy::same(const char *p, size_t n) const noexcept {
    return n == len && (n == 0 || std::memcmp(bytes, p, n) == 0);
}

kv_frame_memo::~kv_frame_memo() {
    kv_free(line_.bytes);
    kv_free(prompt_.bytes);
}

kv_frame_memo::kv_inputs kv_frame_memo::inputs_of(const kv_state *st, bool size) noexcept {
    kv_inputs s{};
    s.cursor = st->line.cursor;
    s.column = st->screen.column;
    s.row = st->screen.row;
    s.width = st->screen.width;
    s.height = st->screen.height;
    s.bounded = st->screen.bounded;
    s.auto_width = st->screen.auto_width;
    s.auto_height = st->screen.auto_height;
    if (size) kv_terminal_size(st, &s.cols, &s.rows);
    s.frame = kv_frame_of(st->screen.store);
    return s;
}

void kv_frame_memo::begin(const kv_state *st) noexcept {
    valid_ = false;
    inputs_ = inputs_of(st, false);
}

void kv_frame_memo::commit(const kv_state *st, const char *prompt) noexcept {
    inputs_.cols = st->screen.store.term_cols;
    inputs_.rows = st->screen.store.term_rows;
    inputs_.frame = kv_frame_of(st->screen.store);
    valid_ = line_.take(st->line.text, st->line.len) && prompt_.take(prompt, std::strlen(prompt));
}

bool kv_frame_memo::unchanged(const kv_state *st, const char *prompt) const noexcept {
    return valid_ && inputs_of(st) == inputs_ && line_.same(st->line.text, st->line.len) &&
           prompt_.same(prompt, std::strlen(prompt));
}
