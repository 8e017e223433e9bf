// psql from PostgreSQL 15, built from its own sources against the readline
// layer, talking to the throw-away server that pg_server.sh started, driven
// on a pseudo-terminal and read through libvterm.
#include <memory>

#include "program_shell.h"

namespace {

namespace fs = std::filesystem;

const char kPrompt[] = "postgres=# ";

// psql on its own terminal, connected through the server's socket, with its
// history file in the temporary home and no pager or start-up file.
std::unique_ptr<ProgramRun> start_psql(const TempHome &home) {
    std::string dir = slurp(KAVRIK_PG_STATE);
    dir = dir.substr(0, dir.find('\n'));
    std::string exe = (fs::path(KAVRIK_PROGRAMS_DIR) / "psql").string();
    return std::make_unique<ProgramRun>(
        "/usr/bin/env",
        std::vector<std::string>{"ASAN_OPTIONS=detect_leaks=0",
                                 "PSQL_HISTORY=" + (home.dir / "psql_history").string(), exe, "-X",
                                 "-P", "pager=off", "-h", dir + "/socket", "-p", "5432", "-U",
                                 "tester", "-d", "postgres"},
        home);
}

#define REQUIRE_SERVER()                                                                           \
    do {                                                                                           \
        REQUIRE_PROGRAM(KAVRIK_PROGRAMS_DIR, "psql");                                              \
        if (!fs::exists(KAVRIK_PG_STATE)) {                                                        \
            std::string why = slurp(std::string(KAVRIK_PG_STATE) + ".unavailable");                \
            if (getenv("CI")) FAIL() << "no server for psql: " << why;                             \
            GTEST_SKIP() << "no server for psql: " << why;                                         \
        }                                                                                          \
    } while (0)

TEST(Psql, QueriesRecallsCompletesInterruptsAndKeepsItsHistory) {
    REQUIRE_SERVER();
    TempHome home;
    auto psql = start_psql(home);
    ASSERT_TRUE(at_line(*psql, kPrompt)) << psql->screen().dump();
    psql->type("select 6*7;\r");
    ASSERT_TRUE(psql->screen_has("       42\n(1 row)")) << psql->screen().dump();
    ASSERT_TRUE(at_line(*psql, kPrompt));
    // Up and Enter run it again.
    psql->type("\x1b[A");
    ASSERT_TRUE(at_line(*psql, std::string(kPrompt) + "select 6*7;")) << psql->screen().dump();
    psql->type("\r");
    ASSERT_TRUE(psql->pump_until([&] { return count_in_log(*psql, "(1 row)") == 2; }))
        << psql->screen().dump();
    ASSERT_TRUE(at_line(*psql, kPrompt));

    // Table names the test made complete with Tab; Tab Tab lists them.
    for (const char *sql : {"create table if not exists kavrik_orchard(apples int);\r",
                            "create table if not exists kavrik_orbit(moons int);\r"}) {
        psql->type(sql);
        ASSERT_TRUE(psql->pump_until(
            [&] { return psql->log().find("CREATE TABLE") != std::string::npos; }));
        ASSERT_TRUE(at_line(*psql, kPrompt)) << psql->screen().dump();
    }
    psql->type("select apples from kavrik_orc\t");
    ASSERT_TRUE(at_line(*psql, std::string(kPrompt) + "select apples from kavrik_orchard "))
        << psql->screen().dump();
    psql->type(";\r");
    ASSERT_TRUE(psql->screen_has("(0 rows)")) << psql->screen().dump();
    ASSERT_TRUE(at_line(*psql, kPrompt));
    psql->type("select * from kavrik_or\t\t");
    ASSERT_TRUE(psql->screen_has("\nkavrik_orbit    kavrik_orchard\n")) << psql->screen().dump();
    ASSERT_TRUE(at_line(*psql, std::string(kPrompt) + "select * from kavrik_or"))
        << psql->screen().dump();
    psql->type("\x15");
    ASSERT_TRUE(at_line(*psql, kPrompt));

    // Ctrl-C on a continuation line drops the query and brings the main
    // prompt back.
    psql->type("select 1 +\r");
    ASSERT_TRUE(at_line(*psql, "postgres-# ")) << psql->screen().dump();
    psql->type("\x03");
    ASSERT_TRUE(at_line(*psql, kPrompt)) << psql->screen().dump();
    psql->type("select 'after' as word;\r");
    ASSERT_TRUE(psql->screen_has(" after\n(1 row)")) << psql->screen().dump();
    ASSERT_TRUE(at_line(*psql, kPrompt));

    psql->type("\x04");
    EXPECT_EQ(psql->wait_exit(), 0);
    std::string history = home.read("psql_history");
    for (const char *line :
         {"select 6*7;\n", "create table if not exists kavrik_orbit(moons int);\n",
          "select apples from kavrik_orchard ;\n", "select 'after' as word;\n"})
        EXPECT_NE(history.find(line), std::string::npos) << line << "in:\n" << history;
}

} // namespace
