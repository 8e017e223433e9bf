// A program written against the readline interface, on a pseudo-terminal
// read through libvterm: completion through the program's own functions,
// a bound key, the event hook, history recall and Ctrl-C.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "program_pty.h"

namespace {

// The program, with leak reports on (it is ours).
std::unique_ptr<ProgramRun> start_prog(const TempHome &home) {
    return std::make_unique<ProgramRun>(
        "/usr/bin/env",
        std::vector<std::string>{"ASAN_OPTIONS=detect_leaks=1", KAVRIK_READLINE_PROG}, home);
}

// Reads until the raw output after offset from contains text.
bool log_has(ProgramRun &p, const std::string &text, size_t from = 0) {
    return p.pump_until([&] { return p.log().find(text, from) != std::string::npos; });
}

std::string cursor_row(ProgramRun &p) { return p.screen().row(p.screen().cursor_row()); }

// True when the cursor's row reads text (as typed, trailing blanks included)
// and the cursor stands right after it.
bool at_line(ProgramRun &p, const std::string &text) {
    return p.pump_until([&] {
        std::string trimmed = text.substr(0, text.find_last_not_of(' ') + 1);
        return cursor_row(p) == trimmed && p.screen().cursor_col() == static_cast<int>(text.size());
    });
}

// Types keys, then Enter; waits for the program's report of the line and
// the next prompt (keys typed before it would meet the terminal's own line
// discipline).
std::string enter(ProgramRun &p, const std::string &keys) {
    size_t from = p.log().size();
    p.type(keys);
    p.type("\r");
    if (!log_has(p, "interrupts=", from)) return "(no report)";
    size_t at = p.log().find("got[", from);
    size_t end = p.log().find(" interrupts=", at);
    if (at == std::string::npos || end == std::string::npos) return "(no report)";
    if (!at_line(p, "> ")) return "(no prompt after the report)";
    return p.log().substr(at, end - at);
}

// Completion rules: one match gets the append character, several give their
// common prefix, the fallback generator answers only when the program's
// function gives nothing and does not forbid it, and the word range passed
// to the function is the word before the cursor.
TEST(ReadlineLayer, TabCompletesThroughTheProgramsFunctions) {
    struct Row {
        const char *keys;
        const char *report; // got[LINE] START END
    } rows[] = {
        {"ba\t", "got[banana ] 0 2"},                // one match, a space follows
        {"a\t", "got[ap] 0 1"},                      // apple, apricot: their common prefix
        {"q\t", "got[quartz] 0 1"},                  // the function cleared the append character
        {"x\t", "got[xylophone ] 0 1"},              // nothing from the function: the fallback
        {"none\t", "got[none] 0 4"},                 // nothing, and the fallback is forbidden
        {"eat ba\t", "got[eat banana ] 4 6"},        // the word after a space
        {"eat ba\x1b[D\t", "got[eat banana a] 4 5"}, // the word ends at the cursor
        {"zzz\t", "got[zzz] 0 3"},                   // no match: the line stays
    };
    TempHome home;
    auto p = start_prog(home);
    ASSERT_TRUE(at_line(*p, "> "));
    for (const Row &row : rows)
        EXPECT_EQ(enter(*p, row.keys), row.report) << "keys " << row.keys;
    p->type("\x04");
    EXPECT_EQ(p->wait_exit(), 0);
}

TEST(ReadlineLayer, ASecondTabListsTheMatches) {
    TempHome home;
    auto p = start_prog(home);
    ASSERT_TRUE(at_line(*p, "> "));
    p->type("ap\t\t");
    ASSERT_TRUE(p->pump_until([&] {
        std::string s = p->screen().dump();
        size_t a = s.find("apple"), b = s.find("apricot"), prompt = s.find("> ap");
        return a != std::string::npos && b != std::string::npos && prompt != std::string::npos &&
               a < prompt;
    })) << p->screen().dump();
    EXPECT_EQ(enter(*p, ""), "got[ap] 0 2");
    p->type("\x04");
    EXPECT_EQ(p->wait_exit(), 0);
}

TEST(ReadlineLayer, ABoundKeyAndTheEventHookEditTheLine) {
    TempHome home;
    auto p = start_prog(home);
    ASSERT_TRUE(at_line(*p, "> "));
    // Ctrl-O wraps the line and puts the cursor after "[": typing goes there.
    EXPECT_EQ(enter(*p, "mid\x0f<"), "got[[<mid]] -1 -1");
    // The hook adds "!" to "hook" while the user waits.
    p->type("hook");
    ASSERT_TRUE(at_line(*p, "> hook!")) << p->screen().dump();
    EXPECT_EQ(enter(*p, ""), "got[hook!] -1 -1");
    p->type("\x04");
    EXPECT_EQ(p->wait_exit(), 0);
}

// Up walks the list the program keeps: what stifle_history and clear_history
// take out of it cannot be recalled.
TEST(ReadlineLayer, UpWalksTheProgramsHistoryList) {
    struct Row {
        std::vector<const char *> lines; // entered in turn
        int ups;                         // Up presses then
        const char *shown;               // the line they show, then the "|" typed
    } rows[] = {
        {{"a", "b", "c"}, 3, "> a|"},
        {{"a", "b", "c", "!stifle 2"}, 3, "> b|"},
        {{"!stifle 2", "a", "b", "c", "d"}, 5, "> c|"},
        {{"a", "b", "!clear"}, 1, "> |"},
        {{"a", "!clear", "x"}, 2, "> x|"},
        {{"!stifle 1", "a", "b", "!unstifle", "c", "d"}, 9, "> b|"},
    };
    for (const Row &row : rows) {
        TempHome home;
        auto p = start_prog(home);
        ASSERT_TRUE(at_line(*p, "> "));
        for (const char *line : row.lines)
            ASSERT_EQ(enter(*p, line), std::string("got[") + line + "] -1 -1");
        for (int i = 0; i < row.ups; ++i)
            p->type("\x1b[A");
        p->type("|"); // shows once every Up has been handled
        EXPECT_TRUE(at_line(*p, row.shown)) << row.lines.back() << ": " << cursor_row(*p);
        p->type("\x15\x04");
        EXPECT_EQ(p->wait_exit(), 0);
    }
}

TEST(ReadlineLayer, UpRecallsAddedLinesAndCtrlCStartsAFreshLine) {
    TempHome home;
    auto p = start_prog(home);
    ASSERT_TRUE(at_line(*p, "> "));
    EXPECT_EQ(enter(*p, "first"), "got[first] -1 -1");
    EXPECT_EQ(enter(*p, "second"), "got[second] -1 -1");
    p->type("\x1b[A\x1b[A");
    ASSERT_TRUE(at_line(*p, "> first"));
    // Ctrl-C: the program's handler runs and readline goes on with a new line.
    size_t from = p->log().size();
    p->type("\x03");
    ASSERT_TRUE(p->pump_until([&] { return p->log().size() > from; }));
    ASSERT_TRUE(at_line(*p, "> "));
    size_t at = p->log().size();
    p->type("third\r");
    ASSERT_TRUE(log_has(*p, "got[third] -1 -1 interrupts=1", at)) << p->log().substr(at);
    ASSERT_TRUE(at_line(*p, "> "));
    p->type("\x04");
    ASSERT_TRUE(log_has(*p, "end of input"));
    EXPECT_EQ(p->wait_exit(), 0);
}

} // namespace
