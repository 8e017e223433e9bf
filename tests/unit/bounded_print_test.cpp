// Clearing the frame on the screen, streaming text with line-feed
// translation, and printing above the editor in normal and bounded mode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "base/state.h"
#include "bounded_term.h"
#include "render/internal.h"

namespace {

using Pieces = std::vector<std::string>;

std::string at(int row1, int col1) {
    return "\x1b[" + std::to_string(row1) + ";" + std::to_string(col1) + "H";
}

std::string shown(const Pieces &p) {
    std::string s;
    for (const auto &x : p)
        s += "[" + visible(x) + "]";
    return s;
}

Pieces spaces(int n) { return Pieces(static_cast<size_t>(n), " "); }

Pieces cat(std::initializer_list<Pieces> parts) {
    Pieces all;
    for (const auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

#define EXPECT_PIECES(actual, expected) EXPECT_EQ(shown(actual), shown(expected))

const char *const two_rows = "aaaa bbbb cccc dddd"; // two rows at 20 columns

struct PrintTest : ::testing::Test {
    WriteCapture term{10, 20};
    kv_editor *ed = make_captured_editor();
    kv_state *st = ed->state;
    ~PrintTest() override { kv_destroy(ed); }

    // Draws the editor as a running readline call would, then forgets the
    // bytes so that only what follows is seen.
    void editor_on_screen(const char *line, size_t cursor = std::string_view::npos) {
        st->flags.prompt = "> ";
        set_line(ed, line, cursor);
        ASSERT_EQ(kv_render_apply(ed, "> "), 0);
        term.clear();
    }

    // What a fresh drawing of the current editor writes.
    Pieces fresh_drawing() {
        kv_render_store_reset(st->screen.store);
        term.clear();
        EXPECT_EQ(kv_render_apply(ed, st->flags.prompt), 0);
        Pieces drawn = term.pieces();
        term.clear();
        return drawn;
    }

    int print(Chunks &c) { return kv_print_above(ed, Chunks::produce, &c); }
};

// ---- clearing -------------------------------------------------------------------

TEST_F(PrintTest, ClearingAnEmptyStoreWritesNothing) {
    EXPECT_EQ(kv_render_clear_active(ed), 0);
    EXPECT_EQ(kv_render_clear_active(nullptr), 0);
    EXPECT_TRUE(term.pieces().empty());
}

TEST_F(PrintTest, ClearingNormalFramesWalksUpErasesDownAndReturns) {
    editor_on_screen(two_rows); // cursor on row 1
    ASSERT_EQ(kv_render_clear_active(ed), 0);
    EXPECT_PIECES(term.pieces(), (Pieces{"\r", "\x1b[1A", "\r\x1b[0K", "\x1b[1B", "\r", "\r\x1b[0K",
                                         "\x1b[1A", "\r"}));
    EXPECT_EQ(st->screen.store.count, 0);
    EXPECT_EQ(term.screen().row(0), "");
    EXPECT_EQ(term.screen().row(1), "");
    EXPECT_EQ(term.screen().cursor_row(), 0);
    EXPECT_EQ(term.screen().cursor_col(), 0);

    editor_on_screen("aaaa bbbb cccc dddd eeee ffff gggg", 0);
    ASSERT_EQ(st->screen.store.count, 3);
    ASSERT_EQ(kv_render_clear_active(ed), 0);
    EXPECT_PIECES(term.pieces(), (Pieces{"\r", "\r\x1b[0K", "\x1b[1B", "\r", "\r\x1b[0K", "\x1b[1B",
                                         "\r", "\r\x1b[0K", "\x1b[2A", "\r"}));

    editor_on_screen("x");
    ASSERT_EQ(kv_render_clear_active(ed), 0);
    EXPECT_PIECES(term.pieces(), (Pieces{"\r", "\r\x1b[0K", "\r"}));
}

TEST_F(PrintTest, ClearingBoundedFramesFillsTheBoxRows) {
    ASSERT_EQ(kv_set_bounds(ed, 5, 0, 0, 0), 0); // 15 columns wide
    term.screen().feed("\x1b[9;1HABCDE");
    editor_on_screen("aaaa bbbb cccc"); // "> aaaa bbbb" / "  cccc"
    ASSERT_EQ(st->screen.store.count, 2);
    ASSERT_EQ(st->screen.store.top, 8);
    ASSERT_EQ(kv_render_clear_active(ed), 0);
    EXPECT_PIECES(term.pieces(), cat({{at(9, 6)}, spaces(15), {at(10, 6)}, spaces(15)}));
    EXPECT_EQ(term.screen().row(8), "ABCDE");
    EXPECT_EQ(term.screen().row(9), "");
    EXPECT_EQ(st->screen.store.count, 0);
}

TEST_F(PrintTest, FailedClearingKeepsTheStoredFrame) {
    for (bool bounded : {false, true}) {
        if (bounded) ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
        editor_on_screen(two_rows);
        ASSERT_EQ(kv_render_clear_active(ed), 0);
        const long total = static_cast<long>(term.pieces().size());
        for (long k = 1; k <= total; ++k) {
            editor_on_screen(two_rows);
            term.fail_write(k);
            EXPECT_EQ(kv_render_clear_active(ed), -1) << bounded << k;
            term.fail_write(0);
            EXPECT_EQ(st->screen.store.count, 2) << bounded << k;
        }
    }
}

// ---- streaming the text ---------------------------------------------------------

TEST_F(PrintTest, StreamTurnsLineFeedsIntoCrLfAndKeepsPiecesWhole) {
    struct Case {
        std::vector<std::string> chunks;
        Pieces pieces;
    } cases[] = {
        {{"a\nb"}, {"a", "\r\n", "b"}},
        {{"x\r\ny"}, {"x\r", "\r\n", "y"}},
        {{"\n\nz\n"}, {"\r\n", "\r\n", "z", "\r\n"}},
        {{"ab", "c\n", "d"}, {"ab", "c", "\r\n", "d"}},
        {{std::string("n\0l\n", 4)}, {std::string("n\0l", 3), "\r\n"}},
    };
    for (const Case &c : cases) {
        term.clear();
        Chunks src{c.chunks};
        EXPECT_EQ(kv_write_stream(ed, Chunks::produce, &src), 0);
        EXPECT_PIECES(term.pieces(), c.pieces);
        EXPECT_EQ(src.calls, static_cast<long>(c.chunks.size()) + 1);
    }
}

TEST_F(PrintTest, StreamStopsOnResultsMissingBytesAndFailedWrites) {
    EXPECT_EQ(kv_write_stream(ed, nullptr, nullptr), -2);
    EXPECT_EQ(kv_write_stream(nullptr, Chunks::produce, nullptr), -2);

    Chunks seven{{"one\n"}, 0, 7};
    EXPECT_EQ(kv_write_stream(ed, Chunks::produce, &seven), 7);
    EXPECT_PIECES(term.pieces(), (Pieces{"one", "\r\n"}));

    term.clear();
    auto no_bytes = [](kv_editor *, void *, const char **chunk, size_t *len) {
        EXPECT_EQ(*chunk, nullptr);
        EXPECT_EQ(*len, 0u);
        *len = 3;
        return 0;
    };
    EXPECT_EQ(kv_write_stream(ed, no_bytes, nullptr), -2);
    EXPECT_TRUE(term.pieces().empty());

    Chunks two{{"a\nb", "more"}};
    term.fail_write(2);
    EXPECT_EQ(kv_write_stream(ed, Chunks::produce, &two), -4);
    EXPECT_EQ(two.calls, 1) << "no chunk is pulled after a failed write";
    EXPECT_EQ(term.failed_writes(), 1);
}

// ---- normal mode ------------------------------------------------------------------

TEST_F(PrintTest, NormalOutsideACallWritesJustTheText) {
    Chunks c{{"a\nb"}};
    EXPECT_EQ(print(c), 0);
    EXPECT_PIECES(term.pieces(), (Pieces{"a", "\r\n", "b"}));
    EXPECT_EQ(st->screen.store.count, 0);

    term.clear();
    Chunks none{};
    EXPECT_EQ(print(none), 0);
    EXPECT_TRUE(term.pieces().empty());
}

TEST_F(PrintTest, NormalInsideACallClearsPrintsAndRedraws) {
    editor_on_screen(two_rows);
    Chunks c{{"out\n"}};
    EXPECT_EQ(print(c), 0);
    const Pieces printed = term.pieces();
    EXPECT_EQ(term.screen().row(0), "out");
    EXPECT_EQ(term.screen().row(1), "> aaaa bbbb cccc");
    EXPECT_EQ(term.screen().row(2), "  dddd");
    EXPECT_EQ(term.screen().cursor_row(), 2);
    EXPECT_EQ(term.screen().cursor_col(), 6);
    EXPECT_EQ(st->screen.store.count, 2);
    const Pieces want = cat({{"\r", "\x1b[1A", "\r\x1b[0K", "\x1b[1B", "\r", "\r\x1b[0K", "\x1b[1A",
                              "\r", "out", "\r\n"},
                             fresh_drawing()});
    EXPECT_PIECES(printed, want);
}

TEST_F(PrintTest, NormalTextWithoutFinalNewlineIsOverwrittenByTheEditor) {
    editor_on_screen("x");
    Chunks c{{"abcdefghijkl"}};
    EXPECT_EQ(print(c), 0);
    EXPECT_EQ(term.screen().row(0), "> xdefghijkl");
    const Pieces &p = term.pieces();
    ASSERT_GE(p.size(), 5u);
    EXPECT_EQ(p[3], "abcdefghijkl");
    EXPECT_EQ(p[4], "\r");
}

TEST_F(PrintTest, NormalEmptyTextStillClearsAndRedraws) {
    editor_on_screen(two_rows);
    Chunks none{};
    EXPECT_EQ(print(none), 0);
    const Pieces printed = term.pieces();
    EXPECT_PIECES(
        printed, cat({{"\r", "\x1b[1A", "\r\x1b[0K", "\x1b[1B", "\r", "\r\x1b[0K", "\x1b[1A", "\r"},
                      fresh_drawing()}));
}

TEST_F(PrintTest, NormalCallbackResultStopsWithoutRedraw) {
    editor_on_screen(two_rows);
    Chunks c{{"part\n"}, 0, 7};
    EXPECT_EQ(print(c), 7);
    EXPECT_PIECES(term.pieces(), (Pieces{"\r", "\x1b[1A", "\r\x1b[0K", "\x1b[1B", "\r", "\r\x1b[0K",
                                         "\x1b[1A", "\r", "part", "\r\n"}));
    EXPECT_EQ(st->screen.store.count, 0);
    // The next drawing of the call puts the whole editor back below the text.
    term.clear();
    ASSERT_EQ(kv_render_apply(ed, "> "), 0);
    EXPECT_EQ(term.screen().row(0), "part");
    EXPECT_EQ(term.screen().row(1), "> aaaa bbbb cccc");
}

TEST_F(PrintTest, NormalNullCallbackAndMissingBytes) {
    EXPECT_EQ(kv_print_above(ed, nullptr, nullptr), -2);
    EXPECT_TRUE(term.pieces().empty()) << "outside a call nothing is touched";

    editor_on_screen("x");
    EXPECT_EQ(kv_print_above(ed, nullptr, nullptr), -2);
    EXPECT_PIECES(term.pieces(), (Pieces{"\r", "\r\x1b[0K", "\r"})) << "already cleared";
    EXPECT_EQ(st->screen.store.count, 0);

    editor_on_screen("x");
    int calls = 0;
    auto then_no_bytes = [](kv_editor *, void *user, const char **chunk, size_t *len) {
        int &n = *static_cast<int *>(user);
        if (n++ == 0) {
            *chunk = "ok\n";
            *len = 3;
        } else {
            *len = 1;
        }
        return 0;
    };
    EXPECT_EQ(kv_print_above(ed, then_no_bytes, &calls), -2);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(term.screen().row(0), "ok");
    EXPECT_EQ(kv_print_above(nullptr, Chunks::produce, nullptr), -2);
}

TEST_F(PrintTest, NormalFailuresGiveMinusFour) {
    editor_on_screen(two_rows);
    term.fail_write(1);
    Chunks c{{"t\n"}};
    EXPECT_EQ(print(c), -4);
    EXPECT_STREQ(kv_last_error(ed), "failed to clear active prompt before printing");
    EXPECT_EQ(st->screen.store.count, 2);

    term.fail_write(0);
    editor_on_screen(two_rows);
    term.fail_write(9); // eight clearing writes, then the text
    Chunks t{{"t\n"}};
    EXPECT_EQ(print(t), -4);
    EXPECT_STREQ(kv_last_error(ed), "failed to clear active prompt before printing")
        << "a failed text leaves the message alone";

    term.fail_write(0);
    editor_on_screen(two_rows);
    term.fail_write(11); // clearing, "t", "\r\n", then the redraw
    Chunks r{{"t\n"}};
    EXPECT_EQ(print(r), -4);
    EXPECT_STREQ(kv_last_error(ed), "failed to write terminal output");
}

// ---- bounded mode -----------------------------------------------------------------

TEST_F(PrintTest, BoundedRefusesWithoutOutputArea) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 4, 0, 1), 0);
    Chunks c{{"x\n"}};
    EXPECT_EQ(print(c), -2);
    EXPECT_STREQ(kv_last_error(ed), "bounded prompt has no space above it");
    EXPECT_TRUE(term.pieces().empty());
    EXPECT_EQ(c.calls, 0);

