// The bounded update: absolute placement of the editor rows at the bottom of
// the box, filling with spaces, scrolling the output area when the editor
// grows, blanking when it shrinks, and the failure states.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/state.h"
#include "bounded_term.h"
#include "fault.h"
#include "render/internal.h"

namespace {

using Pieces = std::vector<std::string>;

std::string at(int row1, int col1) {
    return "\x1b[" + std::to_string(row1) + ";" + std::to_string(col1) + "H";
}

void add(Pieces &p, std::initializer_list<std::string> more) { p.insert(p.end(), more); }
void add_spaces(Pieces &p, int n) { p.insert(p.end(), static_cast<size_t>(n), " "); }

std::string shown(const Pieces &p) {
    std::string s;
    for (const auto &x : p)
        s += "[" + visible(x) + "]";
    return s;
}

#define EXPECT_PIECES(term, expected) EXPECT_EQ(shown((term).pieces()), shown(expected))

// Words that wrap on a 20-column screen after the prompt "> ":
// "> aaaa bbbb cccc" / "  dddd" / "  eeee ffff gggg" / ...
const char *const two_rows = "aaaa bbbb cccc dddd";
const char *const four_rows = "aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj";

void fill_screen(WriteCapture &term, int rows, const char *label) {
    std::string s = "\x1b[H";
    for (int r = 0; r < rows; ++r) {
        if (r) s += "\r\n";
        s += label + std::to_string(r);
    }
    term.screen().feed(s);
}

// A bounded drawing places everything absolutely: no relative moves, no
// carriage return of its own, no erase to the end of the row.
bool only_absolute(const Pieces &pieces) {
    for (const auto &p : pieces) {
        if (p == "\r\n") continue; // scrolling the output area
        if (!p.empty() && p[0] == '\x1b') {
            if (p.back() != 'H' && p.back() != 'r') return false;
        } else if (p.find_first_of("\r\n\x1b") != std::string::npos) {
            return false;
        }
    }
    return true;
}

struct BoxTest : ::testing::Test {
    WriteCapture term{10, 20};
    kv_editor *ed = make_captured_editor();
    kv_state *st = ed->state;
    ~BoxTest() override { kv_destroy(ed); }

    int draw(std::string_view line, size_t cursor = std::string_view::npos) {
        set_line(ed, line, cursor);
        term.clear();
        const int rc = kv_render_apply(ed, "> ");
        EXPECT_TRUE(only_absolute(term.pieces())) << shown(term.pieces());
        return rc;
    }
};

TEST_F(BoxTest, WholeScreenPutsTheEditorOnTheLastRow) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    ASSERT_EQ(draw("hi"), 0);
    Pieces want{at(10, 1), "> hi"};
    add_spaces(want, 16);
    add(want, {at(10, 5)});
    EXPECT_PIECES(term, want);
    EXPECT_EQ(term.screen().row(9), "> hi");
    EXPECT_EQ(term.screen().cursor_row(), 9);
    EXPECT_EQ(term.screen().cursor_col(), 4);
    EXPECT_EQ(st->screen.store.count, 1);
    EXPECT_EQ(st->screen.store.top, 9);
    EXPECT_EQ(st->screen.store.cursor_row, 0);
    EXPECT_EQ(st->screen.store.cursor_col, 4);

    ASSERT_EQ(draw("hi"), 0);
    EXPECT_TRUE(term.pieces().empty()) << "an unchanged frame writes nothing";
}

TEST_F(BoxTest, GrowingScrollsTheOutputAreaAndShrinkingDoesNotScrollBack) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    fill_screen(term, 9, "out");
    ASSERT_EQ(draw("hi"), 0);

    ASSERT_EQ(draw(two_rows), 0);
    Pieces want{"\x1b[1;9r", at(9, 1), "\r\n", "\x1b[r", at(9, 1)};
    add_spaces(want, 20);
    add(want, {at(10, 1)});
    add_spaces(want, 20);
    add(want, {at(9, 1), "> aaaa bbbb cccc"});
    add_spaces(want, 4);
    add(want, {at(10, 1), "  dddd"});
    add_spaces(want, 14);
    add(want, {at(10, 7)});
    EXPECT_PIECES(term, want);
    for (int r = 0; r < 8; ++r)
        EXPECT_EQ(term.screen().row(r), "out" + std::to_string(r + 1));
    EXPECT_EQ(term.screen().row(8), "> aaaa bbbb cccc");
    EXPECT_EQ(term.screen().row(9), "  dddd");
    EXPECT_EQ(st->screen.store.top, 8);
    EXPECT_EQ(st->screen.store.count, 2);

    ASSERT_EQ(draw("hi"), 0);
    EXPECT_EQ(term.text().find("r"), std::string::npos) << "no scroll region when shrinking";
    EXPECT_EQ(term.screen().row(8), "") << "the vacated row is blanked";
    EXPECT_EQ(term.screen().row(9), "> hi");
    for (int r = 0; r < 8; ++r)
        EXPECT_EQ(term.screen().row(r), "out" + std::to_string(r + 1));
    EXPECT_EQ(st->screen.store.top, 9);
    EXPECT_EQ(st->screen.store.count, 1);
}

