// Row texts of a layout: rows grown geometrically, clusters appended with
// the control bytes kept off the screen, and the layout's rows allocated.
// Nothing here writes to the terminal.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "base/alloc.h"
#include "base/error.h"
#include "render/internal.h"
#include "text/text.h"

namespace {

constexpr int32_t kv_first_rows = 8;
constexpr int32_t kv_doubling_limit = 0x3FFFFFFF;
constexpr size_t kv_min_text_block = 64;

// ---- row texts ----------------------------------------------------------------

// Bytes allocated for a row text of len bytes: the next power of two above
// len, at least 64 (a row of a narrow screen fits the first block).  The
// block size follows from the length alone, so a row grows geometrically
// without a capacity field; 0 when it would overflow.
size_t kv_text_block(size_t len) noexcept {
    if (len >= SIZE_MAX / 2) return 0;
    return std::max(kv_min_text_block, std::bit_ceil(len + 1));
}

// Room for extra more bytes at the end of the row's text; the place to write
// them, or null when memory runs out (the row is then unchanged).
char *kv_row_reserve(kv_layout_row &row, size_t extra) noexcept {
    // The block in use has room for the bytes and the NUL: nothing to do.
    if (row.text && extra < kv_text_block(row.len) - row.len) return row.text + row.len;
    if (extra > SIZE_MAX / 2 - row.len) return nullptr;
    size_t block = kv_text_block(row.len + extra);
    if (block == 0) return nullptr;
    if (!row.text || block > kv_text_block(row.len)) {
        auto *grown = static_cast<char *>(kv_realloc(row.text, block));
        if (!grown) return nullptr;
        row.text = grown;
    }
    return row.text + row.len;
}

// Records n bytes just written at the reserved place, and their columns.
void kv_row_commit(kv_layout_row &row, size_t n, int32_t cols) noexcept {
    row.len += n;
    row.text[row.len] = '\0';
    row.width += cols;
}

} // namespace

int kv_row_append(kv_layout_row &row, const char *bytes, size_t n, int32_t cols) noexcept {
    if (n == 0) {
        row.width += cols;
        return 0;
    }
    char *at = kv_row_reserve(row, n);
    if (!at) return kv_rc_failed;
    std::memcpy(at, bytes, n);
    kv_row_commit(row, n, cols);
    return 0;
}

int kv_row_append_spaces(kv_layout_row &row, int32_t n) noexcept {
    if (n <= 0) return 0;
    char *at = kv_row_reserve(row, static_cast<size_t>(n));
    if (!at) return kv_rc_failed;
    std::memset(at, ' ', static_cast<size_t>(n));
    kv_row_commit(row, static_cast<size_t>(n), n);
    return 0;
}

namespace {

// ---- control bytes kept off the screen ----------------------------------------

// Bytes of a control that must not reach the terminal at text[i]: C0
// controls and DEL (1 byte), the C1 controls U+0080..U+009F (2 bytes), or 0.
size_t kv_control_len(const char *text, size_t end, size_t i) noexcept {
    auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x20 || b == 0x7F) return 1;
    if (b == 0xC2 && i + 1 < end) {
        auto next = static_cast<unsigned char>(text[i + 1]);
        if (next >= 0x80 && next <= 0x9F) return 2;
    }
    return 0;
}

// Bytes of text[from..to) that are not controls.
size_t kv_printable_len(const char *text, size_t from, size_t to) noexcept {
    size_t kept = 0;
    for (size_t i = from; i < to;) {
        size_t skip = kv_control_len(text, to, i);
        if (skip == 0) ++kept;
        i += skip ? skip : 1;
    }
    return kept;
}

// True when the row's text ends inside an unfinished multi-byte sequence
// that the continuation byte `next` would carry on.
bool kv_would_join(const kv_layout_row &row, unsigned char next) noexcept {
    if ((next & 0xC0) != 0x80 || row.len == 0) return false;
    size_t k = row.len, trail = 0;
    while (k > 0 && trail < 3 && (static_cast<unsigned char>(row.text[k - 1]) & 0xC0) == 0x80) {
        --k;
        ++trail;
    }
    if (k == 0) return false;
    auto lead = static_cast<unsigned char>(row.text[k - 1]);
    size_t need = lead >= 0xC0 && lead <= 0xDF   ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF7 ? 4
                                                 : 0;
    return need > trail + 1;
}

// True when the byte before text[from] is a control that was left out.
bool kv_after_left_out(const char *text, size_t from) noexcept {
    if (from >= 1 && kv_control_len(text, from, from - 1) == 1) return true;
    return from >= 2 && kv_control_len(text, from, from - 2) == 2;
}

constexpr char kv_replacement_bytes[] = "\xEF\xBF\xBD"; // U+FFFD

} // namespace

// Appends a cluster of the line with its controls left out; the cluster's
// columns count all the same (controls take none).  Leaving controls out
// must not hand the terminal a lead byte and a continuation byte side by
// side that the line holds apart (two invalid bytes, one column each, that
// it would show as one character): such a continuation byte is shown as
// U+FFFD instead.
int kv_row_append_cluster(kv_layout_row &row, const char *text, size_t from, size_t to,
                          int32_t cols) noexcept {
    if (kv_after_left_out(text, from) &&
        kv_would_join(row, static_cast<unsigned char>(text[from]))) {
        if (kv_row_append(row, kv_replacement_bytes, 3, 0) != 0) return -1;
        ++from;
        if (from == to) {
            row.width += cols;
            return 0;
        }
    }
    size_t kept = kv_printable_len(text, from, to);
    if (kept == to - from) return kv_row_append(row, text + from, kept, cols);
    if (kept == 0) return kv_row_append(row, nullptr, 0, cols);
    char *at = kv_row_reserve(row, kept);
    if (!at) return kv_rc_failed;
    for (size_t i = from; i < to;) {
        size_t skip = kv_control_len(text, to, i);
        if (skip == 0) *at++ = text[i];
        i += skip ? skip : 1;
    }
    kv_row_commit(row, kept, cols);
    return 0;
}

void kv_layout_free(kv_layout *lo) noexcept {
    if (!lo) return;
    for (int32_t i = 0; i < lo->count; ++i)
        kv_free(lo->rows[i].text);
    kv_free(lo->rows);
    *lo = kv_layout{};
}

int kv_render_new_row_at(kv_layout *lo, size_t offset, int32_t col) noexcept {
    if (!lo) return kv_rc_failed;
    if (lo->count >= lo->capacity) {
        // Checked first: count + 1 below must not overflow.
        if (lo->count == INT32_MAX) return kv_rc_failed;
        int32_t cap = lo->capacity;
        if (cap == 0)
            cap = kv_first_rows;
        else if (cap > kv_doubling_limit)
            cap = lo->count + 1;
        else
            cap *= 2;
        auto *grown = static_cast<kv_layout_row *>(
            kv_realloc(lo->rows, sizeof(kv_layout_row) * static_cast<size_t>(cap)));
        if (!grown) return kv_rc_failed;
        for (int32_t i = lo->capacity; i < cap; ++i)
            grown[i] = kv_layout_row{};
        lo->rows = grown;
        lo->capacity = cap;
    }
    lo->rows[lo->count++] = kv_layout_row{nullptr, 0, offset, offset, col, col};
    return 0;
}

int kv_render_new_indented_row(kv_layout *lo, int32_t indent, size_t offset) noexcept {
    if (kv_render_new_row_at(lo, offset, indent) != 0) return kv_rc_failed;
    kv_layout_row &row = lo->rows[lo->count - 1];
    row.width = 0;
    return kv_row_append_spaces(row, indent);
}
