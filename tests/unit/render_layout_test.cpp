// Layout: the wrapping rules on the worked cases, the effective width, the
// prompt measure, controls kept out of row texts, cursors inside clusters,
// row growth and allocation failure, and a comparison of the linear build
// with a literal, quadratic transcription of the wrapping rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "fault.h"
#include "render/internal.h"
#include "test_editor.h"
#include "text/text.h"
#include "write_capture.h"

namespace {

struct Layout {
    kv_layout lo{};
    Layout() = default;
    ~Layout() { kv_layout_free(&lo); }
    Layout(const Layout &) = delete;
    Layout &operator=(const Layout &) = delete;

    int count() const { return lo.count; }
    std::string text(int i) const {
        const kv_layout_row &r = lo.rows[i];
        return r.text ? std::string(r.text, r.len) : std::string();
    }
    const kv_layout_row &row(int i) const { return lo.rows[i]; }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (int i = 0; i < lo.count; ++i)
            out.push_back(text(i));
        return out;
    }
};

using Rows = std::vector<std::string>;

// Builds the layout of text (cursor at pos) with the prompt at width w.
void build(Layout &l, std::string_view text, size_t pos, const char *prompt, int w) {
    RenderEditor e(w);
    e.set(text, pos);
    ASSERT_EQ(kv_render_build(e.ed, prompt, &l.lo), 0);
}

void build(Layout &l, std::string_view text, const char *prompt, int w) {
    build(l, text, text.size(), prompt, w);
}

#define EXPECT_CURSOR(l, r, c)                                                                     \
    do {                                                                                           \
        EXPECT_EQ((l).lo.cursor_row, (r));                                                         \
        EXPECT_EQ((l).lo.cursor_col, (c));                                                         \
    } while (0)

const std::string cjk = "\xe4\xb8\x80"; // U+4E00, two columns

TEST(RenderLayout, OneRowFits) {
    Layout l;
    build(l, "hello world", "> ", 80);
    EXPECT_EQ(l.texts(), Rows{"> hello world"});
    EXPECT_EQ(l.row(0).width, 13);
    EXPECT_EQ(l.row(0).text_col, 2);
    EXPECT_EQ(l.row(0).start, 0u);
    EXPECT_EQ(l.row(0).end, 11u);
    EXPECT_CURSOR(l, 0, 13);
}

TEST(RenderLayout, WordsWrapAndDropTheSpacesBeforeThem) {
    Layout l;
    build(l, "hello world foo", "> ", 10);
    EXPECT_EQ(l.texts(), (Rows{"> hello", "  world", "  foo"}));
    EXPECT_EQ(l.row(0).end, 5u);
    EXPECT_EQ(l.row(1).start, 6u);
    EXPECT_EQ(l.row(1).end, 11u);
    EXPECT_EQ(l.row(2).start, 12u);
    EXPECT_EQ(l.row(2).end, 15u);
    EXPECT_EQ(l.row(1).text_col, 2);
    EXPECT_CURSOR(l, 2, 5);
}

TEST(RenderLayout, CursorOnDroppedSpacesShowsAtTheWrappedWord) {
    for (size_t pos : {5u, 6u, 7u, 8u}) {
        Layout l;
        build(l, "hello   world", pos, "> ", 10);
        EXPECT_EQ(l.texts(), (Rows{"> hello", "  world"})) << pos;
        EXPECT_CURSOR(l, 1, 2);
    }
}

TEST(RenderLayout, LongWordBreaksWhereTheRestFitsOneRow) {
    Layout l;
    build(l, "abcdefghijklmno", "> ", 10);
    EXPECT_EQ(l.texts(), (Rows{"> abcdefg", "  hijklmno", "  "}));
    EXPECT_EQ(l.row(0).width, 9);
    EXPECT_EQ(l.row(1).width, 10);
    EXPECT_EQ(l.row(2).start, 15u);
    EXPECT_CURSOR(l, 2, 2);

    Layout bare;
    build(bare, "abcdefghijklmno", "", 10);
    EXPECT_EQ(bare.texts(), (Rows{"abcde", "fghijklmno", ""}));
    EXPECT_EQ(bare.row(2).text, nullptr);
    EXPECT_CURSOR(bare, 2, 0);
}

TEST(RenderLayout, FullRowGetsAnExtraRowOnlyForACursorAtTheEnd) {
    Layout end;
    build(end, "abcdefgh", "> ", 10);
    EXPECT_EQ(end.texts(), (Rows{"> abcdefgh", "  "}));
    EXPECT_CURSOR(end, 1, 2);
    Layout start;
    build(start, "abcdefgh", 0, "> ", 10);
    EXPECT_EQ(start.texts(), Rows{"> abcdefgh"});
    EXPECT_CURSOR(start, 0, 2);
}

