// The C++ interface (kavrik.hpp): who owns the callables, how results carry
// codes and messages, and the trampolines that a real readline call on a
// pseudo-terminal goes through (actions, requests, a throwing callable, a
// key rebound from inside its own callable).
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cpp_call.h"
#include "fault.h"
#include "kavrik.hpp"
#include "new_fault.h"

namespace {

// A callable that counts its live copies, so a test can see when the editor
// has released every copy it took.
struct Counted {
    std::shared_ptr<int> live;
    explicit Counted(std::shared_ptr<int> n) : live(std::move(n)) { ++*live; }
    Counted(const Counted &o) : live(o.live) { ++*live; }
    Counted(Counted &&o) noexcept : live(o.live) { ++*live; }
    ~Counted() { --*live; }
    kavrik::action operator()(kavrik::editor &, int) const { return kavrik::action::handled; }
    void operator()(kavrik::editor &) const {}
};

TEST(CppEditor, TheEditorReleasesEveryCallableItTook) {
    struct Row {
        const char *what;
        std::function<void(kavrik::editor &, const Counted &)> step;
        int live_after_step; // copies held by the editor after the step
    };
    const Row rows[] = {
        {"bind holds one copy", [](kavrik::editor &e, const Counted &c) { e.bind('a', c); }, 1},
        {"rebinding releases the first",
         [](kavrik::editor &e, const Counted &c) {
             e.bind('a', c);
             e.bind('a', c);
         },
         1},
        {"unbinding releases it",
         [](kavrik::editor &e, const Counted &c) {
             e.bind('a', c);
             e.unbind('a');
         },
         0},
        {"binding null releases it",
         [](kavrik::editor &e, const Counted &c) {
             e.bind('a', c);
             e.bind('a', nullptr);
         },
         0},
        {"two keys hold two",
         [](kavrik::editor &e, const Counted &c) {
             e.bind('a', c);
             e.bind(kavrik::key::f1, c);
         },
         2},
        {"a refused key 0 keeps nothing", [](kavrik::editor &e, const Counted &c) { e.bind(0, c); },
         0},
        {"the idle callable is held", [](kavrik::editor &e, const Counted &c) { e.on_idle(c); }, 1},
        {"replacing the idle callable releases the old",
         [](kavrik::editor &e, const Counted &c) {
             e.on_idle(c);
             e.on_idle(c);
         },
         1},
        {"switching idle off releases it",
         [](kavrik::editor &e, const Counted &c) {
             e.on_idle(c);
             e.on_idle(nullptr);
         },
         0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        auto live = std::make_shared<int>(0);
        {
            kavrik::editor ed;
            ASSERT_TRUE(ed);
            {
                Counted c(live);
                row.step(ed, c);
            }
            EXPECT_EQ(*live, row.live_after_step);
        }
        EXPECT_EQ(*live, 0) << "the destroyed editor still holds a callable";
    }
}

TEST(CppEditor, MovingTheEditorMovesItsCallablesAndLeavesAnEmptyOne) {
    auto live = std::make_shared<int>(0);
    kavrik::editor a;
    a.bind('x', Counted(live));
    kavrik::editor b(std::move(a));
    EXPECT_EQ(*live, 1);
    EXPECT_FALSE(a); // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(a.insert("x").value, kavrik::code::invalid);
    EXPECT_EQ(a.bind('y', Counted(live)).value, kavrik::code::invalid);
    EXPECT_EQ(*live, 1);

    kavrik::editor c;
    auto other = std::make_shared<int>(0);
    c.on_idle(Counted(other));
    c = std::move(b); // c's own callables go with its old editor
    EXPECT_EQ(*other, 0);
    EXPECT_EQ(*live, 1);
    EXPECT_TRUE(c.set_buffer("kept"));
    EXPECT_EQ(c.buffer(), "kept");
    c = kavrik::editor();
    EXPECT_EQ(*live, 0);
}

TEST(CppEditor, ResultsCarryTheCodeAndTheMessageOfTheirOwnCall) {
    struct Row {
        const char *what;
        std::function<kavrik::result(kavrik::editor &)> call;
        kavrik::code code;
        std::string message;
        std::string buffer_after;
    };
    const char *missing = "/nonexistent-dir/history";
    const Row rows[] = {
        {"insert", [](kavrik::editor &e) { return e.insert("ab"); }, kavrik::code::ok, "", "ab"},
        {"an empty view inserts nothing",
         [](kavrik::editor &e) { return e.insert(std::string_view()); }, kavrik::code::ok, "", ""},
        {"a NUL byte is refused, not cut",
         [](kavrik::editor &e) { return e.insert(std::string_view("a\0b", 3)); },
         kavrik::code::invalid, "text holds a NUL byte", ""},
        {"a long text goes through the heap copy",
         [](kavrik::editor &e) { return e.set_buffer(std::string(300, 'z')); }, kavrik::code::ok,
         "", std::string(300, 'z')},
        {"over the line limit",
         [](kavrik::editor &e) { return e.set_buffer(std::string(600, 'z')); },
         kavrik::code::failed, "line exceeds configured maximum length", ""},
        {"submit outside a call", [](kavrik::editor &e) { return e.submit(); },
         kavrik::code::invalid, "no readline call is running", ""},
        {"cancel outside a call", [](kavrik::editor &e) { return e.cancel(); },
         kavrik::code::invalid, "no readline call is running", ""},
        {"negative bounds", [](kavrik::editor &e) { return e.set_bounds(-1, 0, 0, 0); },
         kavrik::code::invalid, "invalid terminal bounds", ""},
        {"negative width", [](kavrik::editor &e) { return e.set_screen_width(-3); },
         kavrik::code::invalid, "invalid screen width", ""},
        {"negative history limit", [](kavrik::editor &e) { return e.history_set_max_len(-1); },
         kavrik::code::invalid, "invalid history length", ""},
        {"missing history file", [=](kavrik::editor &e) { return e.history_load(missing); },
         kavrik::code::io, "failed to open history file for reading", ""},
        {"unwritable history file", [=](kavrik::editor &e) { return e.history_save(missing); },
         kavrik::code::io, "failed to open history file for writing", ""},
        // These leave no message of their own: the older one must not show.
        {"key 0", [](kavrik::editor &e) { return e.bind(0, [](kavrik::editor &, int) {}); },
         kavrik::code::invalid, "key code 0 cannot be bound", ""},
        {"a throwing producer",
         [](kavrik::editor &e) {
             return e.print_above([]() -> std::string_view { throw std::runtime_error("no"); });
         },
         kavrik::code::failed, "text producer failed", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        kavrik::editor ed(kavrik::config().max_line_len(512));
        ASSERT_TRUE(ed);
        ed.history_add(std::string(600, 'h')); // leaves an older message behind
        kavrik::result r = row.call(ed);
        EXPECT_EQ(r.value, row.code);
        EXPECT_EQ(static_cast<bool>(r), row.code == kavrik::code::ok);
        EXPECT_EQ(r.message, row.message);
        EXPECT_EQ(ed.buffer(), row.buffer_after);
        if (!r) EXPECT_EQ(ed.last_error(), row.message); // always the newest failure
    }
}

TEST(CppEditor, EveryAllocationOfTheWrapperFailsWithItsCodeAndMessage) {
    struct Row {
        const char *what;
        std::function<kavrik::result(kavrik::editor &, const std::shared_ptr<int> &)> op;
        std::string message;
    };
    const std::string long_text(300, 'x'); // too long for the copy on the stack
    const Row rows[] = {
        {"bind",
         [](kavrik::editor &e, const std::shared_ptr<int> &n) { return e.bind('a', Counted(n)); },
         "out of memory while storing a callable"},
        {"on_idle",
         [](kavrik::editor &e, const std::shared_ptr<int> &n) { return e.on_idle(Counted(n)); },
         "out of memory while storing a callable"},
        {"insert",
         [&](kavrik::editor &e, const std::shared_ptr<int> &) { return e.insert(long_text); },
         "out of memory while copying text"},
        {"history_add",
         [&](kavrik::editor &e, const std::shared_ptr<int> &) { return e.history_add(long_text); },
         "out of memory while copying text"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        kavrik::editor ed;
        auto live = std::make_shared<int>(0);
        ASSERT_TRUE(ed.bind('a', Counted(live)));
        ASSERT_TRUE(ed.on_idle(Counted(live)));
        kavrik::result r;
        long allocations = for_each_alloc_failure<NewFailer>(
            [&] {
                r = row.op(ed, live);
                return static_cast<long>(r.value);
            },
            [&](long, long code) {
                EXPECT_EQ(code, -3);
                EXPECT_EQ(r.message, row.message);
                EXPECT_EQ(ed.last_error(), row.message);
                EXPECT_EQ(*live, 2) << "a callable was lost or leaked";
                EXPECT_EQ(ed.buffer(), "");
            });
        EXPECT_GE(allocations, 1);
        EXPECT_TRUE(r) << r.message;
    }
}

TEST(CppEditor, AnEditorWithoutMemoryIsEmptyAndLeaksNothing) {
    auto create = [] { return kavrik::editor() ? 0L : -3L; };
    auto check = [](long, long code) { EXPECT_EQ(code, -3); };
    EXPECT_GE(for_each_alloc_failure<NewFailer>(create, check), 1);   // the wrapper's state
    EXPECT_GE(for_each_alloc_failure<AllocFailer>(create, check), 1); // the editor's own
}

TEST(CppEditor, AnEditorThatCouldNotBeCreatedFailsEveryCall) {
    kavrik::editor ed(kavrik::config().width(-1));
    EXPECT_FALSE(ed);
    EXPECT_EQ(ed.insert("a").value, kavrik::code::invalid);
    EXPECT_EQ(ed.print_above("a").value, kavrik::code::invalid);
    EXPECT_EQ(ed.on_idle([](kavrik::editor &) {}).value, kavrik::code::invalid);
    EXPECT_EQ(ed.readline("> "), std::nullopt);
    EXPECT_EQ(ed.last_status(), kavrik::status::none);
    EXPECT_EQ(ed.buffer(), "");
}

TEST(CppEditor, PrintAbovePullsEveryPieceInOrder) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    {
        kavrik::editor ed(kavrik::config().out_fd(fds[1]));
        std::vector<std::string> pieces{"one ", "two\n", "three"};
        size_t next = 0;
        EXPECT_TRUE(ed.print_above([&]() -> std::string_view {
            return next < pieces.size() ? std::string_view(pieces[next++]) : std::string_view();
        }));
        EXPECT_TRUE(ed.print_above(std::string_view(" and four")));
    }
    close(fds[1]);
    std::string out;
    char buf[256];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    EXPECT_NE(out.find("one two\r\nthree"), std::string::npos) << out;
    EXPECT_NE(out.find(" and four"), std::string::npos) << out;
}

TEST(CppEditor, KeyNamesMatchTheDecodedCodes) {
    struct Row {
        int got, want;
    };
    const Row rows[] = {
        {kavrik::key::ctrl('a'), 1},
        {kavrik::key::ctrl('R'), 18},
        {kavrik::key::alt('x'), 4096 + 'x'},
        {kavrik::key::alt('B'), 4096 + 'B'},
        {kavrik::key::alt('b'), KV_KEY_ALT_B},
        {kavrik::key::alt('f'), KV_KEY_ALT_F},
        {kavrik::key::del, 1006},
        {kavrik::key::ctrl_enter, 1022},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.got, row.want);
}

TEST(CppEditor, KeyCallablesSteerTheRunningCall) {
    struct Row {
        const char *what;
        std::function<kavrik::action(kavrik::editor &, int)> on_tab;
        std::string typed; // after the Tab
        std::optional<std::string> line;
        kavrik::status status;
        std::string error;
    };
    using kavrik::action;
    const Row rows[] = {
        {"handled after an edit",
         [](kavrik::editor &e, int) {
             e.insert("[tab]");
             return action::handled;
         },
         "\r", "ab[tab]", kavrik::status::line, ""},
        {"builtin lets the key insert nothing more (Tab has no command)",
         [](kavrik::editor &, int) { return action::builtin; }, "c\r", "abc", kavrik::status::line,
         ""},
        {"submit", [](kavrik::editor &, int) { return action::submit; }, "", "ab",
         kavrik::status::line, ""},
        {"cancel", [](kavrik::editor &, int) { return action::cancel; }, "", std::nullopt,
         kavrik::status::cancelled, ""},
        {"a request wins over the action",
         [](kavrik::editor &e, int) {
             e.set_buffer("replaced");
             e.submit();
             return action::cancel;
         },
         "", "replaced", kavrik::status::line, ""},
        {"a throwing callable fails the call",
         [](kavrik::editor &, int) -> action { throw std::runtime_error("boom"); }, "",
         std::nullopt, kavrik::status::error, "key callback failed"},
        {"the call's failure is newer than the callable's own",
         [](kavrik::editor &e, int) -> action {
             e.insert(std::string_view("\0", 1)); // refused by the wrapper
             throw std::runtime_error("boom");
         },
         "", std::nullopt, kavrik::status::error, "key callback failed"},
        {"a refusal inside a call that goes on stays the newest message",
         [](kavrik::editor &e, int) {
             e.insert(std::string_view("\0", 1));
             return action::submit;
         },
         "", "ab", kavrik::status::line, "text holds a NUL byte"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        CppCall c;
        ASSERT_TRUE(c.ed.bind(kavrik::key::tab, row.on_tab));
        EXPECT_EQ(c.run("ab\t" + row.typed), row.line);
        EXPECT_EQ(c.ed.last_status(), row.status);
        if (!row.error.empty()) EXPECT_EQ(c.ed.last_error(), row.error);
    }
}

TEST(CppEditor, ACallableReceivesTheEditorItWasMovedInto) {
    CppCall c;
    kavrik::editor *seen = nullptr;
    {
        kavrik::editor first(kavrik::config().in_fd(c.pty.slave()).out_fd(c.pty.slave()));
        first.bind('!', [&](kavrik::editor &e, int key) {
            seen = &e;
            e.insert(std::string(1, static_cast<char>(key)) + "!");
        });
        c.ed = std::move(first);
    }
    EXPECT_EQ(c.run("a!\r"), "a!!");
    EXPECT_EQ(seen, &c.ed);
}

TEST(CppEditor, AKeyRebindsItselfFromInsideItsOwnCallable) {
    CppCall c;
    auto live = std::make_shared<int>(0);
    int first_calls = 0;
    c.ed.bind('#', [&, hold = Counted(live)](kavrik::editor &e, int) {
        ++first_calls;
        // The running callable is released here; it must survive until it
        // returns (the sanitizer build sees any use after release).
        e.bind('#', [](kavrik::editor &ed, int) { ed.insert("2"); });
        e.insert(std::to_string(*hold.live));
    });
    ASSERT_TRUE(c.start());
    c.pty.type("#");
    ASSERT_TRUE(c.pty.wait_for("c> 1"));
    c.pty.type("#\r");
    ASSERT_TRUE(c.finish());
    EXPECT_EQ(first_calls, 1);
    EXPECT_EQ(c.line, "12");
    EXPECT_EQ(*live, 0);
}

TEST(CppEditor, IdleCallablesPrintAboveAndEndTheCall) {
    CppCall c;
    int ticks = 0;
    bool threw = false;
    c.ed.on_idle([&](kavrik::editor &e) {
        ++ticks;
        if (!threw) { // the first tick throws: the call goes on
            threw = true;
            throw std::runtime_error("dropped");
        }
        e.print_above("tick from idle\n");
        e.insert("idle");
        e.submit();
    });
    ASSERT_TRUE(c.start());
    ASSERT_TRUE(c.finish());
    EXPECT_GE(ticks, 2);
    EXPECT_EQ(c.line, "idle");
    EXPECT_EQ(c.ed.last_status(), kavrik::status::line);
    EXPECT_TRUE(c.pty.pump_until(
        [&] { return c.pty.screen().dump().find("tick from idle") != std::string::npos; }));
}

TEST(CppEditor, APromptWithANulByteFailsTheCallWithoutReading) {
    CppCall c;
    EXPECT_EQ(c.ed.readline(std::string_view("a\0b", 3)), std::nullopt);
    EXPECT_EQ(c.ed.last_status(), kavrik::status::error);
    EXPECT_EQ(c.ed.last_error(), "text holds a NUL byte");
    // The next call clears the wrapper's own failure.
    EXPECT_EQ(c.run("x\r", "ok> "), "x");
    EXPECT_EQ(c.ed.last_status(), kavrik::status::line);
}

} // namespace
