// Layout: the prompt and the line broken into screen rows no wider than the
// screen, wrapped at word boundaries, with continuation rows indented to the
// end of the prompt, and the screen position of the cursor.  Nothing here
// writes to the terminal.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/alloc.h"
#include "base/error.h"
#include "base/sys.h"
#include "render/internal.h"
#include "text/text.h"

namespace {

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
    bool word_ascii = false; // every cluster of it is one printable ASCII byte

    // The space run [run_start, run_end) and the word after it.
    bool run_valid = false;
    size_t run_start = 0, run_end = 0, run_word_end = 0;
    int64_t run_word_width = 0;
    bool run_word_ascii = false;

    kv_layout_row &row() noexcept { return lo->rows[lo->count - 1]; }
    int32_t room() const noexcept { return std::max(1, w - indent); }

    void place_cursor(int32_t col) noexcept {
        lo->cursor_row = lo->count - 1;
        lo->cursor_col = col;
        cursor_set = true;
    }

    int continuation(size_t at) noexcept {
        if (kv_render_new_indented_row(lo, indent, at) != 0) return kv_rc_failed;
        c = indent;
        return 0;
    }

    int64_t rest_of_word(size_t i) noexcept {
        if (!word_valid || word_pos != i) {
            word_width = kv_scan_word(text, len, i, &word_end, &word_ascii);
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
        while (r < len && text[r] == ' ')
            ++r;
        run_start = i;
        run_end = r;
        run_word_width = kv_scan_word(text, len, r, &run_word_end, &run_word_ascii);
        run_valid = true;
    }
};

// At a space: when the word after the run of spaces would not fit on this
// row but fits on a continuation row, the spaces are dropped and the word
// moves down.  0 with *next set to where the walk goes on (the word's first
// byte after a wrap, else it stays i), or -1 when out of memory.
int kv_wrap_at_space(kv_builder &b, size_t i, size_t *next) noexcept {
    b.measure_run(i);
    *next = i;
    if (b.run_end >= b.len || b.run_word_end == b.run_end) return 0;
    int64_t s = static_cast<int64_t>(b.run_end - i);
    int64_t ww = b.run_word_width;
    // The word after the run is measured already; its first cluster asks for
    // the same measurement, wrapped or not.
    b.word_valid = true;
    b.word_pos = b.run_end;
    b.word_end = b.run_word_end;
    b.word_width = ww;
    b.word_ascii = b.run_word_ascii;
    if (ww > b.room() || b.c + s + ww <= b.w) return 0;
    b.row().end = i;
    if (b.continuation(b.run_end) != 0) return kv_rc_failed;
    if (!b.cursor_set && b.cursor >= i && b.cursor <= b.run_end) b.place_cursor(b.indent);
    *next = b.run_end;
    return 0;
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
        if (b.c >= b.w && b.continuation(i) != 0) return kv_rc_failed;
        int32_t m = std::min(k, b.w - b.c);
        if (kv_row_append_spaces(b.row(), m) != 0) return kv_rc_failed;
        b.c += m;
        k -= m;
    }
    return 0;
}

// Places the cluster at i (not a newline); 0 or -1.
int kv_place_cluster(kv_builder &b, size_t i, size_t n, int cw) noexcept {
    auto ch = static_cast<unsigned char>(b.text[i]);
    if (!kv_is_separator(ch) && b.c > b.indent && kv_wrap_in_word(b, i) != 0) return kv_rc_failed;
    if ((b.c >= b.w || (cw > 0 && b.c + cw > b.w)) && b.continuation(i) != 0) return kv_rc_failed;
    // A cursor inside a cluster shows at the cluster's start.
    if (!b.cursor_set && b.cursor >= i && b.cursor < i + n) b.place_cursor(b.c);
    if (ch == '\t') {
        if (kv_place_tab(b, i) != 0) return kv_rc_failed;
    } else {
        if (kv_row_append_cluster(b.row(), b.text, i, i + n, cw) != 0) return kv_rc_failed;
        b.c += cw;
    }
    b.advance_word(i, n, cw);
    b.row().end = i + n;
    return 0;
}

// Puts the printable ASCII bytes [i, j) onto the row in one piece (one
// column each; the caller knows that none of them wraps), placing the cursor
// when it lies among them.  False when memory runs out: nothing was placed.
bool kv_place_printable(kv_builder &b, size_t i, size_t j) noexcept {
    const auto n = static_cast<int32_t>(j - i);
    if (kv_row_append(b.row(), b.text + i, j - i, n) != 0) return false;
    if (!b.cursor_set && b.cursor >= i && b.cursor < j)
        b.place_cursor(b.c + static_cast<int32_t>(b.cursor - i));
    b.c += n;
    b.row().end = j;
    return true;
}

