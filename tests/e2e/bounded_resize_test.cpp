// Bounded mode across resizes, read back through libvterm: whatever the
// terminal's size did (taller, shorter, wider, narrower, one after another),
// exactly one editor shows, on the bottom rows of the box, as a drawing at
// the new size shows it, and text printed above it lands on a clean row.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/state.h"
#include "bounded_term.h"
#include "render/render.h"
#include "test_editor.h"
#include "write_capture.h"

namespace {

constexpr const char *prompt = "kv> ";
// Two rows at 40 and at 30 columns.
constexpr const char *line = "ab cd ef gh ij kl mn op qr st uv wx yz";

int rows_with(VtScreen &screen, const std::string &text) {
    int n = 0;
    for (int r = 0; r < screen.rows(); ++r)
        n += screen.row(r).find(text) != std::string::npos;
    return n;
}

void print(kv_editor *ed, const std::string &text) {
    Chunks c{{text}};
    ASSERT_EQ(kv_print_above(ed, Chunks::produce, &c), 0);
}

// The editor alone, drawn once on a clean screen of that size.
void fresh_drawing(WriteCapture &w, VtScreen &clean) {
    RenderEditor fresh(0);
    ASSERT_EQ(kv_set_bounds(fresh.ed, 0, 0, 0, 0), 0);
    fresh.set(line);
    w.clear();
    ASSERT_EQ(kv_render_apply(fresh.ed, prompt), 0);
    clean.feed(w.text());
}

TEST(BoundedResize, OneEditorOnTheBottomRowsAfterEverySizeChange) {
    using Size = std::pair<int, int>; // rows, columns
    struct Row {
        const char *what;
        std::vector<Size> sizes; // the first is the starting size
    } const table[] = {
        {"taller", {{10, 40}, {14, 40}}},
        {"shorter", {{14, 40}, {10, 40}}},
        {"wider", {{10, 30}, {10, 40}}},
        {"narrower", {{10, 40}, {10, 30}}},
        {"narrower, then wider", {{10, 40}, {10, 30}, {10, 40}}},
        {"wider, then narrower", {{10, 30}, {10, 40}, {10, 30}}},
        {"taller, then narrower", {{10, 40}, {14, 40}, {14, 30}}},
        {"narrower, then taller", {{10, 40}, {10, 30}, {14, 30}}},
        {"shorter, then wider", {{14, 30}, {10, 30}, {10, 40}}},
        {"wider, then shorter", {{14, 30}, {14, 40}, {10, 40}}},
        {"taller and wider at once", {{10, 30}, {14, 40}}},
        {"shorter and narrower at once", {{14, 40}, {10, 30}}},
    };
    for (const Row &row : table) {
        SCOPED_TRACE(row.what);
        auto [rows, cols] = row.sizes[0];
        WriteCapture w(rows, cols);
        VtScreen screen(rows, cols);
        RenderEditor e(0);
        ASSERT_EQ(kv_set_bounds(e.ed, 0, 0, 0, 0), 0);
        e.st()->flags.prompt = prompt; // as during a readline call
        e.set(line);
        ASSERT_EQ(kv_render_apply(e.ed, prompt), 0);
        print(e.ed, "out 1\nout 2\nout 3\n");
        screen.feed(w.text());
        for (size_t step = 1; step < row.sizes.size(); ++step) {
            std::tie(rows, cols) = row.sizes[step];
            const std::string after = "after " + std::to_string(step);
            SCOPED_TRACE(std::to_string(rows) + " rows, " + std::to_string(cols) + " columns");
            w.set_size(rows, cols);
            screen.resize(rows, cols);
            w.clear();
            ASSERT_EQ(kv_render_apply(e.ed, prompt), 0);
            print(e.ed, after + "\n");
            screen.feed(w.text());
            EXPECT_EQ(rows_with(screen, prompt), 1) << screen.dump();
            EXPECT_EQ(rows_with(screen, "yz"), 1) << screen.dump();
            // The text went out on a clean row, and its line end left the
            // row above the editor blank.
            EXPECT_EQ(screen.row(rows - 4), after) << screen.dump();
            EXPECT_EQ(screen.row(rows - 3), "") << screen.dump();
            VtScreen clean(rows, cols);
            fresh_drawing(w, clean);
            for (int r = rows - 2; r < rows; ++r)
                EXPECT_EQ(screen.row(r), clean.row(r)) << screen.dump();
            EXPECT_EQ(screen.cursor_row(), clean.cursor_row());
            EXPECT_EQ(screen.cursor_col(), clean.cursor_col());
        }
        e.st()->flags.prompt = nullptr;
    }
}

} // namespace
