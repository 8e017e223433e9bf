// Bounded mode: the two geometry setters, the box height and the filling of
// box rows with spaces.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "base/state.h"
#include "bounded_term.h"
#include "render/internal.h"

namespace {

struct Geometry {
    int column, row, width, height, bounded, auto_width, auto_height;
    bool operator==(const Geometry &) const = default;
};

Geometry geometry(const kv_editor *ed) {
    const kv_state *s = ed->state;
    return {s->screen.column,  s->screen.row,        s->screen.width,      s->screen.height,
            s->screen.bounded, s->screen.auto_width, s->screen.auto_height};
}

// Puts a one-row frame into the store so that a reset can be seen.
void store_one_row(kv_editor *ed) {
    kv_layout_row row{};
    char text[] = "> x";
    row.text = text;
    row.len = 3;
    row.width = 3;
    kv_layout lo{&row, 1, 1, 0, 3};
    ASSERT_EQ(kv_render_store_update(ed->state, &lo, 0, 1, 0, 3, 5), 0);
}

TEST(SetBounds, NegativeArgumentsAreRefusedAndChangeNothing) {
    WriteCapture term;
    kv_editor *ed = make_captured_editor();
    store_one_row(ed);
    const Geometry before = geometry(ed);
    const std::tuple<int, int, int, int> bad[] = {
        {-1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 0}, {0, 0, 0, -1}, {-5, -5, -5, -5}};
    for (auto [c, r, w, h] : bad) {
        EXPECT_EQ(kv_set_bounds(ed, c, r, w, h), -2) << c << r << w << h;
        EXPECT_STREQ(kv_last_error(ed), "invalid terminal bounds");
        EXPECT_EQ(geometry(ed), before);
        EXPECT_EQ(ed->state->screen.store.count, 1);
    }
    EXPECT_TRUE(term.pieces().empty());
    kv_destroy(ed);
}

TEST(SetBounds, SetsTheBoxTurnsBoundedOnAndForgetsTheFrame) {
    WriteCapture term;
    kv_editor *ed = make_captured_editor();
    store_one_row(ed);
    ASSERT_EQ(kv_set_bounds(ed, 3, 4, 40, 6), 0);
    EXPECT_EQ(geometry(ed), (Geometry{3, 4, 40, 6, 1, 0, 0}));
    EXPECT_EQ(ed->state->screen.store.count, 0);
    EXPECT_EQ(ed->state->screen.store.rows, nullptr);

    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 0, 0), 0);
    EXPECT_EQ(geometry(ed), (Geometry{0, 0, 0, 0, 1, 1, 1}));
    EXPECT_TRUE(term.pieces().empty()) << "setting bounds draws nothing";
    EXPECT_EQ(kv_last_error(ed), nullptr);
    kv_destroy(ed);
}

TEST(SetBounds, NullHandleOrStateIsRefusedWithoutMessage) {
    EXPECT_EQ(kv_set_bounds(nullptr, 0, 0, 0, 0), -2);
    EXPECT_EQ(kv_set_screen_width(nullptr, 10), -2);
    kv_editor bare{};
    EXPECT_EQ(kv_set_bounds_method(&bare, 0, 0, 0, 0), -2);
    EXPECT_EQ(kv_set_screen_width_method(&bare, 10), -2);
}

TEST(SetScreenWidth, NegativeWidthIsRefused) {
    WriteCapture term;
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_screen_width(ed, 30), 0);
    EXPECT_EQ(kv_set_screen_width(ed, -3), -2);
    EXPECT_STREQ(kv_last_error(ed), "invalid screen width");
    EXPECT_EQ(ed->state->screen.width, 30);
    EXPECT_EQ(ed->state->screen.auto_width, 0);
    kv_destroy(ed);
}

TEST(SetScreenWidth, FixesOrFreesTheWidthAndLeavesModeAndFrameAlone) {
    WriteCapture term(24, 100);
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_bounds(ed, 10, 0, 0, 0), 0);
    store_one_row(ed);
    EXPECT_EQ(kv_screen_width(ed->state), 90);

    ASSERT_EQ(kv_set_screen_width(ed, 50), 0);
    EXPECT_EQ(kv_screen_width(ed->state), 50);
    EXPECT_EQ(ed->state->screen.bounded, 1);
    EXPECT_EQ(ed->state->screen.store.count, 1);

    ASSERT_EQ(kv_set_screen_width(ed, 0), 0);
    EXPECT_EQ(ed->state->screen.auto_width, 1);
    EXPECT_EQ(kv_screen_width(ed->state), 90);
    EXPECT_TRUE(term.pieces().empty());
    kv_destroy(ed);
}

