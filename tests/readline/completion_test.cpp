// rl_completion_matches: the array readline programs build their completion
// answers with.
#include <algorithm>
#include <cstring>

#include "rl_test_support.h"

namespace rltest {
namespace {

// A generator over a fixed list, for rl_completion_matches.
std::vector<std::string> offered;
size_t generator_calls = 0;
char *from_list(const char *, int state) {
    static size_t i;
    ++generator_calls;
    if (state == 0) i = 0;
    return i < offered.size() ? strdup(offered[i++].c_str()) : nullptr;
}

std::vector<std::string> take(char **matches) {
    std::vector<std::string> out;
    if (!matches) return out;
    for (size_t i = 0; matches[i]; ++i) {
        out.push_back(matches[i]);
        free(matches[i]);
    }
    free(matches);
    return out;
}

TEST(CompletionMatches, ElementZeroIsTheCommonPrefix) {
    struct Row {
        std::vector<std::string> offered;
        std::vector<std::string> result; // empty: null
    } rows[] = {
        {{}, {}},
        {{"apple"}, {"apple"}},
        {{"apple", "apricot"}, {"ap", "apple", "apricot"}},
        {{"same", "same"}, {"same", "same", "same"}},
        {{"FROM", "fruit"}, {"", "FROM", "fruit"}},
        {{"ab", "abc", "abcd"}, {"ab", "ab", "abc", "abcd"}},
        {{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"},
         {"", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
    };
    for (const Row &row : rows) {
        offered = row.offered;
        std::vector<std::string> got = take(rl_completion_matches("", from_list));
        EXPECT_EQ(got, row.result) << "offered " << row.offered.size();
    }
}

TEST(CompletionMatches, OutOfMemoryGivesNullAndRunsTheGeneratorToItsEnd) {
    offered.clear();
    for (int i = 0; i < 20; ++i)
        offered.push_back("word" + std::to_string(i));
    long n = 1;
    for (; n < 100; ++n) {
        generator_calls = 0;
        kvr_alloc_countdown = n;
        char **matches = rl_completion_matches("w", from_list);
        bool fired = kvr_alloc_countdown == 0;
        kvr_alloc_countdown = -1;
        if (!fired) {
            EXPECT_EQ(take(matches).size(), 21u);
            break;
        }
        EXPECT_EQ(matches, nullptr) << "allocation " << n;
        // A generator that was started is asked until it says it is done,
        // so its next list starts fresh; what it gave is freed (the
        // sanitizer build reports leaks).
        if (generator_calls != 0)
            EXPECT_EQ(generator_calls, offered.size() + 1) << "allocation " << n;
    }
    EXPECT_GT(n, 1);
}

TEST(CompletionMatches, FileNamesCompleteInTheirDirectory) {
    TempDir tmp;
    write_file(tmp.path("alpha.txt"), "");
    write_file(tmp.path("alpine"), "");
    write_file(tmp.path("beta"), "");
    offered.clear();
    std::string prefix = tmp.dir.string() + "/al";
    std::vector<std::string> got =
        take(rl_completion_matches(prefix.c_str(), rl_filename_completion_function));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], tmp.dir.string() + "/alp");
    std::sort(got.begin() + 1, got.end());
    EXPECT_EQ(got[1], tmp.dir.string() + "/alpha.txt");
    EXPECT_EQ(got[2], tmp.dir.string() + "/alpine");
    std::string none = tmp.dir.string() + "/zz";
    EXPECT_EQ(rl_completion_matches(none.c_str(), rl_filename_completion_function), nullptr);
}

} // namespace
} // namespace rltest
