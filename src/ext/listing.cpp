// The listing of candidates shown on a second Tab: sorted and without
// repeats, in columns sized by display width to fit the screen, column by
// column, every row of it (the pager shows it a screen at a time).
// Nothing of a candidate reaches the terminal raw: control characters are
// shown as ^X and bytes that are not UTF-8 as U+FFFD.
#include <algorithm>
#include <cstring>

#include "ext.h"

namespace {

constexpr char kvx_replacement[] = "\xEF\xBF\xBD";
constexpr char kvx_ellipsis[] = "\xE2\x80\xA6";
constexpr size_t kvx_column_gap = 2;

struct kvx_shown {
    size_t at, len; // the shown form in the listing's text arena
    size_t width;
};

// Appends the shown form of text; false when out of memory.
bool kvx_append_shown(kvx_bytes &out, const char *text, size_t len) noexcept {
    for (size_t at = 0; at < len;) {
        kv_decoded d = kv_utf8_decode(text, len, at);
        bool invalid = d.cp == 0xFFFD && d.len == 1;
        bool ok;
        if (d.cp < 0x20 || d.cp == 0x7F) {
            char caret[2] = {'^', static_cast<char>(d.cp == 0x7F ? '?' : d.cp + 0x40)};
            ok = kvx_append(out, caret, 2);
        } else if (invalid || (d.cp >= 0x80 && d.cp <= 0x9F)) {
            ok = kvx_append(out, kvx_replacement, 3);
        } else {
            ok = kvx_append(out, text + at, d.len);
        }
        if (!ok) return false;
        at += d.len;
    }
    return true;
}

// Cuts a shown form wider than cols back to whole clusters and marks the cut.
void kvx_fit(kvx_bytes &arena, kvx_shown &s, size_t cols) noexcept {
    if (s.width <= cols || cols < 2) return;
    const char *t = arena.data + s.at;
    size_t at = 0, w = 0;
    while (at < s.len) {
        int cw = 0;
        size_t cn = kv_utf8_cluster_len_width(t, s.len, at, &cw);
        if (w + static_cast<size_t>(cw) > cols - 1) break;
        w += static_cast<size_t>(cw);
        at += cn;
    }
    // The ellipsis (3 bytes) fits where the cut clusters were: at least one
    // cluster of width 1 or 2 was cut, and a shown cluster has 1 byte at least.
    size_t room = s.len - at;
    if (room >= 3) {
        std::memcpy(arena.data + s.at + at, kvx_ellipsis, 3);
        s.len = at + 3;
        s.width = w + 1;
    } else {
        s.len = at;
        s.width = w;
    }
}

bool kvx_pad(kvx_bytes &out, size_t n) noexcept {
    static constexpr char spaces[] = "                                ";
    while (n) {
        size_t k = std::min(n, sizeof spaces - 1);
        if (!kvx_append(out, spaces, k)) return false;
        n -= k;
    }
    return true;
}

// The shown forms of the candidates, sorted by bytes and without repeats,
// each cut to the screen width; n receives their count.
bool kvx_collect(const kvx_completions &c, size_t cols, size_t *order, kvx_shown *shown,
                 kvx_bytes &arena, size_t &n) noexcept {
    for (size_t i = 0; i < c.count; ++i)
        order[i] = i;
    auto text = [&](size_t i) { return c.arena.data + c.items[i].text; };
    auto less = [&](size_t x, size_t y) {
        size_t lx = c.items[x].len, ly = c.items[y].len;
        int r = std::memcmp(text(x), text(y), std::min(lx, ly));
        return r != 0 ? r < 0 : lx < ly;
    };
    std::sort(order, order + c.count, less);
    n = 0;
    for (size_t k = 0; k < c.count; ++k) {
        size_t i = order[k];
        if (n && !less(order[k - 1], i)) continue; // a repeat of the previous text
        kvx_shown sh{arena.len, 0, 0};
        if (!kvx_append_shown(arena, text(i), c.items[i].len)) return false;
        sh.len = arena.len - sh.at;
        shown[n++] = sh;
    }
    for (size_t k = 0; k < n; ++k) {
        shown[k].width = kv_utf8_text_width(arena.data + shown[k].at, shown[k].len);
        kvx_fit(arena, shown[k], cols);
    }
    return true;
}

// Lays the shown forms out down the columns.
bool kvx_lay_out(const kvx_shown *shown, size_t n, const kvx_bytes &arena, size_t cols,
                 kvx_bytes &out) noexcept {
    size_t widest = 0;
    for (size_t k = 0; k < n; ++k)
        widest = std::max(widest, shown[k].width);
    size_t colw = widest + kvx_column_gap;
    size_t ncols = std::max<size_t>(1, (cols + kvx_column_gap) / colw);
    size_t nrows = (n + ncols - 1) / ncols;
    size_t listed = n;
    for (size_t r = 0; r < nrows; ++r) {
        for (size_t col = 0; col < ncols && col * nrows + r < listed; ++col) {
            const kvx_shown &sh = shown[col * nrows + r];
            if (!kvx_append(out, arena.data + sh.at, sh.len)) return false;
            bool last = col + 1 == ncols || (col + 1) * nrows + r >= listed;
            if (!last && !kvx_pad(out, colw - sh.width)) return false;
        }
        if (!kvx_append(out, "\n", 1)) return false;
    }
    return true;
}

} // namespace

bool kvx_format_listing(const kvx_completions &c, int cols_in, kvx_bytes &out,
                        size_t *distinct) noexcept {
    size_t cols = cols_in > 0 ? static_cast<size_t>(cols_in) : 80;
    out.len = 0;
    if (distinct) *distinct = 0;
    if (c.count == 0) return kvx_reserve(out, 0);
    auto *order = static_cast<size_t *>(kvx_malloc(c.count * sizeof(size_t)));
    auto *shown = static_cast<kvx_shown *>(kvx_malloc(c.count * sizeof(kvx_shown)));
    kvx_bytes arena;
    size_t n = 0;
    bool ok = order && shown && kvx_collect(c, cols, order, shown, arena, n) &&
              kvx_lay_out(shown, n, arena, cols, out);
    if (distinct) *distinct = n;
    kvx_free(order);
    kvx_free(shown);
    kvx_release(arena);
    return ok;
}
