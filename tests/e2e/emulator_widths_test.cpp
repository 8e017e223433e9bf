// Where the emulators of the screen tests count columns otherwise than the
// library does.  Screen tests keep to text where they agree; this keeps the
// list of the others (also in the README) true for the pinned versions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "screen_batch.h"
#include "text/text.h"

namespace {

struct Sample {
    const char *name;
    const char *text;
};

const Sample samples[] = {
    {"a", "a"},
    {"e U+0301", "e\xcc\x81"},
    {"U+00E9", "\xc3\xa9"},
    {"U+3042", "\xe3\x81\x82"},
    {"U+4E00", "\xe4\xb8\x80"},
    {"U+AC00", "\xea\xb0\x80"},
    {"U+FF21", "\xef\xbc\xa1"},
    {"U+231A", "\xe2\x8c\x9a"},
    {"U+2764", "\xe2\x9d\xa4"},
    {"U+2764 U+FE0F", "\xe2\x9d\xa4\xef\xb8\x8f"},
    {"a U+200D", "a\xe2\x80\x8d"},
    {"U+1F000", "\xf0\x9f\x80\x80"},
    {"U+1F1E6", "\xf0\x9f\x87\xa6"},
    {"U+1F1E6 U+1F1E8", "\xf0\x9f\x87\xa6\xf0\x9f\x87\xa8"},
    {"U+1F44D U+1F3FD", "\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd"},
    {"U+1F468 U+200D U+1F469", "\xf0\x9f\x91\xa8\xe2\x80\x8d\xf0\x9f\x91\xa9"},
    {"U+1F600", "\xf0\x9f\x98\x80"},
    {"U+20000", "\xf0\xa0\x80\x80"},
    {"U+3FFFD", "\xf0\xbf\xbf\xbd"},
    {"byte 0xFF", "\xff"},
};

// The samples each emulator measures otherwise than the library.
std::vector<std::string> known_differences(Emulator e) {
    if (e == Emulator::libvterm)
        return {"U+231A", "U+2764 U+FE0F", "U+1F000", "U+1F1E6", "U+1F468 U+200D U+1F469"};
    return {"U+231A",  "U+1F000", "U+1F1E6", "U+1F44D U+1F3FD",
            "U+1F600", "U+20000", "U+3FFFD", "byte 0xFF"};
}

int our_width(std::string_view text) {
    int total = 0;
    for (size_t at = 0; at < text.size();) {
        int w = 0;
        at += kv_utf8_cluster_len_width(text.data(), text.size(), at, &w);
        total += w;
    }
    return total;
}

struct EmulatorWidths : ::testing::TestWithParam<Emulator> {};

TEST_P(EmulatorWidths, DifferFromOursOnlyWhereTheReadmeSays) {
    REQUIRE_EMULATOR(GetParam());
    ScreenBatch batch(GetParam());
    std::vector<size_t> snaps;
    for (const Sample &s : samples) {
        const int t = batch.open(2, 20);
        batch.feed(t, s.text);
        snaps.push_back(batch.snap(t));
        batch.close(t);
    }
    ASSERT_EQ(batch.run(), "");
    std::vector<std::string> differ;
    std::string table;
    for (size_t i = 0; i < snaps.size(); ++i) {
        const int theirs = batch.at(snaps[i]).cursor_col, ours = our_width(samples[i].text);
        if (theirs != ours) differ.push_back(samples[i].name);
        table += std::string(samples[i].name) + ": ours " + std::to_string(ours) + ", " +
                 emulator_name(GetParam()) + " " + std::to_string(theirs) + "\n";
    }
    EXPECT_EQ(differ, known_differences(GetParam())) << table;
}

INSTANTIATE_TEST_SUITE_P(Emulators, EmulatorWidths,
                         ::testing::Values(Emulator::libvterm, Emulator::xterm_js),
                         emulator_param_name);

} // namespace
