// An example program run on its own pseudo-terminal, with HOME pointing at a
// temporary directory: the test types into the terminal and reads what the
// program wrote, as raw bytes and as a libvterm screen.
#pragma once

#include <sys/types.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "vt_screen.h"

// A temporary directory that is removed with its contents.
struct TempHome {
    std::filesystem::path dir;
    TempHome();
    ~TempHome();
    TempHome(const TempHome &) = delete;
    TempHome &operator=(const TempHome &) = delete;
    // The contents of a file in it ("" when there is none).
    std::string read(const std::string &name) const;
};

// An example program of this build; an empty path when the build leaves the
// examples out (KAVRIK_EXAMPLES=OFF).
std::filesystem::path example_path(const std::string &name);

// Skips the case, saying why, when the build has no examples, and fails it
// when the example is missing from a build that has them.
#define KAVRIK_NEED_EXAMPLE(path)                                                                  \
    if ((path).empty()) GTEST_SKIP() << "the examples are not built (KAVRIK_EXAMPLES=OFF)";        \
    ASSERT_TRUE(std::filesystem::exists(path)) << (path) << " is not built"

class ProgramRun {
  public:
    // output_fails: the program's standard output is /dev/full, where every
    // write fails.
    ProgramRun(const std::filesystem::path &exe, const std::vector<std::string> &args,
               const TempHome &home, int rows = 24, int cols = 80, bool output_fails = false);
    ~ProgramRun();
    ProgramRun(const ProgramRun &) = delete;
    ProgramRun &operator=(const ProgramRun &) = delete;

    bool started() const { return pid_ > 0 && master_ >= 0; }
    // Types bytes; while the terminal takes no more, reads what the program
    // wrote, so that neither side blocks on a full buffer.
    void type(const std::string &bytes);
    // Reads until pred() holds or the deadline passes; returns pred().
    bool pump_until(const std::function<bool()> &pred, int timeout_ms = 5000);
    // Reads until the screen shows text.
    bool screen_has(const std::string &text);
    // Types a line end and reads until the program's next readline call has
    // the terminal (bracketed paste is on again): keys typed before that
    // would be echoed by the terminal itself.
    bool enter_and_wait_for_next_call();
    // Resizes the terminal as a window resize does (the program gets SIGWINCH).
    void resize(int rows, int cols);
    // Reads what the program has written so far.
    void drain();
    // Waits for the program to exit; its exit status, or -1.
    int wait_exit(int timeout_ms = 5000);
    // Reads until the program blocks in a wait for input (select, poll and
    // their kin), as a program with its own event loop does between keys: a
    // signal sent then reaches it in its wait.
    bool waits_for_input();
    VtScreen &screen() { return screen_; }
    const std::string &log() const { return log_; }
    pid_t pid() const { return pid_; }
    int master() const { return master_; }

  private:
    // Reads what is there within timeout_ms: 1 bytes came, 0 none, -1 closed.
    int read_some(int timeout_ms);

    pid_t pid_ = -1;
    int master_ = -1;
    bool exited_ = false;
    std::string log_;
    VtScreen screen_;
};
