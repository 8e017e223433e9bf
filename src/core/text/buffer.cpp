// The line buffer: a growable, zero-terminated byte string with a cursor.
// Capacity starts at 256 and doubles; a text that would pass max_line_len is
// refused whole, so no operation here ever truncates.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/alloc.h"
#include "base/error.h"
#include "base/state.h"
#include "text/messages.h"
#include "text/text.h"

namespace {

constexpr size_t kv_first_block = 256;
constexpr size_t kv_top_bit = ~(~size_t{0} >> 1);

// Resizes the block to cap bytes; on failure everything stays as it was.
int kv_buf_resize(kv_state *st, size_t cap) noexcept {
    auto *block = static_cast<char *>(kv_realloc(st->line.text, cap));
    if (!block) return kv_fail_with(st, kv_result::failed, kv_msg_oom_line);
    st->line.text = block;
    st->line.cap = cap;
    return 0;
}

constexpr ptrdiff_t kv_outside_line = -1;

// Offset of p inside the current line, or kv_outside_line when p points
// elsewhere.  Text taken from kv_buffer() may be handed back to the public
// edits.
ptrdiff_t kv_line_offset(const kv_state *st, const char *p) noexcept {
    if (p < st->line.text || p > st->line.text + st->line.len) return kv_outside_line;
    return p - st->line.text;
}

// Copies k bytes that sat at offset off before the tail from pos was moved k
// bytes right into the gap at pos.
void kv_fill_gap_from_line(kv_state *st, size_t pos, size_t off, size_t k) noexcept {
    size_t before = off < pos ? std::min(pos - off, k) : 0; // bytes not moved
    std::memcpy(st->line.text + pos, st->line.text + off, before);
    size_t moved_from = std::max(off, pos) + k;
    std::memcpy(st->line.text + pos + before, st->line.text + moved_from, k - before);
}

} // namespace

size_t kv_grown_capacity(size_t cap, size_t first, size_t n) noexcept {
    size_t c = cap ? cap : first;
    while (c < n) {
        if (c == 0 || (c & kv_top_bit)) return 0;
        c *= 2;
    }
    return c;
}

int kv_buf_reserve(kv_editor *ed, size_t n) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return kv_rc_failed;
    if (n > st->line.max_len + 1) return kv_fail_with(st, kv_result::failed, kv_msg_line_too_long);
    if (st->line.cap >= n) return 0;
    size_t cap = kv_grown_capacity(st->line.cap, kv_first_block, n);
    if (cap == 0) return kv_fail_with(st, kv_result::failed, kv_msg_line_too_large);
    return kv_buf_resize(st, cap);
}

int kv_buf_insert(kv_editor *ed, size_t pos, const char *bytes, size_t k) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || !bytes) return kv_rc_failed;
    if (k == 0) return 0;
    // The needed size must not wrap round to a small one that seems to fit.
    if (k > SIZE_MAX - 1 - st->line.len) {
        return kv_fail_with(st, kv_result::failed, kv_msg_line_too_long);
    }
    ptrdiff_t self = kv_line_offset(st, bytes);
    if (kv_buf_reserve(ed, st->line.len + k + 1) != 0) return kv_rc_failed;
    pos = std::min(pos, st->line.len);
    std::memmove(st->line.text + pos + k, st->line.text + pos, st->line.len - pos);
    if (self >= 0)
        kv_fill_gap_from_line(st, pos, static_cast<size_t>(self), k);
    else
        std::memcpy(st->line.text + pos, bytes, k);
    st->line.len += k;
    st->line.text[st->line.len] = '\0';
    return 0;
}

void kv_buf_delete(kv_editor *ed, size_t pos, size_t k) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || k == 0 || pos >= st->line.len) return;
    k = std::min(k, st->line.len - pos);
    std::memmove(st->line.text + pos, st->line.text + pos + k, st->line.len - pos - k);
    st->line.len -= k;
    st->line.text[st->line.len] = '\0';
}

int kv_buf_set_bytes(kv_editor *ed, const char *text, size_t len) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return kv_rc_failed;
    if (!text) text = "", len = 0;
    // Compared without adding 1, which would wrap for the largest lengths.
    if (len > st->line.max_len) return kv_fail_with(st, kv_result::failed, kv_msg_line_too_long);
    // A text inside the line is no longer than the line, so the block never
    // moves under it; memmove copes with the overlap.
    size_t n = len + 1;
    if (st->line.cap < n) {
        size_t cap = kv_grown_capacity(st->line.cap, kv_first_block, n);
        if (cap == 0) return kv_fail_with(st, kv_result::failed, kv_msg_line_too_large);
        if (kv_buf_resize(st, cap) != 0) return kv_rc_failed;
    }
    std::memmove(st->line.text, text, len);
    st->line.text[len] = '\0';
    st->line.len = len;
    st->line.cursor = len;
    return 0;
}

int kv_buf_set(kv_editor *ed, const char *text) noexcept {
    return kv_buf_set_bytes(ed, text, text ? std::strlen(text) : 0);
}

extern "C" int kv_buf_insert_cstr(kv_editor *ed, const char *text) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || !text) return kv_rc_invalid;
    size_t k = std::strlen(text);
    if (k == 0) return 0;
    size_t at = std::min(st->line.cursor, st->line.len);
    if (kv_buf_insert(ed, at, text, k) != 0) return kv_rc_failed;
    st->line.cursor = at + k;
    return 0;
}

extern "C" int kv_buf_set_public(kv_editor *ed, const char *text) noexcept {
    if (!ed || !text) return kv_rc_invalid;
    if (!ed->state) return kv_rc_failed;
    return kv_buf_set(ed, text);
}

extern "C" int kv_set_cursor_method(kv_editor *ed, size_t pos) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return kv_rc_invalid;
    st->line.cursor = kv_utf8_boundary_at_most(st->line.text, st->line.len, pos);
    return 0;
}
