// A readline call record over a real editor whose input is a pipe, for tests
// of the key decoder, the paste handling and the command dispatch without a
// terminal.  Bytes written with feed() are what the "terminal" sends next.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "edit/internal.h"
#include "kavrik.h"
#include "test_editor.h"
#include "text/text.h"

struct KeysCall {
    int fds[2] = {-1, -1};
    kv_editor *ed = nullptr;
    kv_call c{};

    explicit KeysCall(size_t max_line_len = 4096, const char *prompt = "> ") {
        if (pipe(fds) != 0) return;
        ed = new_test_editor(test_config([&](kv_config &cfg) {
            cfg.in_fd = fds[0];
            cfg.max_line_len = max_line_len;
        }));
        c.ed = ed;
        c.st = ed ? ed->state : nullptr;
        c.prompt = prompt;
        c.search.match = -1;
        c.end = kv_end::none;
        if (c.st) c.st->flags.active = 1;
    }
    ~KeysCall() {
        if (c.st) c.st->flags.active = 0;
        kv_search_free(&c.search);
        kv_destroy(ed);
        if (fds[0] >= 0) close(fds[0]);
        if (fds[1] >= 0) close(fds[1]);
    }
    KeysCall(const KeysCall &) = delete;
    KeysCall &operator=(const KeysCall &) = delete;

    kv_state *st() const { return c.st; }
    bool ok() const { return ed != nullptr; }

    void feed(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t n = write(fds[1], bytes.data(), bytes.size());
            if (n <= 0) return;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
    }
    // Ends the input: further reads report end of file at once, which the
    // call treats like a time-out, without the 100 ms wait.
    void close_input() {
        if (fds[1] >= 0) close(fds[1]);
        fds[1] = -1;
    }
    // Every byte still to be read (handed-back bytes first); closes the input.
    std::string rest() {
        close_input();
        std::string out;
        unsigned char b;
        while (kv_call_wait_byte(&c, &b) > 0)
            out.push_back(static_cast<char>(b));
        return out;
    }
    std::string line() const { return std::string(st()->line.text, st()->line.len); }
    void set_line(std::string_view text, size_t cursor) {
        kv_buf_set_bytes(ed, text.data(), text.size());
        st()->line.cursor = cursor;
    }
};
