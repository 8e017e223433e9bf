// Reverse incremental search: the search step's match order, wrap-around,
// display texts, the query operations, accept and cancel, out-of-memory.
#include <gtest/gtest.h>

#include <string>

#include "fault.h"
#include "history_editor.h"

namespace {

const std::string found = "(r-search)`";
const std::string failed = "(failed)`";

struct Search : HistoryEditor {
    kv_search s;
    explicit Search(Lines history = {"make", "ls", "make test"}, size_t max_line_len = 4096)
        : HistoryEditor(100, max_line_len) {
        add_all(history);
        kv_search_clear(&s);
    }
    ~Search() { kv_search_free(&s); }
    std::string display() const { return s.display ? s.display : "<none>"; }
    std::string query() const { return std::string(s.query, s.query_len); }
    int type(const std::string &text) {
        for (char c : text) {
            if (int rc = kv_search_extend(ed, &s, &c, 1); rc != 0) return rc;
        }
        return 0;
    }
    void expect(const std::string &line_text, const std::string &disp) {
        EXPECT_EQ(line(), line_text);
        EXPECT_EQ(kv_cursor(ed), line_text.size());
        EXPECT_EQ(display(), disp);
    }
};

TEST(HistorySearch, StartShowsTheNewestEntryWithTheEmptyQuery) {
    Search t;
    kv_set_buffer(t.ed, "typed");
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    EXPECT_EQ(t.s.active, 1);
    EXPECT_EQ(t.s.match, 2);
    EXPECT_EQ(t.s.query_cap, 32u);
    t.expect("make test", found + "': ");
}

TEST(HistorySearch, NextOlderVisitsEveryMatchThenWrapsToTheNewest) {
    Search t;
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    ASSERT_EQ(t.type("ke"), 0);
    t.expect("make test", found + "ke': ");
    ASSERT_EQ(kv_search_next(t.ed, &t.s), 0);
    t.expect("make", found + "ke': ");
    EXPECT_EQ(t.s.match, 0);
    ASSERT_EQ(kv_search_next(t.ed, &t.s), 0);
    t.expect("make test", found + "ke': ");
}

TEST(HistorySearch, SingleMatchStaysPut) {
    Search t({"alpha", "beta", "gamma"});
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    ASSERT_EQ(t.type("et"), 0);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(kv_search_next(t.ed, &t.s), 0);
        t.expect("beta", found + "et': ");
    }
}

TEST(HistorySearch, MatchingIsACaseSensitiveByteSubstring) {
    Search t({"Make", "xmakex", "m a k e"});
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    ASSERT_EQ(t.type("make"), 0);
    t.expect("xmakex", found + "make': ");
    ASSERT_EQ(kv_search_next(t.ed, &t.s), 0);
    t.expect("xmakex", found + "make': ");
}

TEST(HistorySearch, FailureShowsThePreSearchLineUntilErasingMatchesAgain) {
    Search t;
    kv_set_buffer(t.ed, "before");
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    ASSERT_EQ(t.type("lsx"), 0);
    t.expect("before", failed + "lsx': ");
    EXPECT_EQ(t.s.match, -1);
    EXPECT_EQ(t.s.found, 0);
    // Next older after a failure is a fresh search, still failing.
    ASSERT_EQ(kv_search_next(t.ed, &t.s), 0);
    t.expect("before", failed + "lsx': ");
    ASSERT_EQ(kv_search_erase(t.ed, &t.s), 0);
    t.expect("ls", found + "ls': ");
}

TEST(HistorySearch, EmptyHistoryFailsAndKeepsTheLine) {
    Search t(Lines{});
    kv_set_buffer(t.ed, "as typed");
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    t.expect("as typed", failed + "': ");
    ASSERT_EQ(kv_search_next(t.ed, &t.s), 0);
    t.expect("as typed", failed + "': ");
}

TEST(HistorySearch, ErasingFromAnEmptyQueryRunsAFreshStep) {
    Search t;
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    ASSERT_EQ(kv_search_next(t.ed, &t.s), 0);
    t.expect("ls", found + "': ");
    ASSERT_EQ(kv_search_erase(t.ed, &t.s), 0);
    EXPECT_EQ(t.query(), "");
    t.expect("make test", found + "': ");
}