    ASSERT_EQ(kv_set_bounds(ed, 0, 4, 0, 2), 0);
    editor_on_screen(two_rows);
    EXPECT_EQ(print(c), -2);
    EXPECT_STREQ(kv_last_error(ed), "bounded prompt has no space above it");
    EXPECT_TRUE(term.pieces().empty());
    EXPECT_EQ(st->screen.store.count, 2);
}

TEST_F(PrintTest, BoundedRefusesBoxesNarrowerThanTheTerminal) {
    Chunks c{{"x\n"}};
    ASSERT_EQ(kv_set_bounds(ed, 2, 0, 0, 0), 0);
    EXPECT_EQ(print(c), -2);
    EXPECT_STREQ(kv_last_error(ed), "bounded print_above requires full-width terminal bounds");
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 10, 0), 0);
    kv_set_error(st, "");
    EXPECT_EQ(print(c), -2);
    EXPECT_STREQ(kv_last_error(ed), "bounded print_above requires full-width terminal bounds");
    EXPECT_TRUE(term.pieces().empty());
    EXPECT_EQ(c.calls, 0);

    // Without a size the terminal is taken to be as wide as a fixed box.
    term.fail_size();
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 20, 0), 0);
    EXPECT_EQ(print(c), 0);
    term.set_size(10, 20);
    Chunks d{{"y\n"}};
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 30, 0), 0);
    EXPECT_EQ(print(d), 0) << "a box wider than the terminal covers it";
}

