// A pseudo-terminal for end-to-end tests: the editor reads and writes the
// slave side while the test types into the master and reads what the editor
// wrote, both as raw bytes and as a libvterm screen.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "kavrik.h"
#include "vt_screen.h"

class Pty {
  public:
    explicit Pty(int rows = 24, int cols = 80);
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    int slave() const { return slave_; }
    int master() const { return master_; }
    void resize(int rows, int cols);
    // Closes the master side, as a terminal window that is closed does.
    void hang_up();

    // Types bytes into the terminal (they arrive on the slave side).
    void type(std::string_view bytes);
    // Reads what is available from the master into the log and the screen;
    // waits at most timeout_ms for the first byte.  True when bytes came.
    bool pump(int timeout_ms = 20);
    // Pumps until pred() holds or the deadline passes; returns pred().
    bool pump_until(const std::function<bool()> &pred, int timeout_ms = 3000);
    // Pumps until the raw log contains text (after the given offset).
    bool wait_for(std::string_view text, int timeout_ms = 3000, size_t from = 0);

    const std::string &log() const { return log_; }
    size_t log_size() const { return log_.size(); }
    VtScreen &screen() { return screen_; }

  private:
    int master_ = -1, slave_ = -1;
    std::string log_;
    VtScreen screen_;
};

// Runs kv_readline on its own thread against an editor that uses the pty.
// A call still running when this goes away (a case that failed half way) is
// ended by hanging up the pty, so that the case fails at once instead of
// waiting for the suite's time limit.
class ReadlineThread {
  public:
    ReadlineThread(kv_editor *ed, const char *prompt, Pty *pty = nullptr);
    ~ReadlineThread();
    ReadlineThread(const ReadlineThread &) = delete;
    ReadlineThread &operator=(const ReadlineThread &) = delete;

    // Waits for the call to return (at most timeout_ms); true when it did.
    bool join(int timeout_ms = 5000);
    bool done() const { return done_; }
    // The returned line ("" for a null result; see is_null()).
    const std::string &line() const { return line_; }
    bool is_null() const { return null_; }

  private:
    std::thread thread_;
    Pty *pty_;
    std::string line_;
    bool null_ = true;
    std::atomic<bool> done_{false};
};

// An editor configured to read and write the pty's slave side.
kv_editor *make_pty_editor(const Pty &pty, kv_config *overrides = nullptr);