TEST(RenderLayout, NewlinesStartIndentedRowsAndAreShownNowhere) {
    Layout l;
    build(l, "ab\ncd", "> ", 10);
    EXPECT_EQ(l.texts(), (Rows{"> ab", "  cd"}));
    EXPECT_EQ(l.row(0).end, 2u);
    EXPECT_EQ(l.row(1).start, 3u);
    EXPECT_EQ(l.row(1).end, 5u);
    EXPECT_CURSOR(l, 1, 4);

    Layout trailing;
    build(trailing, "ab\n", "> ", 10);
    EXPECT_EQ(trailing.texts(), (Rows{"> ab", "  "}));
    EXPECT_CURSOR(trailing, 1, 2);

    Layout onnl;
    build(onnl, "ab\ncd", 2, "> ", 10);
    EXPECT_CURSOR(onnl, 0, 4);

    Layout bare;
    build(bare, "\n\n", "", 10);
    ASSERT_EQ(bare.count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(bare.row(i).text, nullptr);
    EXPECT_CURSOR(bare, 2, 0);
}

TEST(RenderLayout, TabsExpandFromTheRowsFirstColumn) {
    Layout l;
    build(l, "a\tb", "> ", 10);
    EXPECT_EQ(l.texts(), Rows{"> a     b"});
    EXPECT_EQ(l.row(0).width, 9);

    // A tab whose spaces pass the row end continues on the next row.
    Layout wrap;
    build(wrap, "abcdefg\tx", "> ", 10);
    EXPECT_EQ(wrap.texts(), (Rows{"> abcdefg ", "        x"}));
    EXPECT_EQ(wrap.row(0).end, 7u);
    EXPECT_EQ(wrap.row(1).start, 7u);
    EXPECT_EQ(wrap.row(1).end, 9u);
}

TEST(RenderLayout, WideCharactersNeverStraddleTheRowEnd) {
    std::string five = cjk + cjk + cjk + cjk + cjk;
    Layout l;
    build(l, five, "> ", 10);
    EXPECT_EQ(l.texts(), (Rows{"> " + cjk, "  " + cjk + cjk + cjk + cjk, "  "}));
    EXPECT_EQ(l.row(0).width, 4);
    EXPECT_EQ(l.row(1).width, 10);
    EXPECT_CURSOR(l, 2, 2);

    Layout narrow;
    build(narrow, "a" + cjk, 0, "> ", 4);
    EXPECT_EQ(narrow.texts(), (Rows{"> a", "  " + cjk}));
    EXPECT_EQ(narrow.row(0).width, 3);
    EXPECT_EQ(narrow.row(1).width, 4);
}

TEST(RenderLayout, PromptWiderThanTheScreen) {
    Layout l;
    build(l, "ab", "123456789012", 10);
    EXPECT_EQ(l.texts(), (Rows{"123456789012", "         a", "         b", "         "}));
    EXPECT_EQ(l.row(0).width, 12);
    EXPECT_EQ(l.row(0).text_col, 12);
    EXPECT_EQ(l.row(1).text_col, 9);
    EXPECT_CURSOR(l, 3, 9);
}

TEST(RenderLayout, WidthOneWithoutPrompt) {
    Layout l;
    build(l, "abc", nullptr, 1);
    EXPECT_EQ(l.texts(), (Rows{"a", "b", "c", ""}));
    EXPECT_CURSOR(l, 3, 0);
}

TEST(RenderLayout, PromptTabIsEightColumnsAndPrintedAsIs) {
    Layout l;
    build(l, "x", "\t", 80);
    EXPECT_EQ(l.text(0), "\tx");
    EXPECT_EQ(l.row(0).text_col, 8);
    EXPECT_EQ(l.row(0).width, 9);
    EXPECT_CURSOR(l, 0, 9);
}

TEST(RenderLayout, EscapeSequencesInThePromptTakeNoColumns) {
    struct Case {
        const char *prompt;
        int width;
    } cases[] = {
        {"\x1b[1;32m> \x1b[0m", 2},  // colours
        {"\x1b]0;title\a> ", 2},     // window title ended by BEL
        {"\x1b]0;title\x1b\\> ", 2}, // ... and by ESC backslash
        {"\x1b"
         "7> ",
         2},            // ESC and one byte
        {"> \x1b[", 2}, // unterminated sequence
        {"\x1b[38;5;208m\xe4\xb8\x80\x1b[m ", 3},
        {"plain> ", 7},
    };
    for (const Case &c : cases) {
        Layout l;
        build(l, "ab", c.prompt, 80);
        EXPECT_EQ(l.text(0), std::string(c.prompt) + "ab") << c.prompt;
        EXPECT_EQ(l.row(0).text_col, c.width) << c.prompt;
        EXPECT_CURSOR(l, 0, c.width + 2);
    }
    // The continuation indent follows the visible width too.
    Layout wrap;
    build(wrap, "aaaa bbbb", "\x1b[1m> \x1b[0m", 8);
    EXPECT_EQ(wrap.texts(), (Rows{"\x1b[1m> \x1b[0maaaa", "  bbbb"}));
}

TEST(RenderLayout, ControlsStayInTheLineButOutOfTheRowText) {
    // ESC, CR, NUL, BEL, DEL and the C1 control U+009B (CSI).
    std::string line = std::string("a\x1b[2J\rb", 7) + std::string(1, '\0') + "\a\x7f" +
                       "\xc2\x9b"
                       "1mc";
    RenderEditor e(80);
    e.set(line);
    Layout l;
    ASSERT_EQ(kv_render_build(e.ed, "> ", &l.lo), 0);
    EXPECT_EQ(l.text(0), "> a[2Jb1mc");
    EXPECT_EQ(l.row(0).width, 2 + 8);
    EXPECT_EQ(l.row(0).end, line.size());
    EXPECT_CURSOR(l, 0, 10);
    EXPECT_EQ(e.line(), line);

    // A control joined into a cluster (after a zero-width joiner) is left out too.
    Layout joined;
    build(joined, "x\xe2\x80\x8d\ty", "", 80);
    EXPECT_EQ(joined.text(0), "x\xe2\x80\x8dy");

    // Bytes that are merely invalid are not controls: they pass unchanged.
    Layout invalid;
    build(invalid, "\x9b\xff", "", 80);
    EXPECT_EQ(invalid.text(0), "\x9b\xff");
    EXPECT_EQ(invalid.row(0).width, 2);
}

TEST(RenderLayout, LeftOutControlsNeverJoinInvalidBytesIntoACharacter) {
    // Each invalid byte is one column; a terminal handed the lead byte and
    // the continuation byte side by side would show one character instead.
    // The continuation byte is then shown as U+FFFD.  (Found by fuzzing.)
    const std::string fffd = "\xef\xbf\xbd";
    struct Row {
        const char *prompt;
        std::string line;
        std::string text; // row 0
        int width;
    } rows[] = {
        {"", std::string("\xcf\x10\0\x80", 4), "\xcf" + fffd, 2},
        {"", "\xe2\x1b\x82\x07\xac", "\xe2" + fffd + "\xac", 3},
        {"", "\xf0\x9f\x10\x98\x80", "\xf0\x9f" + fffd + "\x80", 4},
        {"> ", "\xe2\x82\xc2\x9b\xac", "> \xe2\x82" + fffd, 5},
        // Nothing to join: a finished character, an invalid lead alone, a
        // stray continuation byte, or nothing left out in between.
        {"", "\xc3\xa9\x10\x80", "\xc3\xa9\x80", 2},
        {"",
         "\xcf\x10"
         "a",
         "\xcf"
         "a",
         2},
        {"", "\x80\x10\x80", "\x80\x80", 2},
        {"",
         "\xf0\x9f"
         "a",
         "\xf0\x9f"
         "a",
         3},
    };
    for (const Row &r : rows) {
        Layout l;
        build(l, r.line, r.prompt, 80);
        EXPECT_EQ(l.text(0), r.text) << r.line;
        EXPECT_EQ(l.row(0).width, r.width) << r.line;
        EXPECT_EQ(l.row(0).end, r.line.size()) << r.line;
    }
}

TEST(RenderLayout, CursorInsideAClusterShowsAtItsStart) {
    std::string accented = "ab"
                           "e\xcc\x81"
                           "x"; // e + U+0301
    for (size_t pos : {3u, 4u}) {
        Layout l;
        build(l, accented, pos, "> ", 80);
        EXPECT_CURSOR(l, 0, 4);
    }
    Layout wide;
    build(wide, "a" + cjk + "b", 2, "> ", 80);
    EXPECT_CURSOR(wide, 0, 3);
    // Inside a tab cluster (a tab that swallowed a combining mark).
    Layout tab;
    build(tab,
          "a\t\xcc\x81"
          "b",
          3, "> ", 80);
    EXPECT_CURSOR(tab, 0, 3);
}

TEST(RenderLayout, CursorPastTheEndCountsAsTheEnd) {
    Layout l;
    build(l, "abc", 99, "> ", 80);
    EXPECT_CURSOR(l, 0, 5);
}

TEST(RenderLayout, EffectiveWidth) {
    RenderEditor e(0);
    kv_state *st = e.st();
    WriteCapture ws(24, 100);
    EXPECT_EQ(kv_screen_width(st), 100);
    st->screen.bounded = 1;
    st->screen.column = 10;
    EXPECT_EQ(kv_screen_width(st), 90);
    st->screen.auto_width = 0;
    st->screen.width = 50;
    EXPECT_EQ(kv_screen_width(st), 50);
    st->screen.auto_width = 1;
    st->screen.width = 0;
    ws.set_size(24, 0);
    EXPECT_EQ(kv_screen_width(st), 70);
    ws.fail_size();
    EXPECT_EQ(kv_screen_width(st), 70);
    st->screen.bounded = 0;
    EXPECT_EQ(kv_screen_width(st), 80);
    st->screen.bounded = 1;
    st->screen.column = 100;
    EXPECT_EQ(kv_screen_width(st), 1);

    int cols = -1, rows = -1;
    kv_terminal_size(st, &cols, &rows);
    EXPECT_EQ(cols, 0);
    EXPECT_EQ(rows, 0);
    ws.set_size(33, 44);
    kv_terminal_size(st, &cols, &rows);
    EXPECT_EQ(cols, 44);
    EXPECT_EQ(rows, 33);
}

TEST(RenderLayout, BuildRejectsMissingEditorAndResetsTheLayout) {
    kv_layout lo;
    lo.rows = nullptr;
    lo.capacity = 5;
    lo.count = 3;
    lo.cursor_row = 2;
    lo.cursor_col = 7;
    EXPECT_EQ(kv_render_build(nullptr, "> ", &lo), -1);
    EXPECT_EQ(lo.count, 0);
    EXPECT_EQ(lo.capacity, 0);
    EXPECT_EQ(lo.cursor_row, 0);
    EXPECT_EQ(lo.cursor_col, 0);
    kv_editor bare{};
    EXPECT_EQ(kv_render_build(&bare, "> ", &lo), -1);
}

TEST(RenderLayout, RowArrayGrowsByDoublingWithZeroedEntries) {
    Layout l;
    ASSERT_EQ(kv_render_new_row_at(&l.lo, 3, 4), 0);
    EXPECT_EQ(l.lo.capacity, 8);
    const kv_layout_row &r = l.row(0);
    EXPECT_EQ(r.text, nullptr);
    EXPECT_EQ(r.start, 3u);
    EXPECT_EQ(r.end, 3u);
    EXPECT_EQ(r.text_col, 4);
    EXPECT_EQ(r.width, 4);
    for (int i = 1; i < 8; ++i)
        ASSERT_EQ(kv_render_new_indented_row(&l.lo, 3, 9), 0);
    EXPECT_EQ(l.lo.capacity, 8);
    EXPECT_EQ(l.text(7), "   ");
    EXPECT_EQ(l.row(7).width, 3);
    EXPECT_EQ(l.row(7).text_col, 3);
    ASSERT_EQ(kv_render_new_indented_row(&l.lo, 0, 9), 0);
    EXPECT_EQ(l.lo.capacity, 16);
    EXPECT_EQ(l.row(8).text, nullptr);
    for (int i = 9; i < 16; ++i) {
        EXPECT_EQ(l.lo.rows[i].text, nullptr);
        EXPECT_EQ(l.lo.rows[i].start, 0u);
        EXPECT_EQ(l.lo.rows[i].width, 0);
    }
    {
        AllocFailer f(1);
        for (int i = 9; i < 16; ++i)
            ASSERT_EQ(kv_render_new_row_at(&l.lo, 1, 1), 0);
        EXPECT_EQ(kv_render_new_row_at(&l.lo, 1, 1), -1);
    }
    EXPECT_EQ(l.lo.count, 16);
    EXPECT_EQ(l.lo.capacity, 16);
}

TEST(RenderLayout, RowArrayAtTheLargestCountRefusesAnotherRow) {
    // No row count beyond the largest int: the append fails before any
    // size is computed from count + 1 (the sanitizer build sees an overflow).
    kv_layout_row one{};
    kv_layout lo{&one, INT32_MAX, INT32_MAX, 0, 0};
    EXPECT_EQ(kv_render_new_row_at(&lo, 0, 0), -1);
    EXPECT_EQ(lo.rows, &one);
    EXPECT_EQ(lo.count, INT32_MAX);
    EXPECT_EQ(lo.capacity, INT32_MAX);
}

TEST(RenderLayout, OutOfMemoryLeavesConsistentRows) {
    RenderEditor e(10);
    e.set("hello world, this line wraps\tover several rows " + cjk + cjk);
    long made = for_each_alloc_failure(
        [&] {
            kv_layout lo{};
            int r = kv_render_build(e.ed, "> ", &lo);
            // Every row below count is valid: NUL-terminated text or null.
            for (int i = 0; i < lo.count; ++i) {
                const kv_layout_row &row = lo.rows[i];
                EXPECT_TRUE(row.text ? row.text[row.len] == '\0' : row.len == 0);
            }
            kv_layout_free(&lo);
            return r;
        },
        [](long, long r) { EXPECT_EQ(r, -1); });
    EXPECT_GT(made, 3);
}

// Allocations made by one build of text at width w.
long allocations_for(std::string_view text, int w) {
    RenderEditor e(w);
    e.set(text);
    constexpr long budget = 1000000;
    kv_alloc_countdown = budget;
    kv_layout lo{};
    int r = kv_render_build(e.ed, "> ", &lo);
    long used = budget - kv_alloc_countdown;
    kv_alloc_countdown = -1;
    kv_layout_free(&lo);
    EXPECT_EQ(r, 0);
    return used;
}

TEST(RenderLayout, RowTextsGrowGeometrically) {
    // One row of 4000 bytes: the row array once, and the text doubling from
    // 16 bytes to 4 KiB, not one reallocation per cluster.
    EXPECT_LE(allocations_for(std::string(4000, 'x'), 5000), 1 + 10);
    std::string words;
    while (words.size() < 4000)
        words += "ab cd ";
    EXPECT_LE(allocations_for(words, 5000), 1 + 10);
    // 100 rows of 40 columns: a few blocks per row and the doubling array.
    EXPECT_LE(allocations_for(std::string(4000, 'x'), 42), 100 * 3 + 6);
}

// ---- comparison with a literal transcription ------------------------------------

struct RefRow {
    std::string text;
    size_t start, end;
    int text_col, width;
};

struct RefLayout {
    std::vector<RefRow> rows;
    int cursor_row = 0, cursor_col = 0;
};

bool ref_sep(unsigned char b) { return b == 0 || b == ' ' || (b >= 9 && b <= 13); }

std::string ref_printable(const std::string &s, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < to; ++i) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x20 || b == 0x7F) continue;
        if (b == 0xC2 && i + 1 < to && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
            ++i;
            continue;
        }
        out += s[i];
    }
    return out;
}