TEST_F(BoxTest, ChangedRowsAloneAreRewrittenAndShorterOnesFilled) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    ASSERT_EQ(draw("aaaa bbbb cccc ddddd"), 0);
    ASSERT_EQ(draw(two_rows), 0);
    Pieces want{at(10, 1), "  dddd"};
    add_spaces(want, 14);
    add(want, {at(10, 7)});
    EXPECT_PIECES(term, want);

    // Cursor moved only: the rows are left alone.
    ASSERT_EQ(draw(two_rows, 2), 0);
    EXPECT_PIECES(term, (Pieces{at(9, 5)}));

    // A wider row is not filled: it covers the old one.
    ASSERT_EQ(draw("aaaa bbbb cccc dddddd"), 0);
    EXPECT_PIECES(term, (Pieces{at(10, 1), "  dddddd", at(10, 9)}));
}

TEST_F(BoxTest, OneRowBoxShowsOnlyTheCursorRow) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 3, 0, 1), 0);
    ASSERT_EQ(draw(four_rows, 0), 0);
    EXPECT_EQ(term.screen().row(3), "> aaaa bbbb cccc");
    EXPECT_EQ(term.screen().cursor_row(), 3);
    EXPECT_EQ(term.screen().cursor_col(), 2);

    ASSERT_EQ(draw(four_rows, 17), 0); // inside "dddd" on layout row 1
    Pieces want{at(4, 1), "  dddd eeee ffff"};
    add(want, {at(4, 5)});
    EXPECT_PIECES(term, want);
    EXPECT_EQ(term.screen().row(3), "  dddd eeee ffff");

    ASSERT_EQ(draw(four_rows), 0); // the end: layout row 3
    want = {at(4, 1), "  jjjj"};
    add_spaces(want, 14);
    add(want, {at(4, 7)});
    EXPECT_PIECES(term, want);
    EXPECT_EQ(st->screen.store.top, 3);
    EXPECT_EQ(st->screen.store.count, 1);
    EXPECT_EQ(st->screen.store.cursor_row, 0);
    for (int r : {0, 1, 2, 4, 5})
        EXPECT_EQ(term.screen().row(r), "") << r;
}

TEST_F(BoxTest, LayoutTallerThanTheBoxFollowsTheCursor) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 2), 0);
    struct Step {
        size_t cursor;
        const char *row0, *row1;
        int cursor_row;
    } steps[] = {
        {0, "> aaaa bbbb cccc", "  dddd eeee ffff", 0},
        {16, "> aaaa bbbb cccc", "  dddd eeee ffff", 1},
        {31, "  dddd eeee ffff", "  gggg hhhh iiii", 1},
        {49, "  gggg hhhh iiii", "  jjjj", 1},
        {16, "> aaaa bbbb cccc", "  dddd eeee ffff", 1},
    };
    for (const Step &s : steps) {
        ASSERT_EQ(draw(four_rows, s.cursor), 0);
        EXPECT_EQ(term.screen().row(0), s.row0) << s.cursor;
        EXPECT_EQ(term.screen().row(1), s.row1) << s.cursor;
        EXPECT_EQ(term.screen().cursor_row(), s.cursor_row) << s.cursor;
        EXPECT_EQ(st->screen.store.cursor_row, s.cursor_row);
        EXPECT_EQ(st->screen.store.top, 0);
        EXPECT_EQ(term.text().find("\x1b[r"), std::string::npos) << "box full: no scrolling";
    }
}

