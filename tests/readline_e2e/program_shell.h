// Shared steps of the tests that drive a real program built against the
// readline layer: skipping (or failing in CI) when its build step could not
// make it, and waiting for the cursor's row to read a given text.
#pragma once

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "program_pty.h"

inline std::string slurp(const std::filesystem::path &p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Skips (or, in CI, fails) with the reason the build step left in
// DIR/NAME.unavailable when DIR/NAME is missing.
#define REQUIRE_PROGRAM(dir, name)                                                                 \
    do {                                                                                           \
        if (!std::filesystem::exists(std::filesystem::path(dir) / (name))) {                       \
            std::string why =                                                                      \
                slurp(std::filesystem::path(dir) / (std::string(name) + ".unavailable"));          \
            if (why.empty()) why = std::string("its build step did not make it\n");                \
            if (getenv("CI")) FAIL() << (name) << " is not available: " << why;                    \
            GTEST_SKIP() << (name) << " is not available: " << why;                                \
        }                                                                                          \
    } while (0)

inline std::string cursor_row(ProgramRun &p) { return p.screen().row(p.screen().cursor_row()); }

// True when the cursor's row reads text (as typed, trailing blanks included)
// and the cursor stands right after it.
inline bool at_line(ProgramRun &p, const std::string &text) {
    return p.pump_until([&] {
        std::string trimmed = text.substr(0, text.find_last_not_of(' ') + 1);
        return cursor_row(p) == trimmed && p.screen().cursor_col() == static_cast<int>(text.size());
    });
}

// How often text occurs in what the program wrote.
inline size_t count_in_log(ProgramRun &p, const std::string &text) {
    size_t n = 0;
    for (size_t at = p.log().find(text); at != std::string::npos; at = p.log().find(text, at + 1))
        ++n;
    return n;
}
