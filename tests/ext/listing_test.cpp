// The listing on a second Tab: its text for given candidates and screen
// widths (sorted, in columns by display width, no raw control bytes), and
// the listing as a user sees it on the terminal: the question before a long
// one and its pages.
#include <cstring>

#include <fstream>

#include "ext.h"
#include "ext_session.h"
#include "program_pty.h"

namespace {

struct Listing {
    kvx_completions c;
    explicit Listing(const std::vector<std::string> &words) {
        kvx_completions_reset(c, 0, 4096);
        for (const std::string &w : words)
            EXPECT_EQ(kvx_add_completion_n(&c, w.data(), w.size(), 0, 0), 0);
    }
    ~Listing() { kvx_completions_free(c); }
    std::string text(int cols) {
        kvx_bytes out;
        EXPECT_TRUE(kvx_format_listing(c, cols, out));
        std::string s(out.data, out.len);
        kvx_release(out);
        return s;
    }
};

TEST(ExtListing, ColumnsByDisplayWidthSortedDownTheColumns) {
    struct Row {
        std::vector<std::string> words;
        int cols;
        std::string text;
    };
    const Row rows[] = {
        {{"gamma", "alpha", "delta", "beta"}, 80, "alpha  beta   delta  gamma\n"},
        {{"gamma", "alpha", "delta", "beta"}, 20, "alpha  delta\nbeta   gamma\n"},
        {{"gamma", "alpha", "delta", "beta"}, 5, "alpha\nbeta\ndelta\ngamma\n"},
        {{"b", "a", "b", "a"}, 80, "a  b\n"}, // repeats once
        {{"\xE6\x97\xA5\xE6\x9C\xAC", "ab", "cd"},
         14, // wide: 4 columns
         "ab    \xE6\x97\xA5\xE6\x9C\xAC\ncd\n"},
        {{"e\xCC\x81"
          "e\xCC\x81",
          "abc", "x"},
         12,
         "abc  x\ne\xCC\x81"
         "e\xCC\x81\n"},                                                     // marks: none
        {{"a\x1b[31mb", "c\x7f", "d\x01"}, 80, "a^[[31mb  c^?       d^A\n"}, // controls
        {{"\xff"
          "x",
          "\xC2\x9B"
          "y"},
         80,
         "\xEF\xBF\xBDy  \xEF\xBF\xBDx\n"},                                // C1, invalid
        {{"abcdefghij"}, 6, "abcde\xE2\x80\xA6\n"},                        // too wide: cut
        {{"a", "b", "c", "d", "e", "f", "g"}, 1, "a\nb\nc\nd\ne\nf\ng\n"}, // every row
        {{"a", "b", "c", "d", "e", "f", "g"}, 4, "a  e\nb  f\nc  g\nd\n"}, // fits: all
    };
    for (const Row &r : rows) {
        Listing l(r.words);
        EXPECT_EQ(l.text(r.cols), r.text) << r.words[0] << " at " << r.cols;
    }
}

TEST(ExtListing, ThousandsAreLaidOutWhole) {
    std::vector<std::string> words;
    for (int i = 0; i < 5000; ++i)
        words.push_back("w" + std::to_string(10000 + i));
    Listing l(words);
    std::string t = l.text(80);
    // Ten columns of 8 (six wide and the gap), 500 rows.
    size_t lines = 0;
    for (char ch : t)
        lines += ch == '\n';
    EXPECT_EQ(lines, 500u);
    EXPECT_EQ(t.substr(0, 16), "w10000  w10500  ");
    EXPECT_EQ(t.substr(t.size() - 7), "w14999\n");
}

TEST(ExtListing, SecondTabListsAboveThePrompt) {
    ExtSession s(8, 30);
    s.words.words = {"gamma", "alpha", "delta", "beta", "\x1b[2Jboom"};
    auto call = start_call(s.pty, s.ed, "> ");
    s.pty.type("\t\t");
    // Widest 9 columns, so two columns of 11 fit in 30: three rows.
    ASSERT_TRUE(s.pty.pump_until([&] { return s.pty.screen().row(3) == ">"; }))
        << s.pty.screen().dump();
    EXPECT_EQ(s.pty.screen().row(0), "^[[2Jboom  delta");
    EXPECT_EQ(s.pty.screen().row(1), "alpha      gamma");
    EXPECT_EQ(s.pty.screen().row(2), "beta");
    EXPECT_EQ(s.pty.log().find("\x1b[2Jboom"), std::string::npos);
    s.pty.type("al\t\r");
    ASSERT_TRUE(s.pty.pump_until([&] { return call->done(); }));
    call->join();
    EXPECT_EQ(call->line(), "alpha ");
}

// The demo's file name completion over a hundred names: 50 rows of two
// columns, 23 to a page.  The listing asks first; its screens wait at
// "--More--" for Space (a screen), Enter (a row) or q (no more).
TEST(ExtListing, TheDemoAsksBeforeALongListingAndPagesIt) {
    struct Step {
        std::string keys, shown, hidden; // typed, then shown and not shown ("" none)
    };
    const std::vector<Step> rows[] = {
        {{"y", "/f122", "/f123"},
         {"\r", "/f123", "/f124"},
         {" ", "/f146", "/f147"},
         {"q", "", "/f147"}},
        {{"n", "", "/f100"}},
        {{"x", "", "/f100"}, {"Y", "--More--", ""}, {"\x03", "", "/f123"}}, // other keys: asked on
    };
    for (const std::vector<Step> &steps : rows) {
        TempHome home;
        for (int i = 0; i < 100; ++i)
            std::ofstream(home.dir / ("f" + std::to_string(100 + i)));
        ProgramRun demo(example_path("kavrik-demo"), {}, home);
        ASSERT_TRUE(demo.screen_has("kavrik>")) << demo.screen().dump();
        const std::string line = "kavrik> cat " + home.dir.string() + "/f1";
        demo.type("cat " + home.dir.string() + "/f1\t\t");
        ASSERT_TRUE(demo.screen_has("Display all 100 possibilities? (y or n)"))
            << demo.screen().dump();
        auto has = [&](const std::string &t) {
            return demo.screen().dump().find(t) != std::string::npos;
        };
        for (const Step &step : steps) {
            demo.type(step.keys);
            // Each step ends with what it shows on the screen and the cursor
            // on the prompt's row or after the question or "--More--".
            EXPECT_TRUE(demo.pump_until([&] {
                std::string at = demo.screen().row(demo.screen().cursor_row());
                return (step.shown.empty() || has(step.shown)) &&
                       (at == line || at.find("(y or n)") != std::string::npos || at == "--More--");
            })) << step.keys
                << "\n"
                << demo.screen().dump();
            if (!step.hidden.empty())
                EXPECT_FALSE(has(step.hidden)) << step.keys << "\n" << demo.screen().dump();
        }
        // The prompt is back with the line as it was; what the last key must
        // not have shown is not there.
        EXPECT_TRUE(demo.pump_until([&] {
            return demo.screen().row(demo.screen().cursor_row()) == line;
        })) << demo.screen().dump();
        EXPECT_FALSE(has(steps.back().hidden)) << demo.screen().dump();
        EXPECT_FALSE(has("--More--")) << demo.screen().dump();
    }
}

} // namespace
