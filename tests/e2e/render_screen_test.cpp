// What a user sees: the library's output poured into a terminal emulator.
// A randomised differential test checks that drawing by difference always
// leaves the same screen as drawing the same state afresh, and pty cases
// check real terminal sizes and frames taller than the terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "pty_session.h"
#include "render/internal.h"
#include "screen_batch.h"
#include "test_editor.h"
#include "text/text.h"
#include "vt_screen.h"
#include "write_capture.h"

namespace {

// ---- differential test ------------------------------------------------------------

const char *const tokens[] = {
    " ",
    "  ",
    "    ",
    "\t",
    "\n",
    "e\xcc\x81",
    "\xe4\xb8\x80",
    "\xe6\x97\xa5",
    "\xf0\x9f\x98\x80",
    "\x1b",
    "\r",
    "\xc2\x9b",
    "\x7f",
    "\xff",
    ".",
    ",",
};

// No prompt with a tab here: the prompt is written as it is, and a tab moves
// the terminal cursor over cells without writing them, so whatever another
// row left there stays visible.
const char *const prompts[] = {
    "", "> ", "\x1b[1;32m>>> \x1b[0m", "\xe6\x97\xa5\xe6\x9c\xac> ", "a-long-prompt-of-26-chars> ",
};

// Tokens on which the emulator's widths agree with ours.  xterm.js gives
// every code point past U+FFFF one column and drops a byte that is not UTF-8
// (we count one column for it, as libvterm shows it): there U+3042 and U+00E9
// take the places of U+1F600 and 0xFF.
std::string random_token(std::mt19937 &rng, Emulator emulator) {
    int kind = std::uniform_int_distribution<int>(0, 9)(rng);
    if (kind >= 5) {
        const std::string t = tokens[rng() % (sizeof tokens / sizeof tokens[0])];
        if (emulator != Emulator::xterm_js) return t;
        return t == "\xf0\x9f\x98\x80" ? "\xe3\x81\x82" : t == "\xff" ? "\xc3\xa9" : t;
    }
    int n = std::uniform_int_distribution<int>(1, kind == 0 ? 200 : 8)(rng);
    std::string w;
    for (int k = 0; k < n; ++k)
        w += static_cast<char>('a' + rng() % 26);
    return w;
}

// The cluster boundaries of the line, so that edits never split a cluster
// (the emulator and the layout agree only on whole clusters).
std::vector<size_t> boundaries(const kv_state *st) {
    std::vector<size_t> b{0};
    for (size_t i = 0; i < st->line.len;) {
        i += kv_utf8_cluster_len_width(st->line.text, st->line.len, i, nullptr);
        b.push_back(i);
    }
    return b;
}

void random_edit(std::mt19937 &rng, RenderEditor &e, Emulator emulator) {
    kv_state *st = e.st();
    std::vector<size_t> b = boundaries(st);
    int kind = std::uniform_int_distribution<int>(0, 9)(rng);
    if (kind < 5) { // insert at the cursor, snapped to a cluster start
        kv_set_cursor(e.ed, st->line.cursor);
        std::string t = random_token(rng, emulator);
        if (kv_buf_insert(e.ed, st->line.cursor, t.data(), t.size()) == 0)
            st->line.cursor += t.size();
    } else if (kind < 7) { // delete a few clusters
        size_t from = rng() % b.size();
        size_t to = std::min(b.size() - 1, from + rng() % 4);
        kv_buf_delete(e.ed, b[from], b[to] - b[from]);
        st->line.cursor = std::min(st->line.cursor, st->line.len);
    } else if (kind < 9) { // move the cursor to a cluster boundary
        st->line.cursor = b[rng() % b.size()];
    } else { // or to any byte, inside a cluster too
        st->line.cursor = rng() % (st->line.len + 1);
    }
}

int widest_row(RenderEditor &e, const char *prompt) {
    kv_layout lo{};
    EXPECT_EQ(kv_render_build(e.ed, prompt, &lo), 0);
    int w = 0;
    for (int i = 0; i < lo.count; ++i)
        w = std::max(w, lo.rows[i].width);
    kv_layout_free(&lo);
    return w;
}

// Drawings poured into terminals of one emulator, and the pairs of moments
// whose screens must agree: a drawing by difference, and the same state drawn
// once on a clean terminal.
struct Comparisons {
    ScreenBatch batch;
    struct Pair {
        size_t drawn, fresh;
        int first_row; // compare the drawn screen from here down (resizing)
        std::string where;
    };
    std::vector<Pair> pairs;

