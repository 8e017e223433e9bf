// Layout: the prompt and the line broken into screen rows no wider than the
// screen, wrapped at word boundaries, with continuation rows indented to the
// end of the prompt, and the screen position of the cursor.  Nothing here
// writes to the terminal.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "../api/alloc.h"
#include "../api/sys.h"
#include "../text/text.h"
#include "render.h"

namespace {

constexpr int32_t kv_first_rows = 8;
constexpr int32_t kv_doubling_limit = 0x3FFFFFFF;
constexpr size_t kv_min_text_block = 16;
constexpr unsigned char kv_esc = 0x1B;

// ---- row texts ----------------------------------------------------------------

// Bytes allocated for a row text of len bytes: the next power of two above
// len, at least 16.  The block size follows from the length alone, so a row
// grows geometrically without a capacity field; 0 when it would overflow.
size_t kv_text_block(size_t len) noexcept {
    if (len >= SIZE_MAX / 2) return 0;
    return std::max(kv_min_text_block, std::bit_ceil(len + 1));
}

// Room for extra more bytes at the end of the row's text; the place to write
// them, or null when memory runs out (the row is then unchanged).
char *kv_row_reserve(kv_layout_row &row, size_t extra) noexcept {
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

int kv_row_append(kv_layout_row &row, const char *bytes, size_t n, int32_t cols) noexcept {
    if (n == 0) {
        row.width += cols;
        return 0;
    }
    char *at = kv_row_reserve(row, n);
    if (!at) return -1;
    std::memcpy(at, bytes, n);
    kv_row_commit(row, n, cols);
    return 0;
}

int kv_row_append_spaces(kv_layout_row &row, int32_t n) noexcept {
    if (n <= 0) return 0;
    char *at = kv_row_reserve(row, static_cast<size_t>(n));
    if (!at) return -1;
    std::memset(at, ' ', static_cast<size_t>(n));
    kv_row_commit(row, static_cast<size_t>(n), n);
    return 0;
}

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
    size_t need = lead >= 0xC0 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                : lead >= 0xF0 && lead <= 0xF7 ? 4 : 0;
    return need > trail + 1;
}

// True when the byte before text[from] is a control that was left out.
bool kv_after_left_out(const char *text, size_t from) noexcept {
    if (from >= 1 && kv_control_len(text, from, from - 1) == 1) return true;
    return from >= 2 && kv_control_len(text, from, from - 2) == 2;
}

constexpr char kv_replacement_bytes[] = "\xEF\xBF\xBD"; // U+FFFD

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
    if (!at) return -1;
    for (size_t i = from; i < to;) {
        size_t skip = kv_control_len(text, to, i);
        if (skip == 0) *at++ = text[i];
        i += skip ? skip : 1;
    }
    kv_row_commit(row, kept, cols);
    return 0;
}

// ---- prompt width ---------------------------------------------------------------

// Length of the escape sequence at p[i] (an ESC): CSI up to its final byte,
// OSC up to BEL or ESC '\', otherwise ESC and one byte.  Unterminated
// sequences run to the end of the prompt.
size_t kv_escape_len(const char *p, size_t len, size_t i) noexcept {
    if (i + 1 >= len) return 1;
    size_t j = i + 2;
    if (p[i + 1] == '[') {
        while (j < len && (p[j] < 0x40 || p[j] > 0x7E)) ++j;
        return std::min(j + 1, len) - i;
    }
    if (p[i + 1] == ']') {
        for (; j < len; ++j) {
            if (p[j] == '\a') return j + 1 - i;
            if (p[j] == '\x1b' && j + 1 < len && p[j + 1] == '\\') return j + 2 - i;
        }
        return len - i;
    }
    return 2;
}

// Columns the prompt takes.  Escape sequences (colours, titles) take none,
// so a coloured prompt measures as its visible text.
int32_t kv_prompt_width(const char *prompt, size_t len) noexcept {
    int32_t p = 0;
    for (size_t i = 0; i < len;) {
        auto b = static_cast<unsigned char>(prompt[i]);
        if (b == kv_esc) {
            i += kv_escape_len(prompt, len, i);
        } else if (b == '\t') {
            p += kv_tab_stop - p % kv_tab_stop;
            ++i;
        } else {
            int w = 0;
            size_t n = kv_utf8_cluster_len_width(prompt, len, i, &w);
            if (n == 0) break;
            p += w;
            i += n;
        }
    }
    return p;
}

// ---- words ------------------------------------------------------------------------

bool kv_is_separator(unsigned char b) noexcept {
    return b == 0x00 || b == ' ' || (b >= 0x09 && b <= 0x0D);
}

size_t kv_word_end(const char *text, size_t len, size_t p) noexcept {
    while (p < len && !kv_is_separator(static_cast<unsigned char>(text[p]))) ++p;
    return p;
}