TEST_F(PrintTest, BoundedOutsideACallWithEmptyStore) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 5), 0);
    set_line(ed, "abc");
    Chunks c{{"hey\n"}};
    EXPECT_EQ(print(c), 0);
    EXPECT_PIECES(term.pieces(),
                  cat({{"\x1b[1;4r", at(4, 1), "hey", "\r\n", "\x1b[r", at(5, 1), "abc"},
                       spaces(17),
                       {at(5, 4)}}));
    EXPECT_EQ(term.screen().row(2), "hey");
    EXPECT_EQ(term.screen().row(3), "");
    EXPECT_EQ(term.screen().row(4), "abc") << "the buffer, without a prompt";
    EXPECT_EQ(st->screen.store.count, 1);
    EXPECT_EQ(st->screen.store.top, 4);
}

// Records the editor's rows on the screen every time the producer is asked.
struct Watch {
    Chunks chunks;
    WriteCapture *term;
    std::vector<std::string> seen;
    static int produce(kv_editor *ed, void *user, const char **chunk, size_t *len) {
        auto &w = *static_cast<Watch *>(user);
        w.seen.push_back(w.term->screen().row(8) + "|" + w.term->screen().row(9));
        return Chunks::produce(ed, &w.chunks, chunk, len);
    }
};