TEST(HistorySearch, EraseRemovesAWholeCluster) {
    Search t({"caf\xc3\xa9", "cafe\xcc\x81 noir", "\xe4\xb8\xad"});
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    ASSERT_EQ(t.type("cafe\xcc\x81"), 0);
    t.expect("cafe\xcc\x81 noir", found + "cafe\xcc\x81': ");
    ASSERT_EQ(kv_search_erase(t.ed, &t.s), 0); // e + U+0301 goes as one
    EXPECT_EQ(t.query(), "caf");
    t.expect("cafe\xcc\x81 noir", found + "caf': ");
    ASSERT_EQ(kv_search_clear_query(t.ed, &t.s), 0);
    ASSERT_EQ(t.type("\xe4\xb8\xad"), 0);
    t.expect("\xe4\xb8\xad", found + "\xe4\xb8\xad': ");
    ASSERT_EQ(kv_search_erase(t.ed, &t.s), 0);
    EXPECT_EQ(t.query(), "");
}

TEST(HistorySearch, ClearEmptiesTheQuery) {
    Search t;
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    ASSERT_EQ(t.type("zzz"), 0);
    ASSERT_EQ(kv_search_clear_query(t.ed, &t.s), 0);
    EXPECT_EQ(t.query(), "");
    EXPECT_EQ(t.s.query[0], '\0');
    t.expect("make test", found + "': ");
}

TEST(HistorySearch, QueryGrowsByDoublingAndIsRefusedPastTheLimit) {
    std::string long_entry(70, 'q');
    Search t({long_entry}, 70);
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    ASSERT_EQ(t.type(std::string(40, 'q')), 0);
    EXPECT_EQ(t.s.query_cap, 64u);
    ASSERT_EQ(t.type(std::string(30, 'q')), 0);
    EXPECT_EQ(t.s.query_cap, 128u);
    EXPECT_EQ(t.s.query_len, 70u);
    EXPECT_EQ(t.type("q"), -1);
    EXPECT_EQ(t.s.query_len, 70u);
    t.expect(long_entry, found + std::string(70, 'q') + "': ");

    Search small({"abcd"}, 3);
    ASSERT_EQ(kv_search_start(small.ed, &small.s), 0);
    ASSERT_EQ(small.type("abc"), 0);
    // A two-byte character does not fit either: refused whole.
    EXPECT_EQ(kv_search_extend(small.ed, &small.s, "\xc3\xa9", 2), -1);
    EXPECT_EQ(small.type("d"), -1);
    EXPECT_EQ(small.query(), "abc");
}

TEST(HistorySearch, NextOlderAfterTheListShrankStartsInsideIt) {
    Search t({"a1", "a2", "a3", "a4", "a5"});
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    EXPECT_EQ(t.s.match, 4);
    ASSERT_EQ(kv_history_set_max_len(t.ed, 2), 0); // a4, a5
    ASSERT_EQ(kv_search_next(t.ed, &t.s), 0);
    t.expect("a5", found + "': ");
    ASSERT_EQ(kv_search_next(t.ed, &t.s), 0);
    t.expect("a4", found + "': ");
}

TEST(HistorySearch, CancelRestoresTheExactLine) {
    Search t;
    kv_set_buffer(t.ed, "half typed \xe4\xb8\xad");
    t.st()->line.cursor = 3;
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    ASSERT_EQ(t.type("ls"), 0);
    ASSERT_EQ(kv_search_cancel(t.ed, &t.s), 0);
    EXPECT_EQ(t.line(), "half typed \xe4\xb8\xad");
    EXPECT_EQ(kv_cursor(t.ed), t.line().size());
    EXPECT_EQ(t.s.active, 0);
    EXPECT_EQ(t.s.saved, nullptr);
    EXPECT_EQ(t.s.display, nullptr);
    EXPECT_EQ(t.s.match, -1);
    EXPECT_EQ(kv_search_next(t.ed, &t.s), -1); // no longer active
}

