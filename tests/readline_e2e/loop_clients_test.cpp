// Python's interactive interpreter (Debian's python3 with CPython's readline
// module built against the layer) and fdisk, both event-loop clients of the
// readline interface, driven on a pseudo-terminal and read through libvterm.
#include <stdlib.h>
#include <unistd.h>

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
const fs::path kClients = KAVRIK_LOOP_CLIENTS_DIR;

// Skips (or, in CI, fails) when the build step could not make the client.
#define REQUIRE_CLIENT(path)                                                                       \
    do {                                                                                           \
        if (!fs::exists(path)) {                                                                   \
            std::ifstream f(kClients / "unavailable.txt");                                         \
            std::stringstream why;                                                                 \
            why << f.rdbuf();                                                                      \
            if (getenv("CI")) FAIL() << (path) << " is not available: " << why.str();              \
            GTEST_SKIP() << (path) << " is not available: " << why.str();                          \
        }                                                                                          \
    } while (0)

fs::path python_module_dir() { return kClients / "python"; }

std::unique_ptr<ProgramRun> start_python(const TempHome &home) {
    std::vector<std::string> args{"PYTHONPATH=" + python_module_dir().string(),
                                  "INPUTRC=/dev/null"};
    // What the build adds: the sanitizer runtime, in the sanitizer build.
    std::istringstream extra(KAVRIK_PYTHON_ENV);
    for (std::string word; extra >> word;)
        args.push_back(word);
    args.push_back("/usr/bin/python3");
    args.push_back("-q");
    return std::make_unique<ProgramRun>("/usr/bin/env", args, home);
}

std::string cursor_row(ProgramRun &p) { return p.screen().row(p.screen().cursor_row()); }

// True when the cursor's row reads text and the cursor stands after it.
bool at_line(ProgramRun &p, const std::string &text) {
    return p.pump_until([&] {
        std::string trimmed = text.substr(0, text.find_last_not_of(' ') + 1);
        return cursor_row(p) == trimmed && p.screen().cursor_col() == static_cast<int>(text.size());
    });
}

// Types a line and waits for the next prompt.
bool line(ProgramRun &p, const std::string &keys, const std::string &next_prompt) {
    p.type(keys + "\r");
    return p.pump_until([&] { return p.screen().cursor_row() > 0; }) && at_line(p, next_prompt);
}

TEST(PythonRepl, EditsRecallsCompletesAndSurvivesCtrlC) {
    REQUIRE_CLIENT(python_module_dir());
    TempHome home;
    auto py = start_python(home);
    ASSERT_TRUE(at_line(*py, ">>> ")) << py->screen().dump(); // before any key
    ASSERT_TRUE(line(*py, "6*7", ">>> "));
    ASSERT_TRUE(py->screen_has(">>> 6*7\n42\n>>>")) << py->screen().dump();
    py->type("\x1b[A");
    ASSERT_TRUE(at_line(*py, ">>> 6*7")) << py->screen().dump();
    py->type("\x15imp\t");
    ASSERT_TRUE(at_line(*py, ">>> import ")) << py->screen().dump();
    py->type("\x15");
    ASSERT_TRUE(line(*py, "def f():", "... "));
    ASSERT_TRUE(line(*py, "    return 6*7", "... "));
    ASSERT_TRUE(line(*py, "", ">>> "));
    ASSERT_TRUE(line(*py, "f()", ">>> "));
    ASSERT_TRUE(py->screen_has(">>> f()\n42\n>>>")) << py->screen().dump();
    py->type("abc");
    ASSERT_TRUE(at_line(*py, ">>> abc"));
    ASSERT_TRUE(py->waits_for_input()); // Python learns of Ctrl-C from its select
    py->type("\x03");
    ASSERT_TRUE(py->screen_has("KeyboardInterrupt\n>>>")) << py->screen().dump();
    ASSERT_TRUE(at_line(*py, ">>> "));
    py->type("\x04");
    EXPECT_EQ(py->wait_exit(), 0);
    // readline's history file: one entry per line, oldest first.
    EXPECT_EQ(home.read(".python_history"), "6*7\ndef f():\n    return 6*7\nf()\n");

    // The next run reads it back: Up recalls the last entry.
    auto again = start_python(home);
    ASSERT_TRUE(at_line(*again, ">>> "));
    again->type("\x1b[A");
    EXPECT_TRUE(at_line(*again, ">>> f()")) << again->screen().dump();
    again->type("\x15\x04");
    EXPECT_EQ(again->wait_exit(), 0);
}

// Waits until the log after from shows prompt, which fdisk draws anew for
// every question.
bool asks(ProgramRun &p, const std::string &prompt, size_t from) {
    return p.pump_until([&] { return p.log().find(prompt, from) != std::string::npos; }) &&
           at_line(p, prompt);
}

TEST(Fdisk, MakesAPartitionOnAnImageFile) {
    const fs::path fdisk = kClients / "fdisk";
    REQUIRE_CLIENT(fdisk);
    TempHome home;
    const fs::path image = home.dir / "disk.img";
    std::ofstream{image}.close();
    ASSERT_EQ(truncate(image.c_str(), 20 << 20), 0); // 20 MiB of zeros
    ProgramRun p(fdisk, {image.string()}, home);
    const std::string command = "Command (m for help): ";
    ASSERT_TRUE(asks(p, command, 0)) << p.screen().dump(); // before any key
    const std::pair<const char *, const char *> steps[] = {
        {"o", "Command (m for help): "},
        {"n", "Select (default p): "},
        {"p", "Partition number (1-4, default 1): "},
        {"", "First sector (2048-40959, default 2048): "},
        {"", "Last sector, +/-sectors or +/-size{K,M,G,T,P} (2048-40959, default 40959): "},
        {"", "Command (m for help): "},
    };
    for (auto [keys, next] : steps) {
        size_t from = p.log().size();
        p.type(std::string(keys) + "\r");
        ASSERT_TRUE(asks(p, next, from)) << "after " << keys << "\n" << p.screen().dump();
    }
    p.type("w\r");
    ASSERT_EQ(p.wait_exit(), 0) << p.screen().dump();

    ProgramRun list(fdisk, {"-l", image.string()}, home);
    ASSERT_EQ(list.wait_exit(), 0);
    EXPECT_TRUE(list.screen_has("disk.img1") && list.screen_has("Linux")) << list.screen().dump();
}

} // namespace