// Columns of the clusters that start in [p, e), segmented as the walk does.
int64_t kv_measure(const char *text, size_t len, size_t p, size_t e) noexcept {
    int64_t sum = 0;
    while (p < e) {
        int w = 0;
        size_t n = kv_utf8_cluster_len_width(text, len, p, &w);
        if (n == 0) break;
        sum += w;
        p += n;
    }
    return sum;
}

// ---- the build ------------------------------------------------------------------

// One build in progress.  Words and space runs are measured once and then
// followed cluster by cluster, so the build stays linear in the line length
// while every wrap decision is the one a fresh measurement would give.
struct kv_builder {
    kv_layout *lo;
    const char *text;
    size_t len;
    size_t cursor;
    int32_t w;      // effective screen width W
    int32_t indent; // continuation indent I
    int32_t c = 0;  // current column
    bool cursor_set = false;

    // The rest of the word at word_pos (up to word_end) is word_width wide.
    bool word_valid = false;
    size_t word_pos = 0, word_end = 0;
    int64_t word_width = 0;

    // The space run [run_start, run_end) and the word after it.
    bool run_valid = false;
    size_t run_start = 0, run_end = 0, run_word_end = 0;
    int64_t run_word_width = 0;

    kv_layout_row &row() noexcept { return lo->rows[lo->count - 1]; }
    int32_t room() const noexcept { return std::max(1, w - indent); }

    void place_cursor(int32_t col) noexcept {
        lo->cursor_row = lo->count - 1;
        lo->cursor_col = col;
        cursor_set = true;
    }

    int continuation(size_t at) noexcept {
        if (kv_render_new_indented_row(lo, indent, at) != 0) return -1;
        c = indent;
        return 0;
    }

    int64_t rest_of_word(size_t i) noexcept {
        if (!word_valid || word_pos != i) {
            word_end = kv_word_end(text, len, i);
            word_width = kv_measure(text, len, i, word_end);
            word_pos = i;
            word_valid = true;
        }
        return word_width;
    }

    // Follows the measured word past the cluster [i, i + n) of width cw.
    void advance_word(size_t i, size_t n, int cw) noexcept {
        if (!word_valid || word_pos != i) return;
        word_pos = i + n;
        word_width -= cw;
        if (word_pos >= word_end) word_valid = false;
    }

    void measure_run(size_t i) noexcept {
        if (run_valid && i >= run_start && i < run_end) return;
        size_t r = i;
        while (r < len && text[r] == ' ') ++r;
        run_start = i;
        run_end = r;
        run_word_end = kv_word_end(text, len, r);
        run_word_width = kv_measure(text, len, r, run_word_end);
        run_valid = true;
    }
};

// At a space: when the word after the run of spaces would not fit on this
// row but fits on a continuation row, the spaces are dropped and the word
// moves down.  1 with *next set to the word's first byte, 0 when no wrap,
// -1 when out of memory.
int kv_wrap_at_space(kv_builder &b, size_t i, size_t *next) noexcept {
    b.measure_run(i);
    if (b.run_end >= b.len || b.run_word_end == b.run_end) return 0;
    int64_t s = static_cast<int64_t>(b.run_end - i);
    int64_t ww = b.run_word_width;
    if (ww > b.room() || b.c + s + ww <= b.w) return 0;
    b.row().end = i;
    if (b.continuation(b.run_end) != 0) return -1;
    if (!b.cursor_set && b.cursor >= i && b.cursor <= b.run_end) b.place_cursor(b.indent);
    b.word_valid = true;
    b.word_pos = b.run_end;
    b.word_end = b.run_word_end;
    b.word_width = ww;
    *next = b.run_end;
    return 1;
}

// Inside a word: when the rest of the word fits on a continuation row but not
// on this one, it moves down.  A word longer than a row therefore breaks at
// the first cluster from which the rest fits on one row.
int kv_wrap_in_word(kv_builder &b, size_t i) noexcept {
    int64_t ww = b.rest_of_word(i);
    if (ww > b.room() || b.c + ww <= b.w) return 0;
    return b.continuation(i);
}

// A tab becomes spaces up to the next tab stop, wrapping where the row is full.
int kv_place_tab(kv_builder &b, size_t i) noexcept {
    int32_t k = kv_tab_stop - b.c % kv_tab_stop;
    while (k > 0) {
        if (b.c >= b.w && b.continuation(i) != 0) return -1;
        int32_t m = std::min(k, b.w - b.c);
        if (kv_row_append_spaces(b.row(), m) != 0) return -1;
        b.c += m;
        k -= m;
    }
    return 0;
}

