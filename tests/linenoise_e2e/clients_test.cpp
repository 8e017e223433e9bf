// The SQLite 3.40 shell and redis-cli 7.0, built from their own sources
// against the linenoise layer, driven on a pseudo-terminal and read through
// libvterm.  redis-cli runs with no server: it talks to port 1, where
// nothing listens.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "program_pty.h"

namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path &p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Skips (or, in CI, fails) when the build step could not make the program,
// with the reason it left behind.
#define REQUIRE_CLIENT(name)                                                                       \
    do {                                                                                           \
        fs::path dir(KAVRIK_LINENOISE_CLIENTS_DIR);                                                \
        if (!fs::exists(dir / (name))) {                                                           \
            std::string why = read_text(dir / "unavailable.txt");                                  \
            if (why.empty()) why = "the build step linenoise.clients_build did not make it\n";     \
            if (getenv("CI")) FAIL() << (name) << " is not available: " << why;                    \
            GTEST_SKIP() << (name) << " is not available: " << why;                                \
        }                                                                                          \
    } while (0)

ProgramRun *start(const TempHome &home, const std::string &name, std::vector<std::string> args) {
    std::string exe = (fs::path(KAVRIK_LINENOISE_CLIENTS_DIR) / name).string();
    std::vector<std::string> env = {"SQLITE_HISTORY=" + (home.dir / "history").string(),
                                    "REDISCLI_HISTFILE=" + (home.dir / "history").string(),
                                    "ASAN_OPTIONS=detect_leaks=0", exe};
    env.insert(env.end(), args.begin(), args.end());
    return new ProgramRun("/usr/bin/env", env, home);
}

// True once the cursor stands right after typed on a row that reads typed
// (trailing blanks aside), or, when a hint is expected, that begins with
// shown.
bool at_line(ProgramRun &p, const std::string &typed, const std::string &shown = "") {
    const std::string line = typed.substr(0, typed.find_last_not_of(' ') + 1);
    return p.pump_until([&] {
        const std::string row = p.screen().row(p.screen().cursor_row());
        return (shown.empty() ? row == line : row.rfind(shown, 0) == 0) &&
               p.screen().cursor_col() == static_cast<int>(typed.size());
    });
}

TEST(LinenoiseSqlite, RunsAQueryRecallsItAndEndsOnCtrlD) {
    REQUIRE_CLIENT("sqlite3");
    TempHome home;
    std::unique_ptr<ProgramRun> sql(start(home, "sqlite3", {}));
    ASSERT_TRUE(at_line(*sql, "sqlite> ")) << sql->screen().dump();
    sql->type("select 6*7, 'x' || 'y';\r");
    ASSERT_TRUE(sql->screen_has("42|xy")) << sql->screen().dump();
    ASSERT_TRUE(at_line(*sql, "sqlite> "));
    sql->type("\x1b[A");
    ASSERT_TRUE(at_line(*sql, "sqlite> select 6*7, 'x' || 'y';")) << sql->screen().dump();
    sql->type("\x15\x04");
    EXPECT_EQ(sql->wait_exit(), 0);
    EXPECT_EQ(home.read("history"), "select 6*7, 'x' || 'y';\n");
}

const std::string kNotConnected = "not connected> ";

TEST(LinenoiseRedisCli, HelpCompletionRecallHintAndHistoryWithoutAServer) {
    REQUIRE_CLIENT("redis-cli");
    TempHome home;
    std::unique_ptr<ProgramRun> cli(start(home, "redis-cli", {"-p", "1"}));
    ASSERT_TRUE(at_line(*cli, kNotConnected)) << cli->screen().dump();

    cli->type("help set\r");
    ASSERT_TRUE(cli->screen_has("SET key value")) << cli->screen().dump();
    ASSERT_TRUE(at_line(*cli, kNotConnected)) << cli->screen().dump();

    // One candidate: Tab puts it in (and its arguments are hinted).  Several:
    // the second Tab lists them.
    cli->type("SETN\t");
    ASSERT_TRUE(at_line(*cli, kNotConnected + "SETNX", kNotConnected + "SETNX key value"))
        << cli->screen().dump();
    // Submitted, the line is left on the screen without its hint.
    cli->type("\r");
    ASSERT_TRUE(cli->screen_has(kNotConnected + "SETNX\n")) << cli->screen().dump();
    ASSERT_TRUE(at_line(*cli, kNotConnected)) << cli->screen().dump();
    cli->type("SE\t\t");
    ASSERT_TRUE(cli->screen_has("SETRANGE")) << cli->screen().dump();
    ASSERT_TRUE(at_line(*cli, kNotConnected + "SE")) << cli->screen().dump();

    // After "SET " the command's arguments are hinted right of the line; the
    // cursor stays at the line's end and the hint is not part of the line.
    cli->type("T ");
    ASSERT_TRUE(at_line(*cli, kNotConnected + "SET ", kNotConnected + "SET key value [NX|XX]"))
        << cli->screen().dump();
    // Changed, the line loses it.
    cli->type("\x15");
    ASSERT_TRUE(at_line(*cli, kNotConnected)) << cli->screen().dump();

    // Up recalls the lines, newest first.
    cli->type("\x1b[A\x1b[A");
    ASSERT_TRUE(at_line(*cli, kNotConnected + "help set")) << cli->screen().dump();
    cli->type("\x15");
    ASSERT_TRUE(at_line(*cli, kNotConnected));
    cli->type("\x04");
    EXPECT_EQ(cli->wait_exit(), 0);
    EXPECT_EQ(home.read("history"), "help set\nSETNX\n");
}

TEST(LinenoiseRedisCli, AskpassNeverShowsThePassword) {
    REQUIRE_CLIENT("redis-cli");
    TempHome home;
    std::unique_ptr<ProgramRun> cli(start(home, "redis-cli", {"-p", "1", "--askpass"}));
    ASSERT_TRUE(cli->screen_has("Please input password:")) << cli->screen().dump();
    cli->type("s3cr\xe6\x97\xa5t");
    // One star per character, the wide one included.
    ASSERT_TRUE(cli->screen_has("Please input password: ******")) << cli->screen().dump();
    cli->type("\r");
    ASSERT_TRUE(at_line(*cli, kNotConnected)) << cli->screen().dump();
    cli->type("\x04");
    EXPECT_EQ(cli->wait_exit(), 0);
    EXPECT_EQ(cli->log().find("s3cr"), std::string::npos);
    EXPECT_EQ(cli->log().find("\xe6\x97\xa5"), std::string::npos);
}

} // namespace
