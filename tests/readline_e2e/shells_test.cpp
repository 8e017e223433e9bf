// The Lua 5.4 interpreter and the SQLite 3.40 shell, built from their own
// sources against the readline layer, driven on a pseudo-terminal and read
// through libvterm.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "program_pty.h"

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path &p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void write_file(const fs::path &p, const std::string &bytes) {
    std::ofstream f(p, std::ios::binary);
    f << bytes;
}

// Skips (or, in CI, fails) when the build step could not make the program,
// with the reason it left behind.
#define REQUIRE_SHELL(name)                                                                        \
    do {                                                                                           \
        fs::path exe = fs::path(KAVRIK_SHELLS_DIR) / (name);                                       \
        if (!fs::exists(exe)) {                                                                    \
            std::string why = read_file(fs::path(KAVRIK_SHELLS_DIR) / "unavailable.txt");          \
            if (why.empty()) why = "the build step readline.shells_build did not make it\n";       \
            if (getenv("CI")) FAIL() << (name) << " is not available: " << why;                    \
            GTEST_SKIP() << (name) << " is not available: " << why;                                \
        }                                                                                          \
    } while (0)

// A shell on its own terminal, with HOME in a temporary directory and its
// history file there; the shells are not ours, so what they leak at exit is
// not reported.
ProgramRun *start(const char *name, const TempHome &home) {
    std::string exe = (fs::path(KAVRIK_SHELLS_DIR) / name).string();
    return new ProgramRun(
        "/usr/bin/env",
        {"SQLITE_HISTORY=" + (home.dir / "history").string(), "ASAN_OPTIONS=detect_leaks=0", exe},
        home);
}

// The row on which the cursor stands.
std::string cursor_row(ProgramRun &p) { return p.screen().row(p.screen().cursor_row()); }

// True when the cursor's row reads text (as typed, trailing blanks included)
// and the cursor stands right after it.
bool at_line(ProgramRun &p, const std::string &text) {
    return p.pump_until([&] {
        std::string trimmed = text.substr(0, text.find_last_not_of(' ') + 1);
        return cursor_row(p) == trimmed && p.screen().cursor_col() == static_cast<int>(text.size());
    });
}

TEST(LuaShell, EvaluatesRecallsAndEndsOnCtrlD) {
    REQUIRE_SHELL("lua");
    TempHome home;
    std::unique_ptr<ProgramRun> lua(start("lua", home));
    ASSERT_TRUE(lua->started());
    ASSERT_TRUE(at_line(*lua, "> "));
    lua->type("x = 6*7\r");
    ASSERT_TRUE(lua->screen_has("> x = 6*7\n>"));
    lua->type("print(x)\r");
    ASSERT_TRUE(lua->screen_has("> print(x)\n42\n>")) << lua->screen().dump();
    // Up recalls the previous line; Enter runs it again.
    lua->type("\x1b[A");
    ASSERT_TRUE(at_line(*lua, "> print(x)")) << lua->screen().dump();
    lua->type("\r");
    ASSERT_TRUE(lua->screen_has("> print(x)\n42\n> print(x)\n42\n>")) << lua->screen().dump();
    ASSERT_TRUE(at_line(*lua, "> "));
    lua->type("\x04");
    EXPECT_EQ(lua->wait_exit(), 0);
}

TEST(LuaShell, ABracketedPasteOf4KiBGoesInWhole) {
    REQUIRE_SHELL("lua");
    TempHome home;
    std::unique_ptr<ProgramRun> lua(start("lua", home));
    ASSERT_TRUE(at_line(*lua, "> "));
    // s = "abc...": 4096 bytes in all, pasted at once, then one Enter.
    std::string body;
    for (size_t i = 0; body.size() < 4096 - 6; ++i)
        body += static_cast<char>('a' + i % 26);
    std::string code = "s = \"" + body + "\"";
    ASSERT_EQ(code.size(), 4096u);
    size_t from = lua->log().size();
    lua->type("\x1b[200~" + code + "\x1b[201~");
    lua->type("\r");
    // The next call has the terminal once it turns bracketed paste on again.
    ASSERT_TRUE(
        lua->pump_until([&] { return lua->log().find("\x1b[?2004h", from) != std::string::npos; }));
    ASSERT_TRUE(at_line(*lua, "> "));
    lua->type("print(#s .. \"|\" .. s:sub(-3))\r");
    std::string tail = body.substr(body.size() - 3);
    ASSERT_TRUE(lua->screen_has(std::to_string(body.size()) + "|" + tail)) << lua->screen().dump();
    ASSERT_TRUE(at_line(*lua, "> "));
    lua->type("\x04");
    EXPECT_EQ(lua->wait_exit(), 0);
}

// Lua sets no completion function: Tab completes file names, a directory
// with a slash and a file inside a quote with the closing quote.
TEST(LuaShell, TabCompletesFileNamesByDefault) {
    REQUIRE_SHELL("lua");
    TempHome home;
    fs::create_directory(home.dir / "sub");
    write_file(home.dir / "sub" / "notes.txt", "");
    std::unique_ptr<ProgramRun> lua(start("lua", home));
    ASSERT_TRUE(at_line(*lua, "> "));
    std::string typed = "x = \"" + home.dir.string() + "/su";
    lua->type(typed + "\t");
    ASSERT_TRUE(at_line(*lua, "> x = \"" + home.dir.string() + "/sub/")) << lua->screen().dump();
    lua->type("no\t");
    ASSERT_TRUE(at_line(*lua, "> x = \"" + home.dir.string() + "/sub/notes.txt\""))
        << lua->screen().dump();
    lua->type("\x15");
    ASSERT_TRUE(at_line(*lua, "> "));
    lua->type("\x04");
    EXPECT_EQ(lua->wait_exit(), 0);
}

