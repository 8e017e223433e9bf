// The history list: readline's numbering, every string kept, and the limit
// that stifle_history sets.
#include <functional>

#include "rl_test_support.h"

namespace rltest {
namespace {

using HistoryList = History;

TEST_F(HistoryList, StifleRules) {
    struct Row {
        const char *what;
        std::function<void()> steps;
        std::vector<std::string> entries;
        int base;
        int stifled;
    } rows[] = {
        {"no limit keeps everything, repeats and empty lines too",
         [] {
             add_all({"a", "a", "", "b"});
         },
         {"a", "a", "", "b"},
         1,
         0},
        {"a limit below the length drops the oldest",
         [] {
             add_all({"a", "b", "c"});
             stifle_history(2);
         },
         {"b", "c"},
         2,
         1},
        {"adding to a full stifled list drops the oldest",
         [] {
             stifle_history(2);
             add_all({"a", "b", "c", "d"});
         },
         {"c", "d"},
         3,
         1},
        {"a limit above the length keeps every entry",
         [] {
             add_all({"a", "b"});
             stifle_history(5);
         },
         {"a", "b"},
         1,
         1},
        {"a negative limit counts as 0: nothing is kept",
         [] {
             add_all({"a"});
             stifle_history(-4);
             add_all({"b"});
         },
         {},
         2,
         1},
        {"after unstifle the list grows past the old limit",
         [] {
             stifle_history(2);
             add_all({"a", "b", "c"});
             unstifle_history();
             add_all({"d", "e"});
         },
         {"b", "c", "d", "e"},
         2,
         0},
        {"clear empties the list and numbers from 1 again",
         [] {
             stifle_history(1);
             add_all({"a", "b", "c"});
             clear_history();
             add_all({"x"});
         },
         {"x"},
         1,
         1},
        {"remove_history takes one entry out by index",
         [] {
             add_all({"a", "b", "c"});
             free_history_entry(remove_history(1));
         },
         {"a", "c"},
         1,
         0},
        {"remove_history outside the list changes nothing",
         [] {
             add_all({"a"});
             EXPECT_EQ(remove_history(1), nullptr);
             EXPECT_EQ(remove_history(-1), nullptr);
         },
         {"a"},
         1,
         0},
    };
    for (const Row &row : rows) {
        reset();
        row.steps();
        EXPECT_EQ(lines(), row.entries) << row.what;
        EXPECT_EQ(history_length, static_cast<int>(row.entries.size())) << row.what;
        EXPECT_EQ(history_base, row.base) << row.what;
        EXPECT_EQ(history_is_stifled(), row.stifled) << row.what;
    }
}

TEST_F(HistoryList, UnstifleReportsTheOldLimit) {
    struct Row {
        const char *what;
        std::function<void()> steps;
        bool positive;
        int value; // checked when positive
    } rows[] = {
        {"stifled at 7", [] { stifle_history(7); }, true, 7},
        {"stifled at 0", [] { stifle_history(0); }, false, 0},
        {"never stifled", [] {}, false, 0},
        {"already unstifled",
         [] {
             stifle_history(3);
             unstifle_history();
         },
         false, 0},
    };
    for (const Row &row : rows) {
        reset();
        history_max_entries = 0;
        row.steps();
        int got = unstifle_history();
        if (row.positive) {
            EXPECT_EQ(got, row.value) << row.what;
        } else {
            EXPECT_LE(got, 0) << row.what;
        }
        EXPECT_EQ(history_is_stifled(), 0) << row.what;
    }
}

TEST_F(HistoryList, HistoryGetCountsFromHistoryBase) {
    stifle_history(3);
    add_all({"1", "2", "3", "4", "5"});
    ASSERT_EQ(history_base, 3);
    struct Row {
        int offset;
        const char *line; // null: no entry
    } rows[] = {{2, nullptr}, {3, "3"},     {4, "4"},     {5, "5"},
                {6, nullptr}, {0, nullptr}, {-1, nullptr}};
    for (const Row &row : rows) {
        HIST_ENTRY *e = history_get(row.offset);
        if (!row.line) {
            EXPECT_EQ(e, nullptr) << "offset " << row.offset;
        } else {
            ASSERT_NE(e, nullptr) << "offset " << row.offset;
            EXPECT_STREQ(e->line, row.line);
            EXPECT_STREQ(e->timestamp, "");
        }
    }
    HIST_ENTRY **all = history_list();
    ASSERT_NE(all, nullptr);
    EXPECT_STREQ(all[0]->line, "3");
    EXPECT_STREQ(all[2]->line, "5");
    EXPECT_EQ(all[3], nullptr);
}

TEST_F(HistoryList, AnEntryThatFindsNoMemoryLeavesTheListAsItWas) {
    add_all({"kept"});
    long allocations = 0;
    for (long n = 1; n < 100; ++n) {
        kvr_alloc_countdown = n;
        add_history("new");
        bool fired = kvr_alloc_countdown == 0;
        kvr_alloc_countdown = -1;
        if (!fired) {
            allocations = n - 1;
            break;
        }
        EXPECT_EQ(lines(), std::vector<std::string>{"kept"}) << "allocation " << n;
        // The list still works after the failure.
        EXPECT_EQ(history_get(1)->line, std::string("kept"));
    }
    EXPECT_GT(allocations, 0);
    EXPECT_EQ(lines(), (std::vector<std::string>{"kept", "new"}));
}

} // namespace
} // namespace rltest

namespace rltest {
namespace {

// The position that history_set_pos, previous_history and next_history move,
// walked the way psql writes its file: from the oldest entry forward.
TEST_F(History, ThePositionWalksTheList) {
    add_all({"a", "b", "c"});
    using_history();
    EXPECT_EQ(where_history(), 3);
    EXPECT_EQ(current_history(), nullptr); // after the newest
    EXPECT_EQ(next_history(), nullptr);
    EXPECT_EQ(where_history(), 3);
    EXPECT_EQ(history_set_pos(4), 0);
    EXPECT_EQ(history_set_pos(-1), 0);
    ASSERT_EQ(history_set_pos(0), 1);
    EXPECT_EQ(previous_history(), nullptr); // nothing before the oldest
    std::vector<std::string> walked;
    for (HIST_ENTRY *e = current_history(); e; e = next_history())
        walked.push_back(e->line);
    EXPECT_EQ(walked, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(where_history(), 3);
    ASSERT_NE(previous_history(), nullptr);
    EXPECT_EQ(current_history()->line, std::string("c"));
    // A list that shrinks under the position: it stays inside the list.
    ASSERT_EQ(history_set_pos(3), 1);
    free_history_entry(remove_history(0));
    EXPECT_EQ(where_history(), 2);
    EXPECT_EQ(previous_history()->line, std::string("c"));
    clear_history();
    EXPECT_EQ(where_history(), 0);
    EXPECT_EQ(current_history(), nullptr);
}

} // namespace
} // namespace rltest
