// The listing on a second Tab: its text for given candidates and screen
// sizes (sorted, in columns by display width, one screen then a count, no
// raw control bytes), and the listing as a user sees it on the terminal.
#include <cstring>

#include "ext.h"
#include "ext_session.h"

namespace {

struct Listing {
    kvx_completions c;
    explicit Listing(const std::vector<std::string> &words) {
        kvx_completions_reset(c, 0, 4096);
        for (const std::string &w : words) EXPECT_EQ(kvx_add_completion_n(&c, w.data(), w.size(), 0, 0), 0);
    }
    ~Listing() { kvx_completions_free(c); }
    std::string text(int cols, int rows) {
        kvx_bytes out;
        EXPECT_TRUE(kvx_format_listing(c, cols, rows, out));
        std::string s(out.data, out.len);
        kvx_release(out);
        return s;
    }
};

TEST(ExtListing, ColumnsByDisplayWidthSortedDownTheColumns) {
    struct Row {
        std::vector<std::string> words;
        int cols, rows;
        std::string text;
    };
    const Row rows[] = {
        {{"gamma", "alpha", "delta", "beta"}, 80, 24, "alpha  beta   delta  gamma\n"},
        {{"gamma", "alpha", "delta", "beta"}, 20, 24, "alpha  delta\nbeta   gamma\n"},
        {{"gamma", "alpha", "delta", "beta"}, 5, 24, "alpha\nbeta\ndelta\ngamma\n"},
        {{"b", "a", "b", "a"}, 80, 24, "a  b\n"},                                      // repeats once
        {{"\xE6\x97\xA5\xE6\x9C\xAC", "ab", "cd"}, 14, 24,                             // wide: 4 columns
         "ab    \xE6\x97\xA5\xE6\x9C\xAC\ncd\n"},
        {{"e\xCC\x81" "e\xCC\x81", "abc", "x"}, 12, 24, "abc  x\ne\xCC\x81" "e\xCC\x81\n"}, // marks: none
        {{"a\x1b[31mb", "c\x7f", "d\x01"}, 80, 24, "a^[[31mb  c^?       d^A\n"},        // controls
        {{"\xff" "x", "\xC2\x9B" "y"}, 80, 24, "\xEF\xBF\xBDy  \xEF\xBF\xBDx\n"},           // C1, invalid
        {{"abcdefghij"}, 6, 24, "abcde\xE2\x80\xA6\n"},                                // too wide: cut
        {{"a", "b", "c", "d", "e", "f", "g"}, 1, 5, "a\nb\nc\n(4 more)\n"},            // one screen
        {{"a", "b", "c", "d", "e", "f", "g"}, 4, 5, "a  e\nb  f\nc  g\nd\n"},          // fits: all
    };
    for (const Row &r : rows) {
        Listing l(r.words);
        EXPECT_EQ(l.text(r.cols, r.rows), r.text) << r.words[0] << " at " << r.cols << "x" << r.rows;
    }
}

TEST(ExtListing, ThousandsShowOneScreen) {
    std::vector<std::string> words;
    for (int i = 0; i < 5000; ++i) words.push_back("w" + std::to_string(10000 + i));
    Listing l(words);
    std::string t = l.text(80, 24);
    // Six columns wide (8 columns each), 22 rows, then the count.
    size_t lines = 0;
    for (char ch : t) lines += ch == '\n';
    EXPECT_EQ(lines, 23u);
    EXPECT_EQ(t.substr(0, 16), "w10000  w10022  ");
    EXPECT_NE(t.find("\n(" + std::to_string(5000 - 22 * 10) + " more)\n"), std::string::npos) << t.substr(t.size() - 40);
}

TEST(ExtListing, SecondTabListsAboveThePrompt) {
    ExtSession s(8, 30);
    s.words.words = {"gamma", "alpha", "delta", "beta", "\x1b[2Jboom"};
    auto call = start_call(s.pty, s.ed, "> ");
    s.pty.type("\t\t");
    // Widest 9 columns, so two columns of 11 fit in 30: three rows.
    ASSERT_TRUE(s.pty.pump_until([&] { return s.pty.screen().row(3) == ">"; })) << s.pty.screen().dump();
    EXPECT_EQ(s.pty.screen().row(0), "^[[2Jboom  delta");
    EXPECT_EQ(s.pty.screen().row(1), "alpha      gamma");
    EXPECT_EQ(s.pty.screen().row(2), "beta");
    EXPECT_EQ(s.pty.log().find("\x1b[2Jboom"), std::string::npos);
    s.pty.type("al\t\r");
    ASSERT_TRUE(s.pty.pump_until([&] { return call->done(); }));
    call->join();
    EXPECT_EQ(call->line(), "alpha ");
}

} // namespace
