// Readline behaviours seen through Lua on the layer (Lua sets no completion
// function, so Tab completes file names): quotes, "~" and listings in file
// name completion, a line longer than a mebibyte, and a dumb terminal.
#include <memory>

#include "program_shell.h"

namespace {

namespace fs = std::filesystem;

std::unique_ptr<ProgramRun> start_lua(const TempHome &home, const char *term = "xterm") {
    std::string exe = (fs::path(KAVRIK_SHELLS_DIR) / "lua").string();
    return std::make_unique<ProgramRun>(
        "/usr/bin/env",
        std::vector<std::string>{"ASAN_OPTIONS=detect_leaks=0", std::string("TERM=") + term, exe},
        home);
}

TEST(LuaOnTheLayer, FileNameCompletionClosesQuotesExpandsTildesAndListsLastParts) {
    REQUIRE_PROGRAM(KAVRIK_SHELLS_DIR, "lua");
    TempHome home;
    const std::string h = home.dir.string();
    fs::create_directory(home.dir / "sub");
    for (const char *name : {"p5k.txt", "p6.txt", "sub/inner.txt"})
        std::ofstream(home.dir / name);
    struct Row {
        std::string typed, line; // the line after Tab
    } rows[] = {
        {"io.open(\"" + h + "/p5", "io.open(\"" + h + "/p5k.txt\""}, // the quote is closed
        {"io.open('" + h + "/p5", "io.open('" + h + "/p5k.txt'"},    // either quote
        {"io.open(\"" + h + "/su", "io.open(\"" + h + "/sub/"},      // a directory keeps it open
        {"x = " + h + "/p5", "x = " + h + "/p5k.txt "},              // no quote: the space
        {"io.open(\"~/p5", "io.open(\"~/p5k.txt\""},                 // ~ is the home directory
        {"io.open(\"~/sub/in", "io.open(\"~/sub/inner.txt\""},
        {"dofile(\"~roo", "dofile(\"~root/"}, // ~user names a user's home
    };
    auto lua = start_lua(home);
    ASSERT_TRUE(at_line(*lua, "> "));
    for (const Row &row : rows) {
        lua->type(row.typed + "\t");
        EXPECT_TRUE(at_line(*lua, "> " + row.line)) << row.typed << "\n" << lua->screen().dump();
        lua->type("\x15");
        ASSERT_TRUE(at_line(*lua, "> "));
    }
    // The listing shows the last part of each name, directories with a slash.
    lua->type("io.open(\"" + h + "/\t\t");
    EXPECT_TRUE(lua->screen_has("p5k.txt  p6.txt   sub/\n")) << lua->screen().dump();
    lua->type("\x15\x04");
    EXPECT_EQ(lua->wait_exit(), 0);
}

TEST(LuaOnTheLayer, APasteLongerThanAMebibyteGoesInWhole) {
    REQUIRE_PROGRAM(KAVRIK_SHELLS_DIR, "lua");
    TempHome home;
    auto lua = start_lua(home);
    ASSERT_TRUE(at_line(*lua, "> "));
    std::string body(1057800, 'k');
    body.back() = 'z';
    lua->type("\x1b[200~s = \"" + body + "\"\x1b[201~\r");
    ASSERT_TRUE(lua->pump_until([&] { return at_line(*lua, "> "); }, 60000))
        << lua->screen().dump();
    lua->type("print(#s .. \"|\" .. s:sub(-2))\r");
    ASSERT_TRUE(lua->screen_has("1057800|kz")) << lua->screen().dump();
    lua->type("\x04");
    EXPECT_EQ(lua->wait_exit(), 0);
}

TEST(LuaOnTheLayer, ADumbTerminalGetsNoEscapeSequenceAndEditsInItsOwnLineMode) {
    REQUIRE_PROGRAM(KAVRIK_SHELLS_DIR, "lua");
    TempHome home;
    auto lua = start_lua(home, "dumb");
    ASSERT_TRUE(at_line(*lua, "> ")) << lua->screen().dump();
    // The terminal's own erase: the Backspace never reaches Lua.
    lua->type("print(6*8\x7f"
              "7)\r");
    ASSERT_TRUE(lua->screen_has("\n42\n>")) << lua->screen().dump();
    lua->type("\x04");
    EXPECT_EQ(lua->wait_exit(), 0);
    EXPECT_EQ(lua->log().find('\x1b'), std::string::npos) << lua->log();
}

} // namespace