int ref_measure(const std::string &s, size_t p) {
    size_t e = p;
    while (e < s.size() && !ref_sep(static_cast<unsigned char>(s[e])))
        ++e;
    int sum = 0;
    while (p < e) {
        int w = 0;
        p += kv_utf8_cluster_len_width(s.data(), s.size(), p, &w);
        sum += w;
    }
    return sum;
}

// The wrapping rules step by step, measuring the rest of the word afresh at
// every cluster.  The prompt here never holds escapes or tabs.
RefLayout ref_build(const std::string &s, size_t cursor, const std::string &prompt, int W) {
    RefLayout L;
    int P = 0;
    for (size_t i = 0; i < prompt.size();) {
        int w = 0;
        i += kv_utf8_cluster_len_width(prompt.data(), prompt.size(), i, &w);
        P += w;
    }
    int I = P < W ? P : W - 1;
    int c = P;
    L.rows.push_back({prompt, 0, 0, P, P});
    auto newrow = [&](size_t at) {
        L.rows.push_back({std::string(static_cast<size_t>(I), ' '), at, at, I, I});
        c = I;
    };
    auto place = [&](int col) {
        L.cursor_row = static_cast<int>(L.rows.size()) - 1;
        L.cursor_col = col;
    };
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b == '\n') {
            if (cursor == i) place(c);
            L.rows.back().end = i;
            newrow(i + 1);
            ++i;
            continue;
        }
        int w = 0;
        size_t n = kv_utf8_cluster_len_width(s.data(), s.size(), i, &w);
        if (b == ' ' && c > I) {
            size_t j = i;
            while (j < s.size() && s[j] == ' ')
                ++j;
            int sp = static_cast<int>(j - i);
            if (j < s.size() && !ref_sep(static_cast<unsigned char>(s[j]))) {
                int ww = ref_measure(s, j);
                if (ww <= std::max(1, W - I) && c + sp + ww > W) {
                    L.rows.back().end = i;
                    newrow(j);
                    if (cursor >= i && cursor <= j) place(I);
                    i = j;
                    continue;
                }
            }
        } else if (!ref_sep(b) && c > I) {
            int ww = ref_measure(s, i);
            if (ww <= std::max(1, W - I) && c + ww > W) newrow(i);
        }
        if (c >= W || (w > 0 && c + w > W)) newrow(i);
        if (cursor >= i && cursor < i + n) place(c);
        if (b == '\t') {
            int k = 8 - c % 8;
            for (int t = 0; t < k; ++t) {
                if (c >= W) newrow(i);
                L.rows.back().text += ' ';
                L.rows.back().width += 1;
                ++c;
            }
        } else {
            L.rows.back().text += ref_printable(s, i, i + n);
            L.rows.back().width += w;
            c += w;
        }
        i += n;
        L.rows.back().end = i;
    }
    if (cursor >= s.size()) {
        if (c >= W) newrow(s.size());
        place(c);
    }
    return L;
}