TEST(BoundedWidth, Column5WithAutomaticWidthOn80Columns) {
    WriteCapture term(24, 80);
    kv_editor *ed = make_captured_editor();
    term.screen().feed("\x1b[24;1H" + std::string(80, 'Z'));
    term.screen().feed("\x1b[24;1HABCDE");
    ASSERT_EQ(kv_set_bounds(ed, 5, 0, 0, 0), 0);
    EXPECT_EQ(kv_screen_width(ed->state), 75);
    set_line(ed, "hi");
    ASSERT_EQ(kv_render_apply(ed, "> "), 0);
    Pieces want{at(24, 6), "> hi"};
    add_spaces(want, 71);
    add(want, {at(24, 10)});
    EXPECT_PIECES(term, want);
    EXPECT_EQ(term.screen().row(23), "ABCDE> hi");
    EXPECT_EQ(term.screen().cursor_col(), 9);
    kv_destroy(ed);
}

TEST(BoundedWidth, FixedWidth40FillsOnlyTheBox) {
    WriteCapture term(24, 80);
    kv_editor *ed = make_captured_editor();
    term.screen().feed("\x1b[24;1H" + std::string(80, 'Z'));
    ASSERT_EQ(kv_set_bounds(ed, 3, 0, 40, 0), 0);
    set_line(ed, "hi");
    ASSERT_EQ(kv_render_apply(ed, "> "), 0);
    Pieces want{at(24, 4), "> hi"};
    add_spaces(want, 36);
    add(want, {at(24, 8)});
    EXPECT_PIECES(term, want);
    EXPECT_EQ(term.screen().row(23), "ZZZ> hi" + std::string(36, ' ') + std::string(37, 'Z'));
    kv_destroy(ed);
}

TEST(BoundedWidth, FailingSizeQueryBehavesAs80By24) {
    std::string reference;
    {
        WriteCapture term(24, 80);
        kv_editor *ed = make_captured_editor();
        ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
        set_line(ed, "hello");
        ASSERT_EQ(kv_render_apply(ed, "> "), 0);
        reference = term.text();
        kv_destroy(ed);
    }
    ASSERT_NE(reference.find(at(24, 1)), std::string::npos);
    for (bool zero_size : {false, true}) {
        WriteCapture term(50, 132);
        if (zero_size)
            term.set_size(0, 0);
        else
            term.fail_size();
        kv_editor *ed = make_captured_editor();
        ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
        set_line(ed, "hello");
        ASSERT_EQ(kv_render_apply(ed, "> "), 0);
        EXPECT_EQ(visible(term.text()), visible(reference)) << zero_size;
        kv_destroy(ed);
    }
}

TEST(BoundedWidth, BoxBeyondTheScreenIsDrawnAsComputed) {
    WriteCapture term(24, 80);
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_bounds(ed, 70, 20, 15, 10), 0);
    set_line(ed, "x");
    ASSERT_EQ(kv_render_apply(ed, "> "), 0);
    Pieces want{at(30, 71), "> x"};
    add_spaces(want, 12);
    add(want, {at(30, 74)});
    EXPECT_PIECES(term, want);
    kv_destroy(ed);
}

TEST(BoundedResize, AutomaticHeightFollowsTheTerminal) {
    WriteCapture term(10, 20);
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    set_line(ed, "hi");
    ASSERT_EQ(kv_render_apply(ed, "> "), 0);
    EXPECT_EQ(ed->state->screen.store.top, 9);
    term.set_size(6, 20);
    term.clear();
    ASSERT_EQ(kv_render_apply(ed, "> "), 0);
    EXPECT_EQ(ed->state->screen.store.top, 5);
    // A new size: the editor is drawn whole, once, on the box's last row.
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(term.screen().row(r), "") << r << visible(term.text());
    EXPECT_EQ(term.screen().row(5), "> hi");
    kv_destroy(ed);
}

// ---- failures ------------------------------------------------------------------

struct Snapshot {
    int count, top, cursor_row, cursor_col;
    std::vector<std::string> rows;
    bool operator==(const Snapshot &) const = default;
};

Snapshot snapshot(const kv_state *st) {
    Snapshot s{st->screen.store.count,
               st->screen.store.top,
               st->screen.store.cursor_row,
               st->screen.store.cursor_col,
               {}};
    for (int i = 0; i < st->screen.store.count; ++i)
        s.rows.emplace_back(st->screen.store.rows[i]);
    return s;
}

// Counts the writes of one drawing from `before` to `line`.
long writes_of(kv_editor *ed, WriteCapture &term, const char *before, const char *line) {
    kv_render_store_reset(ed->state->screen.store);
    set_line(ed, before);
    EXPECT_EQ(kv_render_apply(ed, "> "), 0);
    set_line(ed, line);
    term.clear();
    EXPECT_EQ(kv_render_apply(ed, "> "), 0);
    return static_cast<long>(term.pieces().size());
}

