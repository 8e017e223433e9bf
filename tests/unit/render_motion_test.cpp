// Vertical cursor motion through the wrapped layout.
#include <gtest/gtest.h>

#include <string>

#include "render/internal.h"
#include "test_editor.h"
#include "write_capture.h"

namespace {

const std::string cjk = "\xe4\xb8\x80"; // U+4E00, two columns

// Moves by delta from pos; returns the result and leaves the cursor in *out.
int move(std::string_view text, size_t pos, int delta, size_t *out, int width = 10,
         const char *prompt = "> ") {
    RenderEditor e(width);
    e.set(text, pos);
    int r = kv_move_visual(e.ed, prompt, delta);
    *out = e.st()->line.cursor;
    return r;
}

TEST(RenderMotion, OutsideTheLayoutNothingMoves) {
    size_t c;
    EXPECT_EQ(move("hello world foo", 2, -1, &c), 0);
    EXPECT_EQ(c, 2u);
    EXPECT_EQ(move("hello world foo", 13, 1, &c), 0);
    EXPECT_EQ(c, 13u);
    EXPECT_EQ(kv_move_visual(nullptr, "> ", 1), 0);
}

TEST(RenderMotion, KeepsTheColumnBetweenRows) {
    size_t c;
    // "> hello" / "  world" / "  foo": from the 'r' of world (col 5).
    EXPECT_EQ(move("hello world foo", 9, -1, &c), 1);
    EXPECT_EQ(c, 3u); // the second 'l' of hello
    EXPECT_EQ(move("hello world foo", 3, 1, &c), 1);
    EXPECT_EQ(c, 9u);
}

TEST(RenderMotion, ShorterRowTakesItsEnd) {
    size_t c;
    EXPECT_EQ(move("hello world foo", 10, 1, &c), 1); // 'd' of world, col 6
    EXPECT_EQ(c, 15u);
    // Onto a row that holds no buffer text: its end.
    EXPECT_EQ(move("abc\n", 3, 1, &c, 10), 1);
    EXPECT_EQ(c, 4u);
    EXPECT_EQ(move("abc\n\nxyz", 8, -1, &c, 10), 1);
    EXPECT_EQ(c, 4u);
}

TEST(RenderMotion, LandsOnTheTargetRowWhereTheTextWraps) {
    size_t c;
    // "> aaaa" / "  bbbb" / "  cccc" / "  dddd": the end of "cccc" is the
    // dropped space, which the layout shows at the start of "dddd".
    EXPECT_EQ(move("aaaa bbbb cccc dddd", 19, -1, &c), 1);
    EXPECT_EQ(c, 13u);
    // "> abcdefg" / "  hijklmno": a broken word, the first row's end is
    // where the second row begins.
    EXPECT_EQ(move("abcdefghijklmno", 14, -1, &c), 1);
    EXPECT_EQ(c, 6u);
    // A newline-ended row keeps its end: the cursor shows after its text.
    EXPECT_EQ(move("ab\ncdef", 7, -1, &c), 1);
    EXPECT_EQ(c, 2u);
}

TEST(RenderMotion, GoalInsideThePromptGoesToTheRowStart) {
    size_t c;
    // A prompt wider than the screen indents row 1 to column 9, inside the
    // prompt's 12 columns.
    EXPECT_EQ(move("\nab", 1, -1, &c, 10, "123456789012"), 1);
    EXPECT_EQ(c, 0u);
    // On the prompt row itself the text starts at column 5.
    EXPECT_EQ(move("ab\nxyz", 3, -1, &c, 10, "$$$$$"), 1); // goal 5 = text_col
    EXPECT_EQ(c, 0u);
}

TEST(RenderMotion, WideCharacterCoveringTheGoalIsLandedBefore) {
    size_t c;
    // Row 0 is "> a" and two ideographs (columns 3-4 and 5-6), row 1 "  xyzw".
    std::string text = "a" + cjk + cjk + "\nxyzw";
    size_t z = text.size() - 2; // column 4
    EXPECT_EQ(move(text, z, -1, &c, 20), 1);
    EXPECT_EQ(c, 1u); // before the first ideograph, which covers column 4
    EXPECT_EQ(move(text, z - 1, -1, &c, 20), 1); // 'y', column 3
    EXPECT_EQ(c, 1u);
    EXPECT_EQ(move(text, z + 1, -1, &c, 20), 1); // 'w', column 5
    EXPECT_EQ(c, 4u);
}

TEST(RenderMotion, TabsCountToTheirStop) {
    size_t c;
    // "> a\tb" is "> a     b": the tab covers columns 3..7, b is column 8.
    EXPECT_EQ(move("a\tb\nxxxxxxx", 9, -1, &c, 20), 1); // from column 7
    EXPECT_EQ(c, 1u);
    EXPECT_EQ(move("a\tb\nxxxxxxx", 10, -1, &c, 20), 1); // from column 8
    EXPECT_EQ(c, 2u);
}

TEST(RenderMotion, TargetEqualToTheCursorReportsNoMove) {
    size_t c;
    // Under a 12-column prompt at width 10, 'a' sits alone on row 1 at column
    // 9; row 0 (the prompt) starts at offset 0 too.
    EXPECT_EQ(move("ab", 0, -1, &c, 10, "123456789012"), 0);
    EXPECT_EQ(c, 0u);
    EXPECT_EQ(move("ab", 0, 1, &c, 10, "123456789012"), 1);
    EXPECT_EQ(c, 1u);
}

} // namespace