    explicit Comparisons(Emulator e) : batch(e) {}
    // The bytes of one drawing on a clean terminal; its snapshot.
    size_t fresh(int rows, int cols, const std::string &bytes) {
        const int t = batch.open(rows, cols);
        batch.feed(t, bytes);
        const size_t s = batch.snap(t);
        batch.close(t);
        return s;
    }
    // Replays every drawing; fails at the first pair that differs.  The
    // fresh screen must show the cursor no lower than the drawn one, and the
    // drawn screen from there down is what the fresh one shows from its top.
    void check() {
        ASSERT_EQ(batch.run(), "");
        for (const Pair &p : pairs) {
            const Snapshot &d = batch.at(p.drawn), &f = batch.at(p.fresh);
            const int first = p.first_row < 0 ? d.cursor_row - f.cursor_row : p.first_row;
            ASSERT_GE(first, 0) << p.where << "\n" << d.dump();
            std::string shown;
            for (size_t r = static_cast<size_t>(first); r < d.rows.size(); ++r)
                shown += (r > static_cast<size_t>(first) ? "\n" : "") + d.rows[r];
            Snapshot below{{f.rows.begin(), f.rows.end() - first}, 0, 0};
            ASSERT_EQ(shown, below.dump()) << p.where << "\n" << d.dump() << "\n----\n" << f.dump();
            ASSERT_EQ(d.cursor_row - first, f.cursor_row) << p.where;
            ASSERT_EQ(d.cursor_col, f.cursor_col) << p.where;
        }
    }
};

// The editor's state drawn once on a clean terminal.
size_t draw_fresh(const RenderEditor &diff, const char *prompt, bool bounded, int rows, int cols,
                  Comparisons &c, WriteCapture &w) {
    RenderEditor fresh(diff.st()->screen.width);
    if (bounded) EXPECT_EQ(kv_set_bounds(fresh.ed, 0, 0, diff.st()->screen.width, 0), 0);
    fresh.set(diff.line(), diff.st()->line.cursor);
    w.clear();
    EXPECT_EQ(kv_render_apply(fresh.ed, prompt), 0);
    return c.fresh(rows, cols, w.text());
}

struct RenderScreenOn : ::testing::TestWithParam<Emulator> {};

TEST_P(RenderScreenOn, DrawingByDifferenceMatchesAFreshDrawing) {
    REQUIRE_EMULATOR(GetParam());
    // Each mode's drawings are replayed while the next mode's are made.
    std::vector<std::unique_ptr<Comparisons>> modes;
    for (bool bounded : {false, true}) {
        std::mt19937 rng(4242);
        Comparisons &c = *modes.emplace_back(std::make_unique<Comparisons>(GetParam()));
        long redraws = 0;
        for (int seq = 0; seq < 160; ++seq) {
            int cols =
                seq % 5 == 0 ? 1 + static_cast<int>(rng() % 8) : 1 + static_cast<int>(rng() % 120);
            int rows = 2 + static_cast<int>(rng() % 12);
            WriteCapture w(rows, cols);
            RenderEditor e(cols);
            if (bounded) ASSERT_EQ(kv_set_bounds(e.ed, 0, 0, cols, 0), 0);
            const int screen = c.batch.open(rows, cols);
            const char *prompt = prompts[rng() % (sizeof prompts / sizeof prompts[0])];
            for (int step = 0; step < 40; ++step) {
                random_edit(rng, e, GetParam());
                if (rng() % 15 == 0) prompt = prompts[rng() % (sizeof prompts / sizeof prompts[0])];
                // A box is drawn inside its width only: what a narrower box
                // leaves beside it is not the editor's.
                const int width = rng() % 4 == 0
                                      ? 1 + static_cast<int>(rng() % static_cast<unsigned>(cols))
                                      : cols;
                e.st()->screen.width = bounded ? cols : width;
                // A row wider than the terminal (a prompt wider than the screen,
                // a wide character beside a one-column indent) wraps in the
                // terminal itself; such states are outside this comparison.
                if (widest_row(e, prompt) > cols) break;
                w.clear();
                ASSERT_EQ(kv_render_apply(e.ed, prompt), 0);
                redraws += !w.pieces().empty();
                c.batch.feed(screen, w.text());
                const size_t drawn = c.batch.snap(screen);
                const size_t fresh = draw_fresh(e, prompt, bounded, rows, cols, c, w);
                c.pairs.push_back({drawn, fresh, 0,
                                   std::string(bounded ? "bounded" : "normal") + " seq " +
                                       std::to_string(seq) + " step " + std::to_string(step) +
                                       " cols " + std::to_string(cols) + " width " +
                                       std::to_string(e.st()->screen.width) + " line '" + e.line() +
                                       "'"});
            }
            c.batch.close(screen);
        }
        c.batch.start();
        // The comparison must run on a substantial number of states.
        EXPECT_GT(c.pairs.size(), 3000u);
        EXPECT_GT(redraws, 2000);
    }
    for (auto &c : modes)
        c->check();
}

// ---- resizing ---------------------------------------------------------------------

// Forty words: a few rows at 80 columns, more than a screen at 6.
const std::string forty_words = [] {
    const char *const words[] = {"hello", "world", "resize", "me", "kavrik", "line", "of", "text"};
    std::string s;
    for (int i = 0; i < 40; ++i)
        s += std::string(i ? " " : "") + words[i % 8];
    return s;
}();

// The editor drawn once at the stubbed terminal size, on a clean terminal.
size_t fresh_screen(bool bounded, int cols, Comparisons &c, WriteCapture &w) {
    RenderEditor fresh(0);
    if (bounded) EXPECT_EQ(kv_set_bounds(fresh.ed, 0, 0, 0, 0), 0);
    fresh.set(forty_words);
    w.clear();
    EXPECT_EQ(kv_render_apply(fresh.ed, "> "), 0);
    return c.fresh(24, cols, w.text());
}

// From the editor's first row down, the screen is what a fresh drawing at the
// new size shows: the editor's rows, the cursor, and nothing left below.
// Normal mode starts below some output; bounded mode owns the whole screen.
// libvterm keeps the rows as they were at a resize; xterm.js rewraps them.
TEST_P(RenderScreenOn, AfterAResizeTheEditorIsDrawnAsAFreshDrawingWould) {
    REQUIRE_EMULATOR(GetParam());
    Comparisons c(GetParam());
    for (bool bounded : {false, true}) {
        for (int cols = 6; cols <= 200; ++cols) {
            for (int back : {0, 1}) {
                const int from = back ? cols : 80, to = back ? 80 : cols;
                WriteCapture w(24, from);
                const int screen = c.batch.open(24, from);
                RenderEditor e(0);
                if (bounded)
                    ASSERT_EQ(kv_set_bounds(e.ed, 0, 0, 0, 0), 0);
                else
                    c.batch.feed(screen, "output one\r\noutput two\r\noutput three\r\n");
                e.set(forty_words);
                ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
                c.batch.feed(screen, w.text());

                w.set_size(24, to);
                c.batch.resize(screen, 24, to);
                w.clear();
                ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
                c.batch.feed(screen, w.text());
                const size_t drawn = c.batch.snap(screen);
                c.batch.close(screen);
                c.pairs.push_back({drawn, fresh_screen(bounded, to, c, w), bounded ? 0 : -1,
                                   (bounded ? "bounded " : "normal ") + std::to_string(from) +
                                       " to " + std::to_string(to) + " columns"});
            }
        }
    }
    c.check();
}

INSTANTIATE_TEST_SUITE_P(Emulators, RenderScreenOn,
                         ::testing::Values(Emulator::libvterm, Emulator::xterm_js),
                         emulator_param_name);

// ---- real terminals -----------------------------------------------------------------

struct PtyEditor {
    Pty pty;
    kv_editor *ed;
    PtyEditor(int rows, int cols) : pty(rows, cols), ed(make_pty_editor(pty)) {}
    ~PtyEditor() { kv_destroy(ed); }
    kv_state *st() const { return ed->state; }
    void set(std::string_view text, size_t pos) {
        ASSERT_EQ(kv_buf_set_bytes(ed, text.data(), text.size()), 0);
        st()->line.cursor = pos;
    }
    void draw(const char *prompt) { ASSERT_EQ(kv_render_apply(ed, prompt), 0); }
    bool shows(int row, const std::string &text) {
        return pty.pump_until([&] { return pty.screen().row(row) == text; });
    }
    bool cursor_at(int row, int col) {
        return pty.pump_until(
            [&] { return pty.screen().cursor_row() == row && pty.screen().cursor_col() == col; });
    }
};

TEST(RenderScreen, AutomaticWidthFollowsTheTerminal) {
    PtyEditor p(6, 12);
    p.set("hello world foo", 15);
    p.draw("> ");
    EXPECT_TRUE(p.shows(0, "> hello"));
    EXPECT_TRUE(p.shows(1, "  world foo"));
    EXPECT_TRUE(p.cursor_at(1, 11));
    // The size is asked afresh for every drawing.
    p.pty.resize(6, 40);
    EXPECT_EQ(kv_screen_width(p.st()), 40);
    int cols = 0, rows = 0;
    kv_terminal_size(p.st(), &cols, &rows);
    EXPECT_EQ(rows, 6);
}

TEST(RenderScreen, ColouredPromptKeepsTheCursorOnTheText) {
    PtyEditor p(4, 20);
    p.set("abc", 1);
    p.draw("\x1b[1;31m>> \x1b[0m");
    EXPECT_TRUE(p.shows(0, ">> abc"));
    EXPECT_TRUE(p.cursor_at(0, 4));
}

TEST(RenderScreen, ControlsInTheLineDoNotReachTheTerminal) {
    PtyEditor p(4, 30);
    // Without the filter, ESC [ 2 J would clear the screen and the CR would
    // put "x" over the prompt.
    p.set("ab\x1b[2J\rx\xc2\x9b"
          "31mz",
          14);
    p.draw("> ");
    EXPECT_TRUE(p.shows(0, "> ab[2Jx31mz"));
    EXPECT_TRUE(p.cursor_at(0, 12));
}

TEST(RenderScreen, FrameTallerThanTheTerminalShowsTheCursorsRows) {
    PtyEditor p(4, 20);
    p.set("l0\nl1\nl2\nl3\nl4\nl5\nl6", 20);
    p.draw("> ");
    EXPECT_TRUE(p.shows(0, "  l3"));
    EXPECT_TRUE(p.shows(3, "  l6"));
    EXPECT_TRUE(p.cursor_at(3, 4));
    // Back to the first row, then down to the middle, redrawn by difference.
    p.st()->line.cursor = 0;
    p.draw("> ");
    EXPECT_TRUE(p.shows(0, "> l0"));
    EXPECT_TRUE(p.shows(3, "  l3"));
    EXPECT_TRUE(p.cursor_at(0, 2));
    p.st()->line.cursor = 13; // "l4"
    p.draw("> ");
    EXPECT_TRUE(p.shows(0, "  l1"));
    EXPECT_TRUE(p.shows(3, "  l4"));
    EXPECT_TRUE(p.cursor_at(3, 3));
}

} // namespace