TEST(BoundedFailure, WriteFailureWithoutMoveKeepsTheOldFrame) {
    WriteCapture term(10, 20);
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    const long total = writes_of(ed, term, "aaaa bbbb cccc ddddd", two_rows);
    ASSERT_GT(total, 3);
    for (long k = 1; k <= total; ++k) {
        kv_render_store_reset(ed->state->screen.store);
        set_line(ed, "aaaa bbbb cccc ddddd");
        ASSERT_EQ(kv_render_apply(ed, "> "), 0);
        const Snapshot old = snapshot(ed->state);
        set_line(ed, two_rows);
        term.fail_write(k);
        EXPECT_EQ(kv_render_apply(ed, "> "), -1) << k;
        term.fail_write(0);
        EXPECT_STREQ(kv_last_error(ed), "failed to write bounded terminal output");
        EXPECT_EQ(snapshot(ed->state), old) << k;
        EXPECT_EQ(term.failed_writes(), k) << "stops at the first failed write";
    }
    kv_destroy(ed);
}

TEST(BoundedFailure, WriteFailureAfterTheBoxMovedLeavesTheStoreEmpty) {
    WriteCapture term(10, 20);
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    const long total = writes_of(ed, term, "hi", two_rows);
    for (long k = 1; k <= total; ++k) {
        kv_render_store_reset(ed->state->screen.store);
        set_line(ed, "hi");
        ASSERT_EQ(kv_render_apply(ed, "> "), 0);
        set_line(ed, two_rows);
        term.fail_write(k);
        EXPECT_EQ(kv_render_apply(ed, "> "), -1) << k;
        term.fail_write(0);
        EXPECT_STREQ(kv_last_error(ed), "failed to write bounded terminal output");
        EXPECT_EQ(ed->state->screen.store.count, 0) << k;
    }
    kv_destroy(ed);
}

TEST(BoundedFailure, ScrollRegionIsResetWhenTheLineFeedFails) {
    WriteCapture term(10, 20);
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    set_line(ed, "hi");
    ASSERT_EQ(kv_render_apply(ed, "> "), 0);
    set_line(ed, two_rows);
    term.clear();
    term.fail_write(3, false); // region, position, then the line feed
    EXPECT_EQ(kv_render_apply(ed, "> "), -1);
    EXPECT_PIECES(term, (Pieces{"\x1b[1;9r", at(9, 1), "\x1b[r"}));
    EXPECT_EQ(ed->state->screen.store.count, 0);
    kv_destroy(ed);
}

TEST(BoundedFailure, StoreOutOfMemoryIsReported) {
    WriteCapture term(10, 20);
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    set_line(ed, two_rows);
    bool store_failed = false;
    long allocations = for_each_alloc_failure(
        [&] {
            kv_render_store_reset(ed->state->screen.store);
            term.clear();
            return kv_render_apply(ed, "> ");
        },
        [&](long n, long rc) {
            EXPECT_EQ(rc, -1) << n;
            const std::string msg = kv_last_error(ed) ? kv_last_error(ed) : "";
            if (msg == "out of memory while storing terminal render state") {
                store_failed = true;
                EXPECT_NE(term.text().find("  dddd"), std::string::npos) << "drawn before storing";
            } else {
                EXPECT_EQ(msg, "failed to render editor state") << n;
                EXPECT_TRUE(term.pieces().empty()) << "nothing drawn without a layout";
            }
        });
    EXPECT_GT(allocations, 0);
    EXPECT_TRUE(store_failed);
    EXPECT_EQ(ed->state->screen.store.count, 2);
    kv_destroy(ed);
}

TEST(BoundedFailure, PipeWithoutReader) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    auto old = std::signal(SIGPIPE, SIG_IGN);
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.out_fd = fds[1];
    cfg.bounded = 1;
    kv_editor *ed = kv_create_with_config(&cfg);
    ASSERT_NE(ed, nullptr);
    set_line(ed, "hi");
    EXPECT_EQ(kv_render_apply(ed, "> "), -1);
    EXPECT_STREQ(kv_last_error(ed), "failed to write bounded terminal output");
    EXPECT_EQ(ed->state->screen.store.count, 0);
    kv_destroy(ed);
    std::signal(SIGPIPE, old);
    close(fds[1]);
}

} // namespace