TEST_F(PrintTest, BoundedTextScrollsThroughTheOutputAreaOnly) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    term.screen().feed("\x1b[Hout0\r\nout1\r\nout2\r\nout3\r\nout4\r\nout5\r\nout6");
    editor_on_screen(two_rows);
    Watch w{{{"p1\n", "p2\nsecond\n"}}, &term, {}};
    EXPECT_EQ(kv_print_above(ed, Watch::produce, &w), 0);
    ASSERT_EQ(w.seen.size(), 3u);
    for (const auto &s : w.seen)
        EXPECT_EQ(s, "> aaaa bbbb cccc|  dddd");
    const char *want[] = {"out3", "out4", "out5", "out6", "p1", "p2", "second", ""};
    for (int r = 0; r < 8; ++r)
        EXPECT_EQ(term.screen().row(r), want[r]) << r;
    EXPECT_EQ(term.screen().row(8), "> aaaa bbbb cccc");
    EXPECT_EQ(term.screen().row(9), "  dddd");
    EXPECT_EQ(term.screen().cursor_row(), 9);
    EXPECT_EQ(term.screen().cursor_col(), 6);
    EXPECT_EQ(st->screen.store.count, 2);
    EXPECT_EQ(st->screen.store.top, 8);
    const Pieces &p = term.pieces();
    ASSERT_GE(p.size(), 2u);
    EXPECT_EQ(p[0], "\x1b[1;8r");
    EXPECT_EQ(p[1], at(8, 1));
}

