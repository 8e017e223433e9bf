// Test seams for the rendering tests: every terminal write captured one
// entry per write call, a terminal size that the tests choose, and a small
// editor owner with a fixed width.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/state.h"
#include "base/sys.h"
#include "kavrik.h"

// Captures every write made through kv_sys.write while it lives.  A call can
// be made to fail (write returns -1 with EIO) by its index.
class WriteCapture {
public:
    WriteCapture();
    ~WriteCapture();
    WriteCapture(const WriteCapture &) = delete;
    WriteCapture &operator=(const WriteCapture &) = delete;

    std::vector<std::string> calls;
    long fail_at = -1; // index of the call that fails; -1: none

    std::string all() const;
    void clear() { calls.clear(); }

private:
    ssize_t (*saved_)(int, const void *, size_t);
};

// Makes TIOCGWINSZ report the given size (ok = false: the query fails).
class WinsizeStub {
public:
    WinsizeStub(int rows, int cols, bool ok = true);
    ~WinsizeStub();
    WinsizeStub(const WinsizeStub &) = delete;
    WinsizeStub &operator=(const WinsizeStub &) = delete;
    void set(int rows, int cols, bool ok = true);

private:
    int (*saved_)(int, struct winsize *);
};

// An editor with a fixed layout width (0: automatic) and a roomy line limit.
struct RenderEditor {
    kv_editor *ed;
    explicit RenderEditor(int width = 80, size_t max_line_len = 1 << 20);
    ~RenderEditor();
    RenderEditor(const RenderEditor &) = delete;
    RenderEditor &operator=(const RenderEditor &) = delete;

    kv_state *st() const { return ed->state; }
    // Replaces the line (bytes taken as they are) and puts the cursor at pos.
    void set(std::string_view text, size_t pos);
    void set(std::string_view text) { set(text, text.size()); }
    std::string line() const { return std::string(st()->line, st()->line_len); }
};
