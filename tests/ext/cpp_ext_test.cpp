// The companion's C++ wrapper (kavrik_ext.hpp): the two completer forms, a
// throwing completer, who owns the completer and the attachment, keys bound
// by the application after attaching, and the kill ring read through it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cpp_call.h"
#include "fault.h"
#include "kavrik_ext.hpp"
#include "new_fault.h"

namespace {

using kavrik::ext::completions;

TEST(CppExt, CompletersOfBothFormsFillTheLine) {
    struct Row {
        const char *what;
        std::function<kavrik::result(kavrik::editor &)> attach;
        std::string typed;
        std::optional<std::string> line;
    };
    auto words = [](std::string_view, std::size_t) { return std::vector<std::string>{"checkout"}; };
    const Row rows[] = {
        {"a word list replaces the word before the cursor",
         [&](kavrik::editor &e) { return kavrik::ext::attach(e, words); }, "git ch\t\r",
         "git checkout "},
        {"the word ends at the cursor, not at the end of the line",
         [&](kavrik::editor &e) { return kavrik::ext::attach(e, words); }, "ch x\x1b[D\x1b[D\t\r",
         "checkout  x"},
        {"without a space the whole line is the word",
         [&](kavrik::editor &e) { return kavrik::ext::attach(e, words); }, "c\t\r", "checkout "},
        {"a callable adds ranges of its own",
         [](kavrik::editor &e) {
             return kavrik::ext::attach(e,
                                        [](std::string_view line, std::size_t, completions &out) {
                                            out.add("[" + std::string(line) + "]", 0, line.size());
                                        });
         },
         "ab\t\r", "[ab] "},
        {"append_space off",
         [&](kavrik::editor &e) {
             kavrik::ext::options o;
             o.append_space = false;
             return kavrik::ext::attach(e, words, o);
         },
         "c\t\r", "checkout"},
        {"a throwing completer leaves the line as it was",
         [](kavrik::editor &e) {
             return kavrik::ext::attach(
                 e, [](std::string_view, std::size_t) -> std::vector<std::string> {
                     throw std::runtime_error("no words");
                 });
         },
         "ch\t\r", "ch"},
        {"two candidates insert their common prefix",
         [](kavrik::editor &e) {
             return kavrik::ext::attach(e, [](std::string_view, std::size_t) {
                 return std::vector<std::string>{"history", "hint"};
             });
         },
         "h\t\r", "hi"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        CppCall c;
        kavrik::result r = row.attach(c.ed);
        ASSERT_TRUE(r) << r.message;
        EXPECT_TRUE(kavrik::ext::attached(c.ed));
        EXPECT_EQ(c.run(row.typed), row.line);
    }
}

// A completer that counts its live copies.
struct CountedCompleter {
    std::shared_ptr<int> live;
    explicit CountedCompleter(std::shared_ptr<int> n) : live(std::move(n)) { ++*live; }
    CountedCompleter(const CountedCompleter &o) : live(o.live) { ++*live; }
    ~CountedCompleter() { --*live; }
    std::vector<std::string> operator()(std::string_view, std::size_t) const { return {}; }
};

TEST(CppExt, TheEditorOwnsTheAttachmentAndItsCompleter) {
    auto live = std::make_shared<int>(0);
    {
        kavrik::editor ed;
        ASSERT_TRUE(kavrik::ext::attach(ed, CountedCompleter(live)));
        EXPECT_EQ(*live, 1);
        ASSERT_TRUE(kavrik::ext::attach(ed, CountedCompleter(live))); // replaces the first
        EXPECT_EQ(*live, 1);
        kavrik::ext::detach(ed);
        EXPECT_EQ(*live, 0);
        EXPECT_FALSE(kavrik::ext::attached(ed));
        EXPECT_EQ(kavrik::ext::kill_ring_count(ed), 0u);
        ASSERT_TRUE(kavrik::ext::attach(ed, CountedCompleter(live)));
        kavrik::editor moved(std::move(ed)); // the attachment goes along
        EXPECT_TRUE(kavrik::ext::attached(moved));
        EXPECT_EQ(*live, 1);
    }
    EXPECT_EQ(*live, 0) << "destroying the editor leaves the completer behind";
}

TEST(CppExt, AnAttachWithoutMemoryKeepsNothing) {
    kavrik::editor ed;
    auto live = std::make_shared<int>(0);
    kavrik::result r;
    long allocations = for_each_alloc_failure<NewFailer>(
        [&] {
            r = kavrik::ext::attach(ed, CountedCompleter(live));
            return static_cast<long>(r.value);
        },
        [&](long n, long code) {
            EXPECT_EQ(code, -3);
            EXPECT_EQ(r.message, n == 1 ? "out of memory while storing a callable"
                                        : "out of memory while attaching the companion");
            EXPECT_FALSE(kavrik::ext::attached(ed));
            EXPECT_EQ(*live, 0) << "the completer outlives a failed attach";
        });
    EXPECT_EQ(allocations, 2);
    EXPECT_TRUE(r) << r.message;
    EXPECT_EQ(*live, 1);
}

TEST(CppExt, AttachRefusalsCarryTheCompanionsMessage) {
    struct Row {
        const char *what;
        kavrik::ext::options opts;
        kavrik::code code;
    };
    kavrik::ext::options completion_only;
    completion_only.features = kavrik::ext::feature::completion;
    kavrik::ext::options huge_ring;
    huge_ring.kill_ring_size = 5000;
    const Row rows[] = {
        {"the defaults without a completer", {}, kavrik::code::ok},
        {"completion without a completer", completion_only, kavrik::code::invalid},
        {"a ring out of range", huge_ring, kavrik::code::invalid},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        kavrik::editor ed;
        kavrik::result r = kavrik::ext::attach(ed, row.opts);
        EXPECT_EQ(r.value, row.code);
        EXPECT_EQ(r.message, row.code == kavrik::code::ok
                                 ? ""
                                 : kvx_error_message(static_cast<int>(row.code)));
        EXPECT_EQ(kavrik::ext::attached(ed), row.code == kavrik::code::ok);
    }
    kavrik::editor none(kavrik::config().width(-1));
    EXPECT_EQ(kavrik::ext::attach(none).value, kavrik::code::invalid);
}

TEST(CppExt, TheKillRingIsReadThroughTheEditor) {
    CppCall c;
    ASSERT_TRUE(kavrik::ext::attach(c.ed));
    EXPECT_EQ(c.run("one\x15\r"), "");           // Ctrl-U records what it removes
    EXPECT_EQ(c.run("two three\x17\r"), "two "); // Ctrl-W
    ASSERT_EQ(kavrik::ext::kill_ring_count(c.ed), 2u);
    EXPECT_EQ(kavrik::ext::kill_ring_entry(c.ed, 0), "three");
    EXPECT_EQ(kavrik::ext::kill_ring_entry(c.ed, 1), "one");
    EXPECT_EQ(kavrik::ext::kill_ring_entry(c.ed, 2), "");
    EXPECT_EQ(c.run("\x19\r"), "three"); // Ctrl-Y yanks the newest
    EXPECT_TRUE(kavrik::ext::last_result(c.ed));
}

TEST(CppExt, AKeyBoundAfterAttachingStaysTheApplicationsOnDetach) {
    CppCall c;
    ASSERT_TRUE(kavrik::ext::attach(c.ed));
    ASSERT_TRUE(
        c.ed.bind(kavrik::key::ctrl('y'), [](kavrik::editor &e, int) { e.insert("<app>"); }));
    EXPECT_EQ(c.run("a\x19\r"), "a<app>");
    kavrik::ext::detach(c.ed);
    EXPECT_EQ(c.run("b\x19\r"), "b<app>");
    // A key the companion took and the application did not is gone with it.
    EXPECT_EQ(c.run("c\x1b"
                    "u\r"),
              "c");
}

// The companion takes the idle slot; the editor's idle callable, set before
// or after attaching, still runs on every tick, and again after detaching.
TEST(CppExt, TheIdleCallableRunsThroughTheCompanion) {
    for (bool before : {true, false}) {
        CppCall c;
        int ticks = 0; // counted on the call's thread, read after it ended
        auto count = [&](kavrik::editor &) { ++ticks; };
        if (before) ASSERT_TRUE(c.ed.on_idle(count));
        ASSERT_TRUE(kavrik::ext::attach(c.ed));
        if (!before) ASSERT_TRUE(c.ed.on_idle(count));
        // The editor reads a NUL byte as an idle tick; Ctrl-_ undoes what followed it.
        EXPECT_EQ(c.run(std::string("ab\0c\x1f\r", 6)), "ab") << before;
        int seen = ticks;
        EXPECT_GE(seen, 1) << before;
        kavrik::ext::detach(c.ed);
        EXPECT_EQ(c.run(std::string("x\0\r", 3)), "x");
        EXPECT_GT(ticks, seen) << "detaching lost the idle callable";
    }
}

} // namespace
