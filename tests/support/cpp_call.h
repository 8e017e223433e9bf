// A readline call of a C++ kavrik::editor on its own thread, against a
// pseudo-terminal: the test starts it, types, and waits for the line.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "kavrik.hpp"
#include "pty_session.h"

struct CppCall {
    Pty pty{10, 60};
    kavrik::editor ed{kavrik::config().in_fd(pty.slave()).out_fd(pty.slave())};
    std::optional<std::string> line;
    std::atomic<bool> done{false};
    std::thread thread;

    // Starts the call and waits until it has the terminal: bracketed paste
    // is turned on after raw mode, and the prompt follows.  (Output of an
    // earlier call may still be unread, so its prompt does not count.)
    bool start(const char *prompt = "c> ") {
        done = false;
        size_t from = pty.log_size();
        thread = std::thread([this, prompt] {
            line = ed.readline(prompt);
            done = true;
        });
        return pty.wait_for("\x1b[?2004h", 3000, from) && pty.wait_for(prompt, 3000, from);
    }
    // Waits for the call to return; false when it did not.
    bool finish() {
        bool ok = pty.pump_until([&] { return done.load(); }, 5000);
        if (!ok) pty.type("\x15\x04"); // an empty line and Ctrl-D end it
        if (thread.joinable()) thread.join();
        return ok;
    }
    // Runs one whole call on the typed bytes.
    std::optional<std::string> run(const std::string &typed, const char *prompt = "c> ") {
        if (!start(prompt)) return "<no prompt>";
        pty.type(typed);
        if (!finish()) return "<did not end>";
        return line;
    }
    ~CppCall() {
        if (thread.joinable()) {
            pty.type("\x15\x04");
            thread.join();
        }
    }
};
