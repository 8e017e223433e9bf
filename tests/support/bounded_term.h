// A captured terminal for rendering tests: while a TermCapture lives, every
// write through the library's system-call table is kept as one piece (and fed
// to a libvterm screen), the terminal size is whatever the test sets, and a
// chosen write can be made to fail.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kavrik.h"
#include "vt_screen.h"

class TermCapture {
public:
    TermCapture(int rows = 24, int cols = 80);
    ~TermCapture();
    TermCapture(const TermCapture &) = delete;
    TermCapture &operator=(const TermCapture &) = delete;

    // The size the size query reports (0 reports 0, which means unknown).
    void set_size(int rows, int cols);
    // Makes the size query fail.
    void fail_size() { size_fails_ = true; }
    // The n-th write from now fails with EIO (n >= 1), and every one after it
    // while `sticky`; 0 lets every write succeed.
    void fail_write(long n, bool sticky = true);

    // Everything written since the last clear(), and the same as pieces.
    std::string text() const;
    const std::vector<std::string> &pieces() const { return pieces_; }
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
};

// An editor writing to a descriptor nobody reads (the capture takes the bytes).
kv_editor *make_captured_editor(kv_config *overrides = nullptr);

// Sets the line and puts the cursor at byte offset `cursor` (npos: the end).
void set_line(kv_editor *ed, std::string_view text, size_t cursor = std::string_view::npos);

// A print producer that hands out the given chunks one after the other, then
// the end (length 0), or `result` instead of a chunk when one is set.
struct Chunks {
    std::vector<std::string> parts;
    size_t next = 0;
    int result = 0;           // returned once the parts are used up, if nonzero
    long calls = 0;
    static int produce(kv_editor *, void *user, const char **chunk, size_t *len);
};

// A readable form of control bytes for failure messages: ESC as \e, CR \r,
// LF \n.
std::string visible(std::string_view bytes);
