// Screen update: the exact write calls of first drawings, unchanged frames,
// cursor-only moves, shrinking and narrowing frames, frames taller than the
// terminal, the store after each drawing and every failure path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fault.h"
#include "render/internal.h"
#include "test_editor.h"
#include "write_capture.h"

namespace {

using Calls = std::vector<std::string>;

std::vector<std::string> stored_rows(const kv_state *st) {
    std::vector<std::string> out;
    for (int i = 0; i < st->screen.store.count; ++i)
        out.emplace_back(st->screen.store.rows[i], st->screen.store.lens[i]);
    return out;
}

TEST(RenderApply, FirstDrawingWritesEveryRow) {
    RenderEditor e(10);
    WriteCapture w;
    e.set("hello world foo");
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    EXPECT_EQ(w.pieces(), (Calls{"\r", "> hello", "\r\n", "\r", "  world", "\r\n", "\r", "  foo",
                                 "\r", "\x1b[5C"}));
    const kv_render_store &s = e.st()->screen.store;
    EXPECT_EQ(s.count, 3);
    EXPECT_EQ(s.top, -1);
    EXPECT_EQ(s.cursor_row, 2);
    EXPECT_EQ(s.cursor_col, 5);
    EXPECT_EQ(stored_rows(e.st()), (std::vector<std::string>{"> hello", "  world", "  foo"}));
    EXPECT_EQ(s.widths[0], 7);
    EXPECT_EQ(s.lens[2], 5u);
}

TEST(RenderApply, UnchangedFrameWritesNothing) {
    RenderEditor e(10);
    WriteCapture w;
    e.set("hello world foo", 3);
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    w.clear();
    EXPECT_EQ(kv_render_apply(e.ed, "> "), 0);
    EXPECT_TRUE(w.pieces().empty());
}

TEST(RenderApply, CursorOnlyMoveWalksTheRowsWithoutText) {
    RenderEditor e(10);
    WriteCapture w;
    e.set("hello world foo");
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    w.clear();
    e.st()->line.cursor = 7; // the 'o' of "world"
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    EXPECT_EQ(w.pieces(), (Calls{"\r", "\x1b[2A", "\r\n", "\r\n", "\x1b[1A", "\r", "\x1b[3C"}));
    EXPECT_EQ(e.st()->screen.store.cursor_row, 1);
    EXPECT_EQ(e.st()->screen.store.cursor_col, 3);
}

TEST(RenderApply, CursorInColumnZeroNeedsNoRightMove) {
    RenderEditor e(10);
    WriteCapture w;
    e.set("abc", 0);
    ASSERT_EQ(kv_render_apply(e.ed, nullptr), 0);
    EXPECT_EQ(w.pieces(), (Calls{"\r", "abc", "\r"}));
}

TEST(RenderApply, ShrinkingFrameBlanksTheRowsItLost) {
    RenderEditor e(10);
    WriteCapture w;
    e.set("hello world foo");
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    w.clear();
    e.set("hello");
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    EXPECT_EQ(w.pieces(), (Calls{"\r", "\x1b[2A", "\r\n", "\r", "\x1b[0K", "\r\n", "\r", "\x1b[0K",
                                 "\x1b[2A", "\r", "\x1b[7C"}));
    EXPECT_EQ(e.st()->screen.store.count, 1);
    EXPECT_EQ(e.st()->screen.store.rows[1], nullptr);
    EXPECT_EQ(e.st()->screen.store.lens[1], 0u);
    EXPECT_EQ(e.st()->screen.store.widths[2], 0);
}

TEST(RenderApply, NarrowerRowIsErasedWiderIsNot) {
    RenderEditor e(80);
    WriteCapture w;
    e.set("abcdef");
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    w.clear();
    e.set("abc");
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    EXPECT_EQ(w.pieces(), (Calls{"\r", "\r", "> abc", "\x1b[0K", "\r", "\x1b[5C"}));
    w.clear();
    e.set("xyz");
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    EXPECT_EQ(w.pieces(), (Calls{"\r", "\r", "> xyz", "\r", "\x1b[5C"}));
    w.clear();
    e.set("xyzuvw");
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    EXPECT_EQ(w.pieces(), (Calls{"\r", "\r", "> xyzuvw", "\r", "\x1b[8C"}));
}

TEST(RenderApply, RowThatBecomesEmptyIsOnlyErased) {
    RenderEditor e(80);
    WriteCapture w;
    e.set("abc");
    ASSERT_EQ(kv_render_apply(e.ed, nullptr), 0);
    w.clear();
    e.set("");
    ASSERT_EQ(kv_render_apply(e.ed, nullptr), 0);
    EXPECT_EQ(w.pieces(), (Calls{"\r", "\r", "\x1b[0K", "\r"}));
    ASSERT_EQ(e.st()->screen.store.count, 1);
    EXPECT_STREQ(e.st()->screen.store.rows[0], "");
}

TEST(RenderApply, PromptChangeRedrawsRowZeroOnly) {
    RenderEditor e(10);
    WriteCapture w;
    e.set("ab\ncd");
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    w.clear();
    ASSERT_EQ(kv_render_apply(e.ed, "$ "), 0);
    EXPECT_EQ(w.pieces(), (Calls{"\r", "\x1b[1A", "\r", "$ ab", "\r\n", "\r", "\x1b[4C"}));
}

TEST(RenderApply, FrameTallerThanTheTerminalDrawsTheCursorsWindow) {
    RenderEditor e(4);
    WriteCapture w(3, 4);
    e.set("a\nb\nc\nd\ne");
    ASSERT_EQ(kv_render_apply(e.ed, nullptr), 0);
    EXPECT_EQ(w.pieces(),
              (Calls{"\r", "c", "\r\n", "\r", "d", "\r\n", "\r", "e", "\r", "\x1b[1C"}));
    EXPECT_EQ(stored_rows(e.st()), (std::vector<std::string>{"c", "d", "e"}));
    EXPECT_EQ(e.st()->screen.store.cursor_row, 2);

    // Up to the first row: the window shows the top three rows.
    w.clear();
    e.st()->line.cursor = 0;
    ASSERT_EQ(kv_render_apply(e.ed, nullptr), 0);
    EXPECT_EQ(w.pieces(), (Calls{"\r", "\x1b[2A", "\r", "a", "\r\n", "\r", "b", "\r\n", "\r", "c",
                                 "\x1b[2A", "\r"}));
    EXPECT_EQ(stored_rows(e.st()), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(e.st()->screen.store.cursor_row, 0);

    // Within the window, nothing to do; an unknown height means 24 rows.
    w.clear();
    ASSERT_EQ(kv_render_apply(e.ed, nullptr), 0);
    EXPECT_TRUE(w.pieces().empty());
    w.fail_size();
    ASSERT_EQ(kv_render_apply(e.ed, nullptr), 0);
    EXPECT_EQ(e.st()->screen.store.count, 5);
}

// In a window of a frame taller than the screen, the cursor goes straight to
// the rows that change and from the last of them to the edit cursor.
TEST(RenderApply, AWindowIsRedrawnFromTheCursorStraightToTheChangedRows) {
    const std::string ten = "0\n1\n2\n3\n4\n5\n6\n7\n8\n9";
    std::string seven_x = ten, three_x = ten;
    seven_x[14] = 'x';
    three_x[6] = 'x';
    struct Case {
        const char *what;
        size_t cursor_before;
        std::string after;
        size_t cursor_after;
        Calls calls;
    } const cases[] = {
        {"a row above the cursor",
         19,
         seven_x,
         19,
         {"\r", "\x1b[2A", "\r", "x", "\r\n", "\r\n", "\r", "\x1b[1C"}},
        {"a row below the cursor",
         0,
         three_x,
         0,
         {"\r\n", "\r\n", "\r\n", "\r", "x", "\x1b[3A", "\r"}},
        {"the cursor within its row", 19, ten, 18, {"\r"}},
        {"the cursor down the window", 0, ten, 8, {"\r\n", "\r\n", "\r\n", "\r\n", "\r"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RenderEditor e(4);
        WriteCapture w(6, 4);
        e.set(ten, c.cursor_before);
        ASSERT_EQ(kv_render_apply(e.ed, nullptr), 0);
        w.clear();
        e.set(c.after, c.cursor_after);
        ASSERT_EQ(kv_render_apply(e.ed, nullptr), 0);
        EXPECT_EQ(w.pieces(), c.calls);
    }
}

TEST(RenderApply, MissingEditorFailsWithoutText) {
    EXPECT_EQ(kv_render_apply(nullptr, "> "), -1);
    kv_editor bare{};
    EXPECT_EQ(kv_render_apply(&bare, "> "), -1);
}

TEST(RenderApply, WriteFailureKeepsTheOldFrame) {
    RenderEditor e(10);
    WriteCapture w;
    e.set("hello world");
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    std::vector<std::string> before = stored_rows(e.st());
    e.set("hello world foo bar");
    for (long fail = 1;; ++fail) {
        w.clear();
        const long failed_before = w.failed_writes();
        w.fail_write(fail, false);
        int r = kv_render_apply(e.ed, "> ");
        if (w.failed_writes() == failed_before) {
            EXPECT_EQ(r, 0); // every write of the drawing came before the failing call
            break;
        }
        EXPECT_EQ(r, -1);
        EXPECT_STREQ(kv_last_error(e.ed), "failed to write terminal output");
        EXPECT_EQ(w.failed_writes(), failed_before + 1); // stopped at once
        EXPECT_EQ(static_cast<long>(w.pieces().size()), fail - 1);
        EXPECT_EQ(stored_rows(e.st()), before);
        EXPECT_EQ(e.st()->screen.store.cursor_col, 7);
    }
    EXPECT_EQ(e.st()->screen.store.count, 3);
}

TEST(RenderApply, OutOfMemoryInTheBuildOrTheStore) {
    RenderEditor e(10);
    WriteCapture w;
    e.set("hello world");
    ASSERT_EQ(kv_render_apply(e.ed, "> "), 0);
    e.set("hello world foo bar baz");
    bool saw_build = false, saw_store = false;
    std::vector<std::string> before;
    int before_col = 0;
    for_each_alloc_failure(
        [&] {
            w.clear();
            before = stored_rows(e.st());
            before_col = e.st()->screen.store.cursor_col;
            return kv_render_apply(e.ed, "> ");
        },
        [&](long, long r) {
            EXPECT_EQ(r, -1);
            std::string msg = kv_last_error(e.ed);
            if (w.pieces().empty()) {
                saw_build = true;
                EXPECT_EQ(msg, "failed to render editor state");
                EXPECT_EQ(stored_rows(e.st()), before);
                EXPECT_EQ(e.st()->screen.store.cursor_col, before_col);
            } else {
                saw_store = true;
                EXPECT_EQ(msg, "out of memory while storing terminal render state");
            }
            // Whatever happened, the store stays self-consistent.
            const kv_render_store &s = e.st()->screen.store;
            EXPECT_LE(s.count, s.capacity);
            for (int i = 0; i < s.count; ++i)
                EXPECT_NE(s.rows[i], nullptr);
        });
    EXPECT_TRUE(saw_build);
    EXPECT_TRUE(saw_store);
}

// ---- the store ----------------------------------------------------------------------

TEST(RenderStore, UpdateCopiesARangeOfRowsAndClearsTheRest) {
    RenderEditor e(10);
    e.set("a\nbb\n\nddd");
    kv_layout lo{};
    ASSERT_EQ(kv_render_build(e.ed, "> ", &lo), 0);
    kv_state *st = e.st();
    ASSERT_EQ(kv_render_store_update(st, &lo, 0, 4, 3, 5, -1), 0);
    EXPECT_EQ(stored_rows(st), (std::vector<std::string>{"> a", "  bb", "  ", "  ddd"}));
    EXPECT_EQ(st->screen.store.capacity, 4);
    ASSERT_EQ(kv_render_store_update(st, &lo, 1, 2, 1, 0, 7), 0);
    EXPECT_EQ(stored_rows(st), (std::vector<std::string>{"  bb", "  "}));
    EXPECT_EQ(st->screen.store.capacity, 4);
    EXPECT_EQ(st->screen.store.top, 7);
    EXPECT_EQ(st->screen.store.cursor_row, 1);
    EXPECT_EQ(st->screen.store.cursor_col, 0);
    EXPECT_EQ(st->screen.store.widths[0], 4);
    for (int i = 2; i < 4; ++i) {
        EXPECT_EQ(st->screen.store.rows[i], nullptr);
        EXPECT_EQ(st->screen.store.lens[i], 0u);
        EXPECT_EQ(st->screen.store.widths[i], 0);
    }
    EXPECT_EQ(kv_render_store_update(st, &lo, 3, 2, 0, 0, -1), -1); // past the layout
    EXPECT_EQ(kv_render_store_update(st, &lo, -1, 1, 0, 0, -1), -1);
    EXPECT_EQ(st->screen.store.count, 2);
    kv_layout_free(&lo);

    // An empty row with no text is stored as an empty string.
    e.set("");
    ASSERT_EQ(kv_render_build(e.ed, nullptr, &lo), 0);
    ASSERT_EQ(kv_render_store_update(st, &lo, 0, 1, 0, 0, -1), 0);
    ASSERT_NE(st->screen.store.rows[0], nullptr);
    EXPECT_STREQ(st->screen.store.rows[0], "");
    kv_layout_free(&lo);

    kv_render_store_reset(st->screen.store);
    EXPECT_EQ(st->screen.store.count, 0);
    EXPECT_EQ(st->screen.store.capacity, 0);
    EXPECT_EQ(st->screen.store.rows, nullptr);
    EXPECT_EQ(st->screen.store.top, -1);
}

TEST(RenderStore, OutOfMemoryKeepsTheStoreConsistent) {
    RenderEditor e(10);
    e.set("a\nbb\ncc\ndd\nee");
    kv_layout lo{};
    ASSERT_EQ(kv_render_build(e.ed, "> ", &lo), 0);
    kv_state *st = e.st();
    ASSERT_EQ(kv_render_store_update(st, &lo, 0, 2, 1, 1, -1), 0);
    long made = for_each_alloc_failure(
        [&] { return kv_render_store_update(st, &lo, 0, 5, 4, 4, -1); },
        [&](long, long r) {
            EXPECT_EQ(r, -1);
            const kv_render_store &s = st->screen.store;
            EXPECT_EQ(s.count, 2); // count and cursor keep their old values
            EXPECT_EQ(s.cursor_row, 1);
            for (int i = 0; i < s.capacity; ++i)
                EXPECT_EQ(s.rows[i] == nullptr, i >= s.count && s.lens[i] == 0) << i;
        });
    // The run that got through stored every row.
    EXPECT_GT(made, 0);
    EXPECT_EQ(st->screen.store.capacity, 5);
    EXPECT_EQ(st->screen.store.count, 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(kv_render_store_row_equal(st->screen.store, i, lo.rows[i])) << i;
    kv_layout_free(&lo);
}

} // namespace