TEST_F(PrintTest, BoundedTextWithoutNewlineIsOverwrittenByTheNextPrint) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    editor_on_screen("x");
    Chunks a{{"abcdef"}};
    EXPECT_EQ(print(a), 0);
    Chunks b{{"XY\n"}};
    EXPECT_EQ(print(b), 0);
    EXPECT_EQ(term.screen().row(7), "XYcdef");
    EXPECT_EQ(term.screen().row(8), "");
    EXPECT_EQ(term.screen().row(9), "> x");
}

TEST_F(PrintTest, BoundedScrollRegionIsResetWhenTheTextFails) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    editor_on_screen("x");
    term.fail_write(3, false); // region, cursor, then the text
    Chunks c{{"text\n"}};
    EXPECT_EQ(print(c), -4);
    EXPECT_PIECES(term.pieces(), (Pieces{"\x1b[1;9r", at(9, 1), "\x1b[r", at(10, 4)}));
    EXPECT_EQ(st->screen.store.count, 1) << "the editor rows were not touched";

    term.clear();
    term.fail_write(1);
    EXPECT_EQ(print(c), -4) << "the region cannot be set";
    EXPECT_EQ(c.calls, 1) << "no text pulled";

    term.fail_write(0);
    term.clear();
    Chunks d{{"t\n"}};
    term.fail_write(5, false); // region, cursor, "t", "\r\n", then the reset
    EXPECT_EQ(print(d), -4);
}

TEST_F(PrintTest, BoundedCallbackResultPutsTheCursorBackWithoutRedraw) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    editor_on_screen(two_rows);
    Chunks c{{"half\n"}, 0, 7};
    EXPECT_EQ(print(c), 7);
    EXPECT_PIECES(term.pieces(),
                  (Pieces{"\x1b[1;8r", at(8, 1), "half", "\r\n", "\x1b[r", at(10, 7)}));
    EXPECT_EQ(term.screen().cursor_row(), 9);
    EXPECT_EQ(term.screen().cursor_col(), 6);
    EXPECT_EQ(st->screen.store.count, 2);
    term.clear();
    ASSERT_EQ(kv_render_apply(ed, "> "), 0);
    EXPECT_TRUE(term.pieces().empty()) << "the stored frame still matches the screen";

    EXPECT_EQ(kv_print_above(ed, nullptr, nullptr), -2);
    EXPECT_EQ(term.screen().cursor_row(), 9);
    EXPECT_EQ(term.screen().cursor_col(), 6);
}

TEST_F(PrintTest, BoundedRedrawFailureGivesMinusFour) {
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    editor_on_screen("x");
    term.fail_write(6); // region, cursor, "t", "\r\n", reset, then the redraw
    Chunks c{{"t\n"}};
    EXPECT_EQ(print(c), -4);
    EXPECT_STREQ(kv_last_error(ed), "failed to write bounded terminal output");
    EXPECT_EQ(st->screen.store.count, 0);
}

} // namespace
