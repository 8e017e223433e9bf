// Helpers for the readline-call tests: terminal attributes to compare before
// and after a call, a pipe that feeds the plain path, and a call on a pty
// that waits until the editor has taken over the terminal.
#pragma once

#include <termios.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "kavrik.h"
#include "pty_session.h"

// The attributes of fd (all zero when tcgetattr fails).
struct termios tty_attrs(int fd);
// True when every flag word and control character is the same.
bool same_attrs(const struct termios &a, const struct termios &b);

// A pipe: the test writes into it and the editor reads the other end.
class Pipe {
  public:
    Pipe();
    ~Pipe();
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;
    int read_end() const { return fds_[0]; }
    void write(std::string_view bytes);
    void close_write();

  private:
    int fds_[2] = {-1, -1};
};

// An editor reading the pipe.
kv_editor *make_pipe_editor(const Pipe &pipe, size_t max_line_len = 4096);

// The next plain-path line: the text, or "<null:status>" for a null result.
std::string plain_line(kv_editor *ed);

// Counts idle callbacks; optionally runs a hook inside each one.
struct IdleCounter {
    std::atomic<int> calls{0};
    using Hook = void (*)(kv_editor *, IdleCounter *);
    // Atomic: a test may change it while the call runs on its thread.
    std::atomic<Hook> hook{nullptr};
    void *extra = nullptr;
    void install(kv_editor *ed);
    // The idle callback install sets, with this counter as its user data.
    static void count(kv_editor *ed, void *counter);
    // Pumps the pty until at least n more calls than now have happened.
    bool wait_more(Pty &pty, int n, int timeout_ms = 3000);
};

// Starts kv_readline on a thread and waits until bracketed paste is on
// (raw mode is then on too), so that typed bytes reach the editor raw.
std::unique_ptr<ReadlineThread> start_call(Pty &pty, kv_editor *ed, const char *prompt,
                                           size_t *log_from = nullptr);
