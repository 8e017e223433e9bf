// The same terminal sessions read by either of two real emulators: libvterm
// (linked in, answers at once) or xterm.js (headless, under node: a batch
// replays all its sessions in one node process when run() is called, and a
// LiveXterm keeps one running for tests that wait on the screen).  A session
// is output bytes and window resizes; a snap remembers the screen.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vt_screen.h"

enum class Emulator { libvterm, xterm_js };

// For test names: "libvterm", "xtermjs".
std::string emulator_name(Emulator e);
inline void PrintTo(Emulator e, std::ostream *os) { *os << emulator_name(e); }
inline std::string emulator_param_name(const ::testing::TestParamInfo<Emulator> &info) {
    return emulator_name(info.param);
}

// Why the emulator cannot run here, or "" when it can (xterm.js needs node
// and the packages tools/install-deps.sh installs).
std::string emulator_missing(Emulator e);

// In a test body: skips with the reason when the emulator is missing, or
// fails when the CI variable is set (a CI run must not pass without it).
#define REQUIRE_EMULATOR(e)                                                                        \
    do {                                                                                           \
        const std::string missing_ = emulator_missing(e);                                          \
        if (!missing_.empty()) {                                                                   \
            if (std::getenv("CI")) FAIL() << missing_;                                             \
            GTEST_SKIP() << missing_;                                                              \
        }                                                                                          \
    } while (0)

// What a terminal showed at one moment.
struct Snapshot {
    std::vector<std::string> rows; // UTF-8, trailing blanks removed
    int cursor_row = 0, cursor_col = 0;
    std::string row(int r) const;
    std::string dump() const; // the rows joined with '\n'
};

// What a libvterm screen shows now.
Snapshot snapshot_of(const VtScreen &screen);

// A batch: sessions recorded now, replayed by run().  Used where a test
// compares many screens after the fact.
class ScreenBatch {
  public:
    explicit ScreenBatch(Emulator e);
    ~ScreenBatch();
    ScreenBatch(const ScreenBatch &) = delete;
    ScreenBatch &operator=(const ScreenBatch &) = delete;
    Emulator emulator() const { return emulator_; }

    // A new terminal; returns its id.
    int open(int rows, int cols);
    void feed(int term, std::string_view bytes);
    void resize(int term, int rows, int cols);
    // Remembers the screen now; the index of its snapshot.
    size_t snap(int term);
    void close(int term);

    // Starts replaying what is recorded (nothing more may be recorded), so
    // that the test can go on with other work meanwhile.
    void start();
    // Replays what is not yet replayed (or waits for start()'s replay); ""
    // on success, else what went wrong.
    std::string run();
    // A snapshot taken by snap() (after run()).
    const Snapshot &at(size_t index) const { return snaps_.at(index); }

  private:
    Emulator emulator_;
    int next_id_ = 0;
    std::map<int, std::unique_ptr<VtScreen>> screens_; // libvterm
    std::string commands_;                             // xterm.js
    size_t pending_ = 0;                               // snaps not yet replayed
    std::vector<Snapshot> snaps_;
    struct Replay;
    std::unique_ptr<Replay> replay_;
};

// xterm.js kept running under node, answering each snap at once: for tests
// that wait until the terminal shows something.  One node process serves
// every terminal opened here.
class LiveXterm {
  public:
    LiveXterm();
    ~LiveXterm();
    LiveXterm(const LiveXterm &) = delete;
    LiveXterm &operator=(const LiveXterm &) = delete;

    // Why node could not be started or stopped answering ("" while it runs).
    const std::string &error() const { return error_; }
    int open(int rows, int cols);
    void feed(int term, std::string_view bytes);
    void resize(int term, int rows, int cols);
    // The screen now (no rows when node failed; see error()).
    Snapshot snap(int term);
    void close(int term);

  private:
    void send(const std::string &command);
    int pid_ = -1, in_ = -1, out_ = -1;
    int next_id_ = 0;
    std::string error_, pending_;
};