// Places the cluster at i (not a newline); 0 or -1.
int kv_place_cluster(kv_builder &b, size_t i, size_t n, int cw) noexcept {
    auto ch = static_cast<unsigned char>(b.text[i]);
    if (!kv_is_separator(ch) && b.c > b.indent && kv_wrap_in_word(b, i) != 0) return -1;
    if ((b.c >= b.w || (cw > 0 && b.c + cw > b.w)) && b.continuation(i) != 0) return -1;
    // A cursor inside a cluster shows at the cluster's start.
    if (!b.cursor_set && b.cursor >= i && b.cursor < i + n) b.place_cursor(b.c);
    if (ch == '\t') {
        if (kv_place_tab(b, i) != 0) return -1;
    } else {
        if (kv_row_append_cluster(b.row(), b.text, i, i + n, cw) != 0) return -1;
        b.c += cw;
    }
    b.advance_word(i, n, cw);
    b.row().end = i + n;
    return 0;
}

int kv_walk(kv_builder &b) noexcept {
    size_t i = 0;
    while (i < b.len) {
        auto ch = static_cast<unsigned char>(b.text[i]);
        if (ch == '\n') {
            if (!b.cursor_set && b.cursor == i) b.place_cursor(b.c);
            b.row().end = i;
            if (b.continuation(i + 1) != 0) return -1;
            ++i;
            continue;
        }
        if (ch == ' ' && b.c > b.indent) {
            size_t next = 0;
            int r = kv_wrap_at_space(b, i, &next);
            if (r < 0) return -1;
            if (r > 0) {
                i = next;
                continue;
            }
        }
        int cw = 0;
        size_t n = kv_utf8_cluster_len_width(b.text, b.len, i, &cw);
        if (n == 0) n = 1;
        if (kv_place_cluster(b, i, n, cw) != 0) return -1;
        i += n;
    }
    if (b.cursor >= b.len) {
        if (b.c >= b.w && b.continuation(b.len) != 0) return -1;
        b.place_cursor(b.c);
    }
    return 0;
}

} // namespace

void kv_layout_free(kv_layout *lo) noexcept {
    if (!lo) return;
    for (int32_t i = 0; i < lo->count; ++i) kv_free(lo->rows[i].text);
    kv_free(lo->rows);
    *lo = kv_layout{};
}

int kv_render_new_row_at(kv_layout *lo, size_t offset, int32_t col) noexcept {
    if (!lo) return -1;
    if (lo->count >= lo->capacity) {
        // Checked first: count + 1 below must not overflow.
        if (lo->count == INT32_MAX) return -1;
        int32_t cap = lo->capacity;
        if (cap == 0) cap = kv_first_rows;
        else if (cap > kv_doubling_limit) cap = lo->count + 1;
        else cap *= 2;
        auto *grown = static_cast<kv_layout_row *>(
            kv_realloc(lo->rows, sizeof(kv_layout_row) * static_cast<size_t>(cap)));
        if (!grown) return -1;
        for (int32_t i = lo->capacity; i < cap; ++i) grown[i] = kv_layout_row{};
        lo->rows = grown;
        lo->capacity = cap;
    }
    lo->rows[lo->count++] = kv_layout_row{nullptr, 0, offset, offset, col, col};
    return 0;
}

int kv_render_new_indented_row(kv_layout *lo, int32_t indent, size_t offset) noexcept {
    if (kv_render_new_row_at(lo, offset, indent) != 0) return -1;
    kv_layout_row &row = lo->rows[lo->count - 1];
    row.width = 0;
    return kv_row_append_spaces(row, indent);
}

void kv_terminal_size(const kv_state *st, int *cols, int *rows) noexcept {
    struct winsize ws{};
    bool ok = st && kv_sys.winsize(st->out_fd, &ws) == 0;
    if (cols) *cols = ok ? ws.ws_col : 0;
    if (rows) *rows = ok ? ws.ws_row : 0;
}

int kv_screen_width(const kv_state *st) noexcept {
    if (!st) return kv_default_cols;
    if (!st->auto_width && st->width > 0) return st->width;
    int cols = 0;
    kv_terminal_size(st, &cols, nullptr);
    int w = cols > 0 ? cols : kv_default_cols;
    if (st->bounded && st->auto_width) w = std::max(w - st->column, 1);
    return w;
}

int kv_render_build(kv_editor *ed, const char *prompt, kv_layout *lo) noexcept {
    if (!lo) return -1;
    *lo = kv_layout{};
    kv_state *st = kv_state_of(ed);
    if (!st) return -1;
    size_t plen = prompt ? std::strlen(prompt) : 0;
    kv_builder b{};
    b.lo = lo;
    b.text = st->line ? st->line : "";
    b.len = st->line ? st->line_len : 0;
    b.cursor = std::min(st->cursor, b.len);
    b.w = kv_screen_width(st);
    int32_t p = kv_prompt_width(prompt, plen);
    b.indent = p < b.w ? p : b.w - 1;
    b.c = p;
    if (kv_render_new_row_at(lo, 0, p) != 0) return -1;
    if (kv_row_append(lo->rows[0], prompt, plen, 0) != 0) return -1;
    return kv_walk(b);
}