// After the cluster just placed at i - 1: when the rest of its word fits on
// the row, no byte of it can wrap, so the printable ASCII bytes that follow
// go onto the row in one piece.  Returns the offset the walk goes on from
// (i when nothing was placed; the bytes are then placed one by one).
size_t kv_place_ascii_run(kv_builder &b, size_t i) noexcept {
    if (!b.word_valid || b.word_pos != i || b.c + b.word_width > b.w) return i;
    size_t j = b.word_ascii ? b.word_end : i;
    while (j < b.word_end && kv_ascii_cluster(b.text, b.len, j))
        ++j;
    if (j == i || !kv_place_printable(b, i, j)) return i;
    b.word_pos = j;
    b.word_width -= static_cast<int64_t>(j - i);
    if (b.word_pos >= b.word_end) b.word_valid = false;
    return j;
}

// At a space that does not wrap: when the rest of the space run and the
// printable ASCII word after it fit on the row, they go onto it in one piece.
// Returns the offset the walk goes on from (i when nothing was placed).
size_t kv_place_spaces_and_word(kv_builder &b, size_t i) noexcept {
    if (!b.run_valid || i < b.run_start || i >= b.run_end || !b.run_word_ascii) return i;
    const size_t end = b.run_word_end;
    if (end == b.run_end || b.c + static_cast<int64_t>(end - i) > b.w) return i;
    if (!kv_place_printable(b, i, end)) return i;
    b.word_valid = false;
    return end;
}

int kv_walk(kv_builder &b) noexcept {
    size_t i = 0;
    while (i < b.len) {
        auto ch = static_cast<unsigned char>(b.text[i]);
        if (ch == '\n') {
            if (!b.cursor_set && b.cursor == i) b.place_cursor(b.c);
            b.row().end = i;
            if (b.continuation(i + 1) != 0) return kv_rc_failed;
            ++i;
            continue;
        }
        if (ch == ' ' && b.c > b.indent) {
            size_t next = i;
            if (kv_wrap_at_space(b, i, &next) != 0) return kv_rc_failed;
            if (next != i) {
                i = next;
                continue;
            }
            const size_t placed = kv_place_spaces_and_word(b, i);
            if (placed != i) {
                i = placed;
                continue;
            }
        }
        int cw = 1;
        size_t n = 1;
        const bool ascii = kv_ascii_cluster(b.text, b.len, i);
        if (!ascii) n = kv_utf8_cluster_len_width(b.text, b.len, i, &cw);
        if (n == 0) n = 1;
        if (kv_place_cluster(b, i, n, cw) != 0) return kv_rc_failed;
        i += n;
        if (ascii && ch != ' ') i = kv_place_ascii_run(b, i);
    }
    if (b.cursor >= b.len) {
        if (b.c >= b.w && b.continuation(b.len) != 0) return kv_rc_failed;
        b.place_cursor(b.c);
    }
    return 0;
}

// A masked line: every cluster (tabs and newlines too) is one '*' of one
// column, so nothing of the text reaches the screen, not even its widths or
// its word boundaries; rows break where they are full.
int kv_walk_masked(kv_builder &b) noexcept {
    size_t i = 0;
    while (i < b.len) {
        int cw = 0;
        size_t n = kv_utf8_cluster_len_width(b.text, b.len, i, &cw);
        if (n == 0) n = 1;
        if (b.c >= b.w && b.continuation(i) != 0) return kv_rc_failed;
        if (!b.cursor_set && b.cursor >= i && b.cursor < i + n) b.place_cursor(b.c);
        if (kv_row_append(b.row(), "*", 1, 1) != 0) return kv_rc_failed;
        ++b.c;
        i += n;
        b.row().end = i;
    }
    if (b.cursor >= b.len) {
        if (b.c >= b.w && b.continuation(b.len) != 0) return kv_rc_failed;
        b.place_cursor(b.c);
    }
    return 0;
}

// The colour a hint is shown in: "\e[<bold>;<colour>;49m", white when it is
// bold without a colour; nothing when it has neither.
int kv_hint_colour(const kv_hint &h, char *out, size_t size) noexcept {
    int color = h.color;
    if (color == -1 && h.bold) color = 37;
    if (color == -1) return 0;
    int n = std::snprintf(out, size, "\x1b[%d;%d;49m", h.bold ? 1 : 0, color);
    return n > 0 && static_cast<size_t>(n) < size ? n : 0;
}

