// Shared vocabulary of the companion's tests: an editor on a pseudo-terminal
// with the companion attached, a completer over a word list, and one call
// run from typed bytes to the returned line.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "call_harness.h"
#include "kavrik.h"
#include "kavrik_ext.h"

// Completes the word before the cursor (a run of bytes other than space)
// with every listed word that starts with it.
struct Words {
    std::vector<std::string> words;
    int result = 0; // what the completer returns
    int calls = 0;
    static int complete(kv_editor *, const char *line, size_t cursor, kvx_completions *out,
                        void *user) {
        auto *w = static_cast<Words *>(user);
        ++w->calls;
        size_t start = cursor;
        while (start > 0 && line[start - 1] != ' ')
            --start;
        std::string typed(line + start, cursor - start);
        for (const std::string &word : w->words)
            if (word.compare(0, typed.size(), typed) == 0)
                kvx_add_completion_n(out, word.data(), word.size(), start, cursor);
        return w->result;
    }
};

struct ExtSession {
    Pty pty;
    kv_editor *ed = nullptr;
    kvx_attachment *ext = nullptr;
    Words words;

    IdleCounter ticks; // the application's idle callback, run by the companion

    explicit ExtSession(int rows = 24, int cols = 80, unsigned features = KVX_ALL,
                        kv_config *cfg = nullptr)
        : pty(rows, cols) {
        ed = make_pty_editor(pty, cfg);
        kvx_options o;
        kvx_options_init(&o);
        o.features = features;
        o.completer = Words::complete;
        o.completer_data = &words;
        o.out_fd = pty.slave();
        o.idle = IdleCounter::count;
        o.idle_data = &ticks;
        if (cfg) o.max_line_len = static_cast<int32_t>(cfg->max_line_len);
        EXPECT_EQ(kvx_attach(ed, &o, &ext), 0);
    }
    ~ExtSession() {
        kvx_detach(ext);
        kv_destroy(ed);
    }
    ExtSession(const ExtSession &) = delete;
    ExtSession &operator=(const ExtSession &) = delete;

    // Runs one call: types the bytes, then waits for it to return the line.
    std::string run(const std::string &bytes, const char *prompt = "> ") {
        auto call = start_call(pty, ed, prompt);
        pty.type(bytes);
        bool joined = pty.pump_until([&] { return call->done(); }, 5000);
        EXPECT_TRUE(joined) << "the call did not end";
        if (!joined) pty.type("\r");
        call->join();
        pty.pump(20);
        return call->is_null() ? "<null>" : call->line();
    }
    std::vector<std::string> ring() const {
        std::vector<std::string> r;
        for (size_t i = 0; i < kvx_kill_ring_count(ext); ++i)
            r.emplace_back(kvx_kill_ring_entry(ext, i));
        return r;
    }
};

// The keys as a terminal sends them.
inline const std::string kTab = "\t";
inline std::string alt(char c) { return std::string("\x1b") + c; }