TEST(SqliteShell, RunsAQuery) {
    REQUIRE_SHELL("sqlite3");
    TempHome home;
    std::unique_ptr<ProgramRun> sql(start("sqlite3", home));
    ASSERT_TRUE(at_line(*sql, "sqlite> "));
    sql->type("select 6*7, 'x' || 'y';\r");
    ASSERT_TRUE(sql->screen_has("42|xy")) << sql->screen().dump();
    ASSERT_TRUE(at_line(*sql, "sqlite> "));
    sql->type("\x04");
    EXPECT_EQ(sql->wait_exit(), 0);
}

TEST(SqliteShell, TabCompletesKeywordsAndTableNamesThroughItsOwnCompletion) {
    REQUIRE_SHELL("sqlite3");
    TempHome home;
    std::unique_ptr<ProgramRun> sql(start("sqlite3", home));
    ASSERT_TRUE(at_line(*sql, "sqlite> "));
    sql->type("create table orchard(apples);\r");
    ASSERT_TRUE(at_line(*sql, "sqlite> "));
    sql->type("insert into orchard values(7);\r");
    ASSERT_TRUE(at_line(*sql, "sqlite> "));
    // A keyword: its one candidate replaces the word, a space follows.
    sql->type("sel\t");
    ASSERT_TRUE(at_line(*sql, "sqlite> SELECT ")) << sql->screen().dump();
    // A table name.
    sql->type("apples fro\t");
    ASSERT_TRUE(at_line(*sql, "sqlite> SELECT apples FROM ")) << sql->screen().dump();
    sql->type("orc\t");
    ASSERT_TRUE(at_line(*sql, "sqlite> SELECT apples FROM orchard ")) << sql->screen().dump();
    sql->type(";\r");
    ASSERT_TRUE(sql->pump_until([&] {
        return sql->screen().dump().find("\n7\n") != std::string::npos;
    })) << sql->screen().dump();
    ASSERT_TRUE(at_line(*sql, "sqlite> "));
    sql->type("\x04");
    EXPECT_EQ(sql->wait_exit(), 0);
}

TEST(SqliteShell, WritesItsHistoryOnExitAndReadsItOnTheNextStart) {
    REQUIRE_SHELL("sqlite3");
    TempHome home;
    fs::path history = home.dir / "history";
    {
        std::unique_ptr<ProgramRun> sql(start("sqlite3", home));
        ASSERT_TRUE(at_line(*sql, "sqlite> "));
        sql->type("select 1;\r");
        ASSERT_TRUE(at_line(*sql, "sqlite> "));
        sql->type("select 'two';\r");
        ASSERT_TRUE(sql->screen_has("two\n"));
        ASSERT_TRUE(at_line(*sql, "sqlite> "));
        ASSERT_TRUE(at_line(*sql, "sqlite> "));
        sql->type("\x04");
        ASSERT_EQ(sql->wait_exit(), 0);
    }
    EXPECT_EQ(read_file(history), "select 1;\nselect 'two';\n");
    struct stat st {};
    ASSERT_EQ(stat(history.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    std::unique_ptr<ProgramRun> again(start("sqlite3", home));
    ASSERT_TRUE(at_line(*again, "sqlite> "));
    again->type("\x1b[A");
    ASSERT_TRUE(at_line(*again, "sqlite> select 'two';"));
    again->type("\x1b[A");
    ASSERT_TRUE(at_line(*again, "sqlite> select 1;"));
    again->type("\x15\x04");
    EXPECT_EQ(again->wait_exit(), 0);
}

TEST(SqliteShell, AnExistingHistoryWithBackslashesSurvivesASessionByteForByte) {
    REQUIRE_SHELL("sqlite3");
    TempHome home;
    fs::path history = home.dir / "history";
    // Entries that an escaping format would change: a literal \n, doubled
    // backslashes, a trailing backslash, a carriage return, a time stamp.
    const std::string before = "select 'a\\nb';\n"
                               "select 'C:\\\\temp\\\\new';\n"
                               "#1700000000\n"
                               "select 'tail\\';\n"
                               ".print one\\ttwo\r\n";
    write_file(history, before);
    ASSERT_EQ(chmod(history.c_str(), 0640), 0);
    std::unique_ptr<ProgramRun> sql(start("sqlite3", home));
    ASSERT_TRUE(at_line(*sql, "sqlite> "));
    // The entry with the literal backslash-n comes back as typed.
    sql->type("\x1b[A\x1b[A\x1b[A\x1b[A");
    ASSERT_TRUE(at_line(*sql, "sqlite> select 'a\\nb';")) << sql->screen().dump();
    sql->type("\x15select 2;\r");
    ASSERT_TRUE(sql->screen_has("\n2\n"));
    ASSERT_TRUE(at_line(*sql, "sqlite> "));
    ASSERT_TRUE(at_line(*sql, "sqlite> "));
    sql->type("\x04");
    ASSERT_EQ(sql->wait_exit(), 0);
    EXPECT_EQ(read_file(history), before + "select 2;\n");
    struct stat st {};
    ASSERT_EQ(stat(history.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // an existing file keeps its mode
}

} // namespace