TEST(HistorySearch, AcceptKeepsTheMatchInTheLine) {
    Search t;
    kv_set_buffer(t.ed, "x");
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    ASSERT_EQ(t.type("ls"), 0);
    kv_search_accept(&t.s);
    EXPECT_EQ(t.line(), "ls");
    EXPECT_EQ(t.s.active, 0);
    EXPECT_EQ(t.s.query, nullptr);
    EXPECT_EQ(t.s.match, -1);
}

TEST(HistorySearch, StepsOnAnInactiveRecordFail) {
    Search t;
    EXPECT_EQ(kv_history_search_refresh(t.ed, &t.s, 0), -1);
    EXPECT_EQ(kv_search_extend(t.ed, &t.s, "a", 1), -1);
    EXPECT_EQ(kv_search_erase(t.ed, &t.s), -1);
    EXPECT_EQ(kv_search_clear_query(t.ed, &t.s), -1);
    EXPECT_EQ(kv_search_start(nullptr, &t.s), -1);
    EXPECT_EQ(t.display(), "<none>");
}

TEST(HistorySearch, StartingAgainReleasesThePreviousRecord) {
    Search t;
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    ASSERT_EQ(t.type("ls"), 0);
    kv_set_buffer(t.ed, "second");
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0); // the sanitizer build sees leaks
    EXPECT_EQ(t.query(), "");
    EXPECT_STREQ(t.s.saved, "second");
}

TEST(HistorySearchMemory, StartFailsCleanly) {
    Search t({std::string(300, 'h')}); // the match needs a larger line block
    kv_set_buffer(t.ed, "typed");
    long allocs = for_each_alloc_failure([&] { return kv_search_start(t.ed, &t.s); },
                                         [&](long, long rc) {
                                             EXPECT_EQ(rc, -1);
                                             EXPECT_EQ(t.s.active, 0);
                                             EXPECT_EQ(t.s.saved, nullptr);
                                             EXPECT_EQ(t.s.query, nullptr);
                                             EXPECT_EQ(t.s.display, nullptr);
                                         });
    EXPECT_EQ(allocs, 4); // saved line, query, line block, display text
    t.expect(std::string(300, 'h'), found + "': ");
}

TEST(HistorySearchMemory, UpdatesFailWithTheQueryUnchanged) {
    Search t;
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    ASSERT_EQ(t.type(std::string(31, 'm')), 0); // the block of 32 is full
    long allocs = for_each_alloc_failure([&] { return kv_search_extend(t.ed, &t.s, "m", 1); },
                                         [&](long n, long rc) {
                                             EXPECT_EQ(rc, -1);
                                             // The growth failed: nothing changed.  The display
                                             // failed: the query has the byte, the old display
                                             // stays until the next step.
                                             EXPECT_EQ(t.s.query_len, n == 1 ? 31u : 32u);
                                             if (n == 1)
                                                 EXPECT_EQ(t.display(),
                                                           failed + std::string(31, 'm') + "': ");
                                             if (n == 2) kv_search_erase(t.ed, &t.s);
                                         });
    EXPECT_EQ(allocs, 2);
    EXPECT_EQ(t.display(), failed + std::string(32, 'm') + "': ");

    for (auto op : {kv_search_erase, kv_search_clear_query, kv_search_next}) {
        allocs = for_each_alloc_failure([&] { return op(t.ed, &t.s); },
                                        [&](long, long rc) {
                                            EXPECT_EQ(rc, -1);
                                            EXPECT_NE(t.s.display, nullptr);
                                        });
        EXPECT_EQ(allocs, 1); // the display text
    }
}

TEST(HistorySearchMemory, CancelThatCannotRestoreTheLineFails) {
    Search t;
    std::string longer(400, 's');
    kv_set_buffer(t.ed, longer.c_str());
    ASSERT_EQ(kv_search_start(t.ed, &t.s), 0);
    t.st()->line.text = static_cast<char *>(kv_realloc(t.st()->line.text, 16)); // shrink the block
    t.st()->line.cap = 16;
    {
        AllocFailer f(1);
        EXPECT_EQ(kv_search_cancel(t.ed, &t.s), -1);
    }
    EXPECT_EQ(t.line(), "make test");
    EXPECT_EQ(t.s.active, 0); // released either way
    EXPECT_EQ(t.s.saved, nullptr);
}

} // namespace