// The hint after the text of the last row, cut after the last whole cluster
// that fits on the row; a hint with no room is left out.  Its controls are
// left out as the line's are, and its columns count in the row's width, so
// the next drawing erases it when it goes.
int kv_place_hint(kv_builder &b, const kv_hint &h) noexcept {
    if (!h.text || h.len == 0) return 0;
    kv_layout_row &row = b.row();
    const int64_t room = int64_t{b.w} - row.width;
    size_t end = 0;
    int64_t cols = 0;
    while (end < h.len) {
        int cw = 0;
        size_t n = kv_utf8_cluster_len_width(h.text, h.len, end, &cw);
        if (n == 0 || cols + cw > room) break;
        cols += cw;
        end += n;
    }
    if (end == 0 || cols == 0) return 0;
    char colour[48];
    const int on = kv_hint_colour(h, colour, sizeof colour);
    if (on > 0 && kv_row_append(row, colour, static_cast<size_t>(on), 0) != 0) return kv_rc_failed;
    if (kv_row_append_cluster(row, h.text, 0, end, static_cast<int32_t>(cols)) != 0)
        return kv_rc_failed;
    if (on > 0 && kv_row_append(row, "\x1b[0m", 4, 0) != 0) return kv_rc_failed;
    return 0;
}

} // namespace

void kv_terminal_size(const kv_state *st, int *cols, int *rows) noexcept {
    if (st && st->screen.size_pinned) {
        if (cols) *cols = st->screen.pinned_cols;
        if (rows) *rows = st->screen.pinned_rows;
        return;
    }
    struct winsize ws {};
    bool ok = st && kv_sys.winsize(st->io.out_fd, &ws) == 0;
    if (cols) *cols = ok ? ws.ws_col : 0;
    if (rows) *rows = ok ? ws.ws_row : 0;
}

int kv_screen_width(const kv_state *st) noexcept {
    if (!st) return kv_default_cols;
    if (!st->screen.auto_width && st->screen.width > 0) return st->screen.width;
    int cols = 0;
    kv_terminal_size(st, &cols, nullptr);
    int w = cols > 0 ? cols : kv_default_cols;
    if (st->screen.bounded && st->screen.auto_width) w = std::max(w - st->screen.column, 1);
    return w;
}

int kv_layout_build(const kv_layout_input &in, kv_layout *lo) noexcept {
    if (!lo) return kv_rc_failed;
    *lo = kv_layout{};
    kv_builder b{};
    b.lo = lo;
    b.text = in.line.data();
    b.len = in.line.size();
    b.cursor = std::min(in.cursor, b.len);
    b.w = std::max(in.width, 1);
    int32_t p = kv_prompt_width(in.prompt.data(), in.prompt.size());
    b.indent = p < b.w ? p : b.w - 1;
    b.c = p;
    if (kv_render_new_row_at(lo, 0, p) != 0) return kv_rc_failed;
    if (kv_row_append(lo->rows[0], in.prompt.data(), in.prompt.size(), 0) != 0) return kv_rc_failed;
    if ((in.mask ? kv_walk_masked(b) : kv_walk(b)) != 0) return kv_rc_failed;
    return kv_place_hint(b, in.hint);
}

kv_layout_input kv_layout_input_of(const kv_state *st, const char *prompt) noexcept {
    return {prompt ? std::string_view(prompt) : std::string_view(),
            std::string_view(st->line.text, st->line.len),
            st->line.cursor,
            kv_screen_width(st),
            st->screen.extras.mask != 0,
            kv_hint{nullptr, 0, -1, 0}};
}

int kv_render_build_shown(kv_editor *ed, const char *prompt, kv_layout *lo) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || !st->screen.extras.hint_source || st->screen.extras.hint_off)
        return kv_render_build(ed, prompt, lo);
    if (!lo) return kv_rc_failed;
    kv_layout_input in = kv_layout_input_of(st, prompt);
    const kv_render_extras x = st->screen.extras;
    x.hint_source(x.hint_user, st->line.text, st->line.len, &in.hint);
    // The source may have changed the editor; the line is taken afresh.
    in = {in.prompt,       std::string_view(st->line.text, st->line.len),
          st->line.cursor, in.width,
          in.mask,         in.hint};
    int rc = kv_layout_build(in, lo);
    if (x.hint_release && in.hint.text) x.hint_release(x.hint_user, &in.hint);
    return rc;
}

int kv_render_build(kv_editor *ed, const char *prompt, kv_layout *lo) noexcept {
    if (!lo) return kv_rc_failed;
    *lo = kv_layout{};
    kv_state *st = kv_state_of(ed);
    if (!st) return kv_rc_failed;
    return kv_layout_build(kv_layout_input_of(st, prompt), lo);
}

void kv_render_set_mask(kv_state *st, bool on) noexcept {
    if (st) st->screen.extras.mask = on ? 1 : 0;
}

void kv_render_set_hints(kv_state *st, kv_hint_source source, kv_hint_release release,
                         void *user) noexcept {
    if (!st) return;
    st->screen.extras.hint_source = source;
    st->screen.extras.hint_release = source ? release : nullptr;
    st->screen.extras.hint_user = source ? user : nullptr;
}

void kv_render_hints_off(kv_state *st, bool off) noexcept {
    if (st) st->screen.extras.hint_off = off ? 1 : 0;
}
