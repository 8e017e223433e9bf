// The one write capture of the tests: while a WriteCapture lives, every write
// through the library's system-call table is kept as one piece (and fed to a
// libvterm screen), the terminal size query reports what the test sets, and
// chosen writes can be made to fail.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vt_screen.h"

class WriteCapture {
  public:
    explicit WriteCapture(int rows = 24, int cols = 80);
    ~WriteCapture();
    WriteCapture(const WriteCapture &) = delete;
    WriteCapture &operator=(const WriteCapture &) = delete;

    // The size the size query reports (0 reports 0, which means unknown).
    void set_size(int rows, int cols);
    // Makes the size query fail.
    void fail_size() { size_fails_ = true; }
    // The n-th write from now fails with EIO (n >= 1), and every one after it
    // while `sticky`; 0 lets every write succeed.
    void fail_write(long n, bool sticky = true);

    // Everything written since the last clear(), and the same as pieces (one
    // per write call that succeeded).
    std::string text() const;
    const std::vector<std::string> &pieces() const { return pieces_; }
    // Write calls that were made to fail.
    long failed_writes() const { return failed_; }
    void clear() { pieces_.clear(); }
    VtScreen &screen() { return screen_; }

  private:
    static ssize_t write_hook(int fd, const void *buf, size_t n);
    static int winsize_hook(int fd, struct winsize *ws);

    VtScreen screen_;
    std::vector<std::string> pieces_;
    int rows_, cols_;
    bool size_fails_ = false;
    long fail_countdown_ = 0;
    bool sticky_ = true;
    bool failing_ = false;
    long failed_ = 0;
    ssize_t (*saved_write_)(int, const void *, size_t);
    int (*saved_winsize_)(int, struct winsize *);
};
