// The history list: adding with its checks, the ring at and below the limit,
// changing the limit, the navigation walk, and out-of-memory at each step.
#include <gtest/gtest.h>

#include <string>

#include "fault.h"
#include "history_editor.h"
#include "text/text.h"

namespace {

Lines numbers(int from, int to) {
    Lines out;
    for (int i = from; i <= to; ++i)
        out.push_back(std::to_string(i));
    return out;
}

TEST(HistoryAdd, OnlyTheNewestEntryIsComparedForRepeats) {
    HistoryEditor e;
    e.add_all({"a", "a", "b", "a"});
    EXPECT_EQ(e.entries(), (Lines{"a", "b", "a"}));
}

TEST(HistoryAdd, EmptyLinesNullsAndAZeroLimitStoreNothing) {
    HistoryEditor e(100, 5);
    EXPECT_EQ(kv_history_add(e.ed, ""), 0);
    EXPECT_EQ(kv_history_add(e.ed, nullptr), -2);
    EXPECT_EQ(kv_history_add(nullptr, "x"), -2);
    EXPECT_EQ(e.error(), "");
    EXPECT_EQ(e.st()->history.count, 0);

    HistoryEditor zero(0, 5);
    EXPECT_EQ(kv_history_add(zero.ed, "abc"), 0);
    EXPECT_EQ(kv_history_add(zero.ed, "far too long"), 0); // the limit comes first
    EXPECT_EQ(zero.st()->history.count, 0);
    EXPECT_EQ(zero.error(), "");
}

TEST(HistoryAdd, LineLengthLimitIsInclusive) {
    HistoryEditor e(100, 5);
    EXPECT_EQ(kv_history_add(e.ed, "abcdef"), -2);
    EXPECT_EQ(e.error(), "history entry exceeds configured maximum length");
    EXPECT_EQ(e.st()->history.count, 0);
    EXPECT_EQ(kv_history_add(e.ed, "abcde"), 0);
    EXPECT_EQ(e.entries(), (Lines{"abcde"}));
}

TEST(HistoryAdd, FullListDropsTheOldest) {
    HistoryEditor e(3);
    e.add_all({"1", "2", "3", "4"});
    EXPECT_EQ(e.entries(), (Lines{"2", "3", "4"}));
    // Many turns of the ring keep the order.
    HistoryEditor r(5);
    r.add_all(numbers(1, 23));
    EXPECT_EQ(r.entries(), numbers(19, 23));
}

TEST(HistoryAdd, RingGrowsByDoublingUpToTheLimitAndKeepsOrder) {
    HistoryEditor e(40);
    e.add_all(numbers(1, 17));
    EXPECT_EQ(e.st()->history.cap, 32);
    e.add_all(numbers(18, 45));
    EXPECT_EQ(e.st()->history.cap, 40);
    EXPECT_EQ(e.entries(), numbers(6, 45));
}

TEST(HistoryAdd, GrowingAWrappedRingKeepsOrder) {
    // Wrap a full ring of 16, then raise the limit so that it grows while
    // its oldest entry is not at the front; 20 is below twice the capacity.
    for (int limit : {20, 40, 1000}) {
        HistoryEditor e(16);
        e.add_all(numbers(1, 27));
        ASSERT_NE(e.st()->history.head, 0);
        ASSERT_EQ(kv_history_set_max_len(e.ed, limit), 0);
        e.add_all(numbers(28, 60));
        int first = std::max(1, 60 - limit + 1);
        EXPECT_EQ(e.entries(), numbers(std::max(first, 12), 60)) << limit;
    }
}

TEST(HistoryAdd, HugeLimitCostsNothingUpFront) {
    HistoryEditor e(2147483647);
    ASSERT_NE(e.ed, nullptr);
    e.add_all({"a", "b"});
    EXPECT_EQ(e.entries(), (Lines{"a", "b"}));
    EXPECT_LE(e.st()->history.cap, 16);
    EXPECT_EQ(kv_history_set_max_len(e.ed, 2147483647 - 1), 0);
    EXPECT_EQ(e.entries(), (Lines{"a", "b"}));
}

TEST(HistoryAdd, OutOfMemoryLeavesTheListAsItWas) {
    HistoryEditor e;
    // First add: the ring, then the copy.
    long allocs = for_each_alloc_failure(
        [&] { return kv_history_add(e.ed, "first"); },
        [&](long n, long rc) {
            EXPECT_EQ(rc, -3);
            EXPECT_EQ(e.error(), n == 1 ? "out of memory while allocating history"
                                        : "out of memory while adding history entry");
            EXPECT_EQ(e.st()->history.count, 0);
        });
    EXPECT_EQ(allocs, 2);
    // The 17th add grows the ring, then copies.
    e.add_all(numbers(2, 16));
    Lines before = e.entries();
    allocs = for_each_alloc_failure(
        [&] { return kv_history_add(e.ed, "17"); },
        [&](long n, long rc) {
            EXPECT_EQ(rc, -3);
            EXPECT_EQ(e.error(), n == 1 ? "out of memory while allocating history"
                                        : "out of memory while adding history entry");
            EXPECT_EQ(e.entries(), before);
        });
    EXPECT_EQ(allocs, 2);
    before.push_back("17");
    EXPECT_EQ(e.entries(), before);
}

TEST(HistoryLimit, LoweringKeepsTheNewestAndRaisingLosesNothing) {
    HistoryEditor e;
    e.add_all(numbers(1, 5));
    EXPECT_EQ(kv_history_set_max_len(e.ed, 2), 0);
    EXPECT_EQ(e.entries(), (Lines{"4", "5"}));
    EXPECT_EQ(e.st()->history.max_len, 2);
    EXPECT_EQ(kv_history_set_max_len(e.ed, 10), 0);
    EXPECT_EQ(e.entries(), (Lines{"4", "5"}));
    e.add_all(numbers(6, 13));
    EXPECT_EQ(e.entries(), numbers(4, 13));
    kv_history_add(e.ed, "14");
    EXPECT_EQ(e.entries(), numbers(5, 14));
}

TEST(HistoryLimit, LoweringAWrappedRingKeepsTheNewestInOrder) {
    HistoryEditor e(16);
    e.add_all(numbers(1, 30));
    ASSERT_EQ(kv_history_set_max_len(e.ed, 5), 0);
    EXPECT_EQ(e.entries(), numbers(26, 30));
    EXPECT_EQ(e.st()->history.cap, 5);
    e.add_all({"31"});
    EXPECT_EQ(e.entries(), numbers(27, 31));
}

TEST(HistoryLimit, InvalidAndUnchangedValues) {
    HistoryEditor e;
    e.add_all({"a", "b"});
    EXPECT_EQ(kv_history_set_max_len(e.ed, -1), -2);
    EXPECT_EQ(e.error(), "invalid history length");
    EXPECT_EQ(e.st()->history.max_len, 100);
    EXPECT_EQ(e.entries(), (Lines{"a", "b"}));
    EXPECT_EQ(kv_history_set_max_len(e.ed, 100), 0);
    EXPECT_EQ(e.entries(), (Lines{"a", "b"}));
    EXPECT_EQ(kv_history_set_max_len(nullptr, 3), -2);
}

TEST(HistoryLimit, ZeroReleasesEverythingAndLaterLimitsWorkAgain) {
    HistoryEditor e;
    e.add_all({"a", "b"});
    EXPECT_EQ(kv_history_set_max_len(e.ed, 0), 0);
    EXPECT_EQ(e.st()->history.count, 0);
    EXPECT_EQ(e.st()->history.entries, nullptr);
    EXPECT_EQ(kv_history_add(e.ed, "c"), 0);
    EXPECT_EQ(e.st()->history.count, 0);
    EXPECT_EQ(kv_history_set_max_len(e.ed, 2), 0);
    e.add_all({"c", "d", "e"});
    EXPECT_EQ(e.entries(), (Lines{"d", "e"}));
}

TEST(HistoryLimit, OutOfMemoryWhileShrinkingChangesNothing) {
    HistoryEditor e;
    e.add_all(numbers(1, 40));
    long allocs =
        for_each_alloc_failure([&] { return kv_history_set_max_len(e.ed, 3); },
                               [&](long, long rc) {
                                   EXPECT_EQ(rc, -3);
                                   EXPECT_EQ(e.error(), "out of memory while resizing history");
                                   EXPECT_EQ(e.entries(), numbers(1, 40));
                                   EXPECT_EQ(e.st()->history.max_len, 100);
                               });
    EXPECT_EQ(allocs, 1);
    EXPECT_EQ(e.entries(), numbers(38, 40));
}

struct Walk : HistoryEditor {
    Walk() {
        add_all({"a", "b"});
        kv_set_buffer(ed, "x");
    }
    std::string step(int d) {
        kv_history_nav(ed, d);
        EXPECT_EQ(kv_cursor(ed), st()->line.len);
        return line();
    }
};

TEST(HistoryNav, WalkNeverWrapsAndComesBackToTheTypedLine) {
    Walk w;
    EXPECT_EQ(w.step(-1), "b");
    EXPECT_EQ(w.step(-1), "a");
    EXPECT_EQ(w.step(-1), "a");
    EXPECT_EQ(w.step(+1), "b");
    EXPECT_EQ(w.step(+1), "x");
    EXPECT_EQ(w.step(+1), "x");
    EXPECT_EQ(w.st()->history.walk, 2);
    // Past the newest entry the line is the user's own: Down leaves what was
    // typed there, and a trip into the history and back brings it back.
    kv_set_buffer(w.ed, "edited");
    EXPECT_EQ(w.step(+1), "edited");
    EXPECT_EQ(w.step(-1), "b");
    EXPECT_EQ(w.step(+1), "edited");
    kv_history_reset_walk(w.st()->history);
    EXPECT_EQ(w.st()->history.walk, -1);
    EXPECT_EQ(w.st()->history.saved, nullptr);
}

TEST(HistoryNav, EmptyListDoesNotBeginAWalk) {
    HistoryEditor e;
    kv_set_buffer(e.ed, "typed");
    kv_history_nav(e.ed, -1);
    EXPECT_EQ(e.line(), "typed");
    EXPECT_EQ(e.st()->history.walk, -1);
    EXPECT_EQ(e.st()->history.saved, nullptr);
    kv_history_nav(nullptr, -1);
}

TEST(HistoryNav, StaleIndexAfterTheListShrankStaysInside) {
    Walk w;
    w.add_all({"c", "d", "e"});
    EXPECT_EQ(w.step(-1), "e");
    EXPECT_EQ(w.step(+1), "x"); // index 5, past the newest
    ASSERT_EQ(kv_history_set_max_len(w.ed, 2), 0);
    EXPECT_EQ(w.st()->history.walk, 5);
    EXPECT_EQ(w.step(-1), "e"); // counted from past the (new) newest
    EXPECT_EQ(w.step(-1), "d");
    EXPECT_EQ(w.step(-1), "d");
}

TEST(HistoryNav, TypedLineThatCannotBeCopiedKeepsTheWalkFromStarting) {
    Walk w;
    long allocs = for_each_alloc_failure(
        [&] {
            kv_history_nav(w.ed, -1);
            return 0;
        },
        [&](long, long) {
            EXPECT_EQ(w.line(), "x");
            EXPECT_EQ(w.st()->history.walk, -1);
            EXPECT_EQ(w.st()->history.saved, nullptr);
            EXPECT_EQ(w.error(), "out of memory while saving the typed line");
        });
    EXPECT_EQ(allocs, 1);
    EXPECT_EQ(w.line(), "b");
    EXPECT_EQ(w.step(+1), "x");
}

// Leaving an edited entry keeps a copy of the edit; without memory for it
// the walk stays on the edited line, and the stored entries never change.
TEST(HistoryNav, EditThatCannotBeKeptKeepsTheWalkWhereItIs) {
    Walk w;
    EXPECT_EQ(w.step(-1), "b");
    kv_set_buffer(w.ed, "b edited");
    long allocs = for_each_alloc_failure(
        [&] {
            kv_history_nav(w.ed, -1);
            return 0;
        },
        [&](long, long) {
            EXPECT_EQ(w.line(), "b edited");
            EXPECT_EQ(w.st()->history.walk, 1);
            EXPECT_EQ(w.error(), "out of memory while saving the typed line");
        });
    EXPECT_EQ(allocs, 2); // room for the edits, and the copy
    EXPECT_EQ(w.line(), "a");
    EXPECT_EQ(w.step(+1), "b edited");
    EXPECT_EQ(w.step(+1), "x");
    EXPECT_EQ(w.entries(), (Lines{"a", "b"}));
    kv_history_reset_walk(w.st()->history);
    EXPECT_EQ(w.step(-1), "b");
}

TEST(HistoryNav, FailedReplacementKeepsLineAndIndexTogether) {
    HistoryEditor e;
    std::string longer(600, 'L'); // needs a larger line block than the first
    e.add_all({longer, "b"});
    kv_set_buffer(e.ed, "x");
    kv_history_nav(e.ed, -1);
    ASSERT_EQ(e.line(), "b");
    // Allocation 1 would be a larger line block.
    {
        AllocFailer f(1);
        kv_history_nav(e.ed, -1);
    }
    EXPECT_EQ(e.line(), "b");
    EXPECT_EQ(e.st()->history.walk, 1);
    EXPECT_EQ(e.error(), "out of memory while growing line buffer");
    kv_history_nav(e.ed, +1);
    EXPECT_EQ(e.line(), "x");
    kv_history_nav(e.ed, -2);
    EXPECT_EQ(e.line(), longer);
}

TEST(HistoryFree, ReleasesEntriesAndTheWalk) {
    Walk w;
    w.step(-1);
    kv_history_free(w.st());
    EXPECT_EQ(w.st()->history.entries, nullptr);
    EXPECT_EQ(w.st()->history.count, 0);
    EXPECT_EQ(w.st()->history.saved, nullptr);
    EXPECT_EQ(w.st()->history.walk, -1);
    w.add_all({"again"});
    EXPECT_EQ(w.entries(), (Lines{"again"}));
}

} // namespace

namespace {

// The four history slots hold this room's functions.
TEST(HistorySlots, AreFilled) {
    HistoryEditor e;
    EXPECT_EQ(e.ed->history_add, &kv_history_add_impl);
    EXPECT_EQ(e.ed->history_set_max_len, &kv_history_set_max);
    EXPECT_EQ(e.ed->history_save, &kv_history_save_impl);
    EXPECT_EQ(e.ed->history_load, &kv_history_load_impl);
}

} // namespace
