// Layout and drawing.
//
// Layout, over arbitrary prompt and line bytes, cursor and width: row 0
// starts with the prompt and every later row with the continuation indent;
// no row is wider than the width except row 0 holding a prompt that is wider
// on its own, and a row whose wide cluster cannot fit after the indent (one
// column over); each row's recorded width is the width of its text; the rows'
// byte ranges run in order, meet at the end of the line, and between them
// only line feeds and the spaces dropped at a wrap are left out; a terminal
// decoding a row's text sees exactly the characters of its range (tabs
// become spaces, control bytes are kept off the screen); the cursor is on
// the row and column where its cluster is shown.
//
// Drawing, over texts made of tokens whose widths a terminal agrees on:
// drawing a line and then, by difference, an edited line leaves the same
// screen (libvterm) and cursor as drawing the edited line on a fresh
// terminal, in normal and in bounded mode.
#include <string>
#include <vector>

#include "base/state.h"
#include "bounded_term.h"
#include "fuzz_check.h"
#include "kavrik.h"
#include "render/internal.h"
#include "render/render.h"
#include "text/text.h"
#include "unicode/unicode.h"
#include "write_capture.h"

namespace {

struct Layout {
    kv_layout lo{};
    ~Layout() { kv_layout_free(&lo); }
};

int cluster_width(const std::string &s, size_t i, size_t *n) {
    int w = 0;
    *n = kv_utf8_cluster_len_width(s.data(), s.size(), i, &w);
    return w;
}

// The prompt's width, walked byte by byte: a tab to the next multiple of 8,
// any other byte starts a cluster of its width.
int prompt_width(const std::string &p) {
    int cols = 0;
    for (size_t i = 0; i < p.size();) {
        if (p[i] == '\t') {
            cols += 8 - cols % 8;
            ++i;
            continue;
        }
        size_t n;
        cols += cluster_width(p, i, &n);
        i += n;
    }
    return cols;
}

int text_width(const std::string &s) {
    int cols = 0;
    for (size_t i = 0; i < s.size();) {
        size_t n;
        cols += cluster_width(s, i, &n);
        i += n;
    }
    return cols;
}

// A cluster's bytes without the controls that are kept off the screen: C0
// controls, DEL and the C1 controls U+0080..U+009F.
std::string printable(std::string_view c) {
    std::string out;
    for (size_t i = 0; i < c.size(); ++i) {
        auto b = static_cast<unsigned char>(c[i]);
        if (b < 0x20 || b == 0x7f) continue;
        if (b == 0xc2 && i + 1 < c.size() && static_cast<unsigned char>(c[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(c[i + 1]) <= 0x9f) {
            ++i;
            continue;
        }
        out += c[i];
    }
    return out;
}

// What a terminal decodes from bytes: code points, U+FFFD for each invalid
// byte, spaces left out.
std::vector<uint64_t> decoded(std::string_view bytes) {
    std::vector<uint64_t> out;
    for (size_t i = 0; i < bytes.size();) {
        kv_decoded d = kv_utf8_decode(bytes.data(), bytes.size(), i);
        if (d.cp != ' ') out.push_back(d.cp);
        i += d.len;
    }
    return out;
}

// What a row must show for line[start, end): each cluster's printable bytes
// decoded on their own, tab clusters left out (they are shown as spaces).
std::vector<uint64_t> shown(const std::string &line, size_t start, size_t end) {
    std::vector<uint64_t> out;
    for (size_t i = start; i < end;) {
        size_t n = kv_utf8_cluster_len_width(line.data(), line.size(), i, nullptr);
        if (n == 0) break;
        if (line[i] != '\t') {
            auto cps = decoded(printable(std::string_view(line).substr(i, n)));
            out.insert(out.end(), cps.begin(), cps.end());
        }
        i += n;
    }
    return out;
}

void check_layout(const std::string &prompt, const std::string &line, size_t cursor, int W) {
    kv_editor *ed = kv_create();
    FUZZ_CHECK(ed && kv_set_screen_width(ed, W) == 0, "editor");
    FUZZ_CHECK(kv_buf_set_bytes(ed, line.data(), line.size()) == 0, "set");
    ed->state->line.cursor = cursor;
    Layout l;
    FUZZ_CHECK(kv_render_build(ed, prompt.c_str(), &l.lo) == 0, "build");
    const kv_layout &lo = l.lo;
    // Escape sequences in a prompt take no columns; without them the width
    // is measured here.
    const int P = prompt.find('\x1b') == std::string::npos ? prompt_width(prompt)
                  : lo.count > 0                           ? lo.rows[0].text_col
                                                           : 0;
    const int I = P < W ? P : W - 1;
    const std::string ctx = "prompt \"" + fuzz_visible(prompt) + "\" line \"" + fuzz_visible(line) +
                            "\" cursor " + std::to_string(cursor) + " width " + std::to_string(W);
    FUZZ_CHECK(lo.count >= 1 && lo.count <= lo.capacity, ctx);
    FUZZ_CHECK(lo.cursor_row >= 0 && lo.cursor_row < lo.count && lo.cursor_col >= 0, ctx);

    size_t prev_end = 0;
    for (int r = 0; r < lo.count; ++r) {
        const kv_layout_row &row = lo.rows[r];
        const std::string rc = ctx + ", row " + std::to_string(r);
        FUZZ_CHECK(row.text != nullptr || row.len == 0, rc + " has a length but no text");
        std::string text = row.text ? std::string(row.text, row.len) : std::string();
        std::string lead = r == 0 ? prompt : std::string(static_cast<size_t>(I), ' ');
        FUZZ_CHECK(text.compare(0, lead.size(), lead) == 0,
                   rc + " starts with \"" + fuzz_visible(text) + "\"");
        FUZZ_CHECK(row.text_col == (r == 0 ? P : I),
                   rc + " text_col " + std::to_string(row.text_col));
        std::string body = text.substr(std::min(lead.size(), text.size()));
        FUZZ_CHECK(row.start <= row.end && row.end <= line.size(), rc + " range");
        // Controls are left out of the text but their clusters keep the
        // columns the cluster rules give them (a joiner makes even a control
        // two columns wide), so only rows without them measure the same.
        std::string_view range = std::string_view(line).substr(row.start, row.end - row.start);
        if (printable(range).size() == range.size())
            FUZZ_CHECK(row.width == row.text_col + text_width(body),
                       rc + " width " + std::to_string(row.width) + " for \"" + fuzz_visible(text) +
                           "\"");
        bool ok_width = row.width <= W || (r == 0 && P > W && row.width == P) ||
                        (r > 0 && W - I < 2 && row.width <= I + 2);
        FUZZ_CHECK(ok_width, rc + " is " + std::to_string(row.width) + " columns: \"" +
                                 fuzz_visible(text) + "\"");
        // The range: in order, with only line feeds and spaces left out.
        FUZZ_CHECK(row.start <= row.end && row.end <= line.size(), rc + " range");
        FUZZ_CHECK(r == 0 ? row.start == 0 : row.start >= prev_end, rc + " range order");
        for (size_t i = prev_end; i < row.start; ++i)
            FUZZ_CHECK(line[i] == '\n' || line[i] == ' ',
                       rc + " leaves out byte " + std::to_string(i));
        FUZZ_CHECK(decoded(body) == shown(line, row.start, row.end),
                   rc + " [" + std::to_string(row.start) + "," + std::to_string(row.end) +
                       ") shows \"" + fuzz_visible(body) + "\"");
        prev_end = row.end;
        // Where the cursor is shown: at the column of its cluster.
        if (cursor >= row.start && cursor < row.end && line[cursor] != '\t') {
            bool at_start = false;
            int col = row.text_col;
            bool tab = false;
            for (size_t i = row.start; i < row.end;) {
                size_t n;
                int w = cluster_width(line, i, &n);
                if (i == cursor) {
                    at_start = true;
                    break;
                }
                tab = tab || line[i] == '\t';
                col += w;
                i += n;
            }
            // A wrap inside the row's range never happens, so a cluster
            // start is shown on this row.
            if (at_start && !tab)
                FUZZ_CHECK(lo.cursor_row == r && lo.cursor_col == col,
                           rc + " cursor shown at " + std::to_string(lo.cursor_row) + "," +
                               std::to_string(lo.cursor_col) + ", want col " + std::to_string(col));
        }
    }
    FUZZ_CHECK(prev_end == line.size(), ctx + " last row ends at " + std::to_string(prev_end));
    if (cursor == line.size())
        FUZZ_CHECK(lo.cursor_row == lo.count - 1, ctx + " cursor at the end not on the last row");
    for (int r = lo.count; r < lo.capacity; ++r)
        FUZZ_CHECK(lo.rows[r].text == nullptr && lo.rows[r].len == 0, ctx + " spare row");
    kv_destroy(ed);
}

// ---- drawing by difference ----------------------------------------------------

struct Geometry {
    int cols, rows;
    bool bounded;
    int box_row, box_height;
};

kv_editor *drawing_editor(const Geometry &g) {
    kv_editor *ed = make_captured_editor();
    if (g.bounded) FUZZ_CHECK(kv_set_bounds(ed, 0, g.box_row, 0, g.box_height) == 0, "bounds");
    return ed;
}

struct Screen {
    std::string dump;
    int row, col;
};

void set_state(kv_editor *ed, const std::string &line, size_t cursor) {
    FUZZ_CHECK(kv_buf_set_bytes(ed, line.data(), line.size()) == 0, "set");
    ed->state->line.cursor = cursor;
}

Screen draw(const Geometry &g, const std::string &prompt, const std::string *first,
            size_t first_cursor, const std::string &line, size_t cursor) {
    WriteCapture term(g.rows, g.cols);
    kv_editor *ed = drawing_editor(g);
    if (first) {
        set_state(ed, *first, first_cursor);
        FUZZ_CHECK(kv_render_apply(ed, prompt.c_str()) == 0, "first drawing");
    }
    set_state(ed, line, cursor);
    FUZZ_CHECK(kv_render_apply(ed, prompt.c_str()) == 0, "drawing");
    Screen s{term.screen().dump(), term.screen().cursor_row(), term.screen().cursor_col()};
    kv_destroy(ed);
    return s;
}

void check_difference(FuzzInput &in) {
    Geometry g{};
    g.cols = in.range(4, 40);
    g.rows = 60;
    g.bounded = in.byte() & 1;
    g.box_row = in.range(0, 6);
    g.box_height = in.range(1, 8);
    std::string prompt = fuzz_joined(fuzz_tokens(in, 4, false));
    // The prompt and a wide cluster must fit on row 0.
    if (prompt_width(prompt) + 2 > g.cols) prompt = "> ";
    // Edits work on whole tokens, so that no character is cut in two.
    FuzzTokens first = fuzz_tokens(in, 24, true);
    size_t k1 = in.byte() % (first.size() + 1);
    FuzzTokens second = first;
    size_t k2 = k1;
    switch (in.byte() % 4) {
    case 0: { // insertion at the cursor
        FuzzTokens ins = fuzz_tokens(in, 6, true);
        second.insert(second.begin() + static_cast<long>(k1), ins.begin(), ins.end());
        k2 = k1 + ins.size();
        break;
    }
    case 1: { // deletion
        size_t from = in.byte() % (first.size() + 1);
        size_t n = std::min<size_t>(in.byte() % 8, first.size() - from);
        second.erase(second.begin() + static_cast<long>(from),
                     second.begin() + static_cast<long>(from + n));
        k2 = from;
        break;
    }
    case 2: // cursor motion
        k2 = in.byte() % (first.size() + 1);
        break;
    default: // another line
        second = fuzz_tokens(in, 24, true);
        k2 = in.byte() % (second.size() + 1);
        break;
    }
    std::string one = fuzz_joined(first), two = fuzz_joined(second);
    size_t c1 = fuzz_joined(first, k1).size();
    size_t c2 = fuzz_joined(second, k2).size();
    // Keep the cursor on a cluster start: the drawing then shows it there.
    kv_editor *probe = kv_create();
    set_state(probe, two, 0);
    FUZZ_CHECK(kv_set_cursor(probe, c2) == 0, "set_cursor");
    c2 = kv_cursor(probe);
    kv_destroy(probe);

    Screen diff = draw(g, prompt, &one, c1, two, c2);
    Screen fresh = draw(g, prompt, nullptr, 0, two, c2);
    const std::string ctx = std::string(g.bounded ? "bounded box row " + std::to_string(g.box_row) +
                                                        " height " + std::to_string(g.box_height)
                                                  : "normal") +
                            ", " + std::to_string(g.cols) + " columns, prompt \"" +
                            fuzz_visible(prompt) + "\", \"" + fuzz_visible(one) + "\" at " +
                            std::to_string(c1) + " then \"" + fuzz_visible(two) + "\" at " +
                            std::to_string(c2);
    FUZZ_CHECK(diff.dump == fresh.dump,
               ctx + "\n--- by difference:\n" + diff.dump + "\n--- fresh:\n" + fresh.dump);
    FUZZ_CHECK(diff.row == fresh.row && diff.col == fresh.col,
               ctx + ": cursor " + std::to_string(diff.row) + "," + std::to_string(diff.col) +
                   " vs " + std::to_string(fresh.row) + "," + std::to_string(fresh.col));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    if (in.byte() & 1) {
        check_difference(in);
        return 0;
    }
    int W = in.range(1, 48);
    std::string prompt(in.piece(16));
    prompt = prompt.substr(0, prompt.find('\0')); // the prompt is a C string
    std::string line(in.piece(96));
    size_t cursor = in.byte() % (line.size() + 1);
    check_layout(prompt, line, cursor, W);
    return 0;
}