TEST(BoxHeight, FixedHeightIgnoresTheTerminal) {
    WriteCapture term(24, 80);
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_bounds(ed, 0, 30, 0, 7), 0);
    EXPECT_EQ(kv_box_height(ed->state), 7);
    term.fail_size();
    EXPECT_EQ(kv_box_height(ed->state), 7);
    kv_destroy(ed);
}

TEST(BoxHeight, AutomaticHeightIsTheRowsBelowTheBoxTop) {
    WriteCapture term(30, 80);
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_bounds(ed, 0, 10, 0, 0), 0);
    EXPECT_EQ(kv_box_height(ed->state), 20);
    term.set_size(40, 80);
    EXPECT_EQ(kv_box_height(ed->state), 30) << "asked afresh every time";
    term.fail_size();
    EXPECT_EQ(kv_box_height(ed->state), 14) << "24 rows assumed";
    term.set_size(0, 0);
    EXPECT_EQ(kv_box_height(ed->state), 14) << "0 rows means unknown";
    ASSERT_EQ(kv_set_bounds(ed, 0, 50, 0, 0), 0);
    EXPECT_EQ(kv_box_height(ed->state), 1) << "a box top below the screen still has one row";
    kv_destroy(ed);
}

TEST(BoxHeight, FromTheConfiguration) {
    WriteCapture term(30, 80);
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.height = 5; // a height alone turns bounded mode on, with that height
    kv_editor *ed = make_captured_editor(&cfg);
    EXPECT_EQ(ed->state->screen.bounded, 1);
    EXPECT_EQ(kv_box_height(ed->state), 5);
    kv_destroy(ed);

    cfg.height = 0;
    cfg.bounded = 1;
    cfg.row = 4;
    ed = make_captured_editor(&cfg);
    EXPECT_EQ(kv_box_height(ed->state), 26);
    kv_destroy(ed);
}

TEST(BoxTop, EditorEndsOnTheLastBoxRowAndNeverRisesAboveTheBox) {
    WriteCapture term;
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_bounds(ed, 0, 3, 0, 5), 0);
    EXPECT_EQ(kv_box_top(ed->state, 5, 1), 7);
    EXPECT_EQ(kv_box_top(ed->state, 5, 5), 3);
    EXPECT_EQ(kv_box_top(ed->state, 5, 9), 3);
    // A box reaching past the largest int is cut there instead of overflowing.
    ASSERT_EQ(kv_set_bounds(ed, 0, INT32_MAX - 2, 0, INT32_MAX), 0);
    EXPECT_EQ(kv_box_top(ed->state, INT32_MAX, 1), INT32_MAX - 1);
    // Cut there, the box is shorter than the editor: its first row is the
    // box's top row, not one above it.
    EXPECT_EQ(kv_box_top(ed->state, INT32_MAX, 5), INT32_MAX - 2);
    kv_destroy(ed);
}

TEST(TermCoord, IsOneBasedAndClamped) {
    EXPECT_EQ(kv_term_coord(-7), 1);
    EXPECT_EQ(kv_term_coord(0), 1);
    EXPECT_EQ(kv_term_coord(41), 42);
    EXPECT_EQ(kv_term_coord(int64_t{INT32_MAX} + 5), INT32_MAX);
}

TEST(ClearBoxTail, WritesOneSpacePerColumnUpToTheBoxEdge) {
    WriteCapture term(24, 80);
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_bounds(ed, 5, 0, 0, 0), 0);
    ASSERT_EQ(kv_clear_box_tail(ed->state, 70), 0);
    ASSERT_EQ(term.pieces().size(), 5u);
    for (const auto &p : term.pieces())
        EXPECT_EQ(p, " ");

    term.clear();
    EXPECT_EQ(kv_clear_box_tail(ed->state, 75), 0);
    EXPECT_EQ(kv_clear_box_tail(ed->state, 90), 0);
    EXPECT_TRUE(term.pieces().empty()) << "nothing when the row is full or wider";

    ASSERT_EQ(kv_set_screen_width(ed, 40), 0);
    ASSERT_EQ(kv_clear_box_tail(ed->state, 0), 0);
    EXPECT_EQ(term.text(), std::string(40, ' '));
    kv_destroy(ed);
}

TEST(ClearBoxTail, StopsAtTheFirstFailedWrite) {
    WriteCapture term(24, 80);
    kv_editor *ed = make_captured_editor();
    ASSERT_EQ(kv_set_bounds(ed, 0, 0, 10, 0), 0);
    term.fail_write(4);
    EXPECT_EQ(kv_clear_box_tail(ed->state, 0), -1);
    EXPECT_EQ(term.text(), "   ");
    EXPECT_EQ(term.failed_writes(), 1) << "no write after the failure";
    kv_destroy(ed);
}

} // namespace