std::string random_text(std::mt19937 &rng) {
    static const char *const pieces[] = {
        " ",
        "  ",
        "   ",
        "\t",
        "\n",
        "e\xcc\x81",
        "\xcc\x81",
        "\xe4\xb8\x80",
        "\xf0\x9f\x98\x80",
        "\xe2\x80\x8d",
        "\x1b",
        "\r",
        "\xc2\x9b",
        "\xff",
        ",",
        "-",
    };
    std::string s;
    int tokens = std::uniform_int_distribution<int>(0, 40)(rng);
    for (int t = 0; t < tokens; ++t) {
        int kind = std::uniform_int_distribution<int>(0, 9)(rng);
        if (kind < 5) {
            int n = std::uniform_int_distribution<int>(1, kind == 0 ? 150 : 9)(rng);
            for (int k = 0; k < n; ++k)
                s += static_cast<char>('a' + rng() % 26);
        } else {
            s += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
        }
    }
    if (rng() % 8 == 0) s.push_back('\0');
    return s;
}

TEST(RenderLayout, LinearBuildMatchesTheStepByStepRules) {
    std::mt19937 rng(20261208);
    const std::string prompts[] = {"", "> ", "db=# ", "\xe6\x97\xa5> ", "a-very-long-prompt> "};
    // The rounds must reach the wrapping rules, not only one-row lines.
    int wrapped = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string s = random_text(rng);
        const std::string &prompt = prompts[rng() % 5];
        int W =
            rng() % 4 == 0 ? static_cast<int>(1 + rng() % 6) : static_cast<int>(1 + rng() % 120);
        size_t cursor = rng() % (s.size() + 2);
        RefLayout want = ref_build(s, cursor, prompt, W);
        RenderEditor e(W);
        e.set(s, cursor);
        Layout got;
        ASSERT_EQ(kv_render_build(e.ed, prompt.c_str(), &got.lo), 0);
        std::string where = "W=" + std::to_string(W) + " cursor=" + std::to_string(cursor) +
                            " prompt='" + prompt + "' text='" + s + "'";
        ASSERT_EQ(got.count(), static_cast<int>(want.rows.size())) << where;
        for (int i = 0; i < got.count(); ++i) {
            const RefRow &r = want.rows[static_cast<size_t>(i)];
            ASSERT_EQ(got.text(i), r.text) << where << " row " << i;
            ASSERT_EQ(got.row(i).start, r.start) << where << " row " << i;
            ASSERT_EQ(got.row(i).end, r.end) << where << " row " << i;
            ASSERT_EQ(got.row(i).text_col, r.text_col) << where << " row " << i;
            ASSERT_EQ(got.row(i).width, r.width) << where << " row " << i;
        }
        for (int i = got.count(); i < got.lo.capacity; ++i)
            ASSERT_EQ(got.lo.rows[i].text, nullptr);
        ASSERT_EQ(got.lo.cursor_row, want.cursor_row) << where;
        ASSERT_EQ(got.lo.cursor_col, want.cursor_col) << where;
        if (got.count() > 1) ++wrapped;
    }
    EXPECT_GT(wrapped, 1000);
}

} // namespace
