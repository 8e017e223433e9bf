// A program run on its own pseudo-terminal: the test types into the master
// side and reads everything the program writes, as raw bytes and as a
// libvterm screen.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "vt_screen.h"

class ProgramPty {
  public:
    // Starts argv[0] with exactly the environment env ("NAME=value" items).
    ProgramPty(const std::vector<std::string> &argv, const std::vector<std::string> &env,
               int rows = 24, int cols = 80);
    ~ProgramPty();
    ProgramPty(const ProgramPty &) = delete;
    ProgramPty &operator=(const ProgramPty &) = delete;

    bool started() const { return pid_ > 0 && master_ >= 0; }
    // Types bytes; while the terminal takes no more, reads what the program
    // wrote, so that neither side blocks on a full buffer.
    void type(const std::string &bytes);
    // Reads until pred() holds or the deadline passes; returns pred().
    bool pump_until(const std::function<bool()> &pred, int timeout_ms = 5000);
    // Waits until the screen shows text anywhere.
    bool screen_has(const std::string &text, int timeout_ms = 5000);
    // Waits until the raw output after offset `from` contains text.
    bool log_has(const std::string &text, size_t from = 0, int timeout_ms = 5000);
    // Waits for the program to exit: its exit status, or -1 (killed, or still
    // running after the deadline).
    int wait_exit(int timeout_ms = 5000);

    VtScreen &screen() { return screen_; }
    const std::string &log() const { return log_; }

  private:
    // Reads what is there within timeout_ms: 1 bytes came, 0 none, -1 closed.
    int read_some(int timeout_ms);

    pid_t pid_ = -1;
    int master_ = -1;
    bool exited_ = false;
    std::string log_;
    VtScreen screen_;
};
