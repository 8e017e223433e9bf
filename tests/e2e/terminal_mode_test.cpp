// The terminal taken out of raw mode behind a running call, as a shell does
// while the program is stopped and after it continues it: the call notices,
// applies raw mode and bracketed paste again, draws the editor anew on a
// fresh row, and what was typed before and meanwhile stays in the line.
#include <termios.h>

#include <gtest/gtest.h>

#include <string>

#include "call_harness.h"
#include "kavrik.h"

namespace {

bool raw_again(int fd) {
    struct termios t = tty_attrs(fd);
    return !(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) && !(t.c_iflag & (ICRNL | IXON)) &&
           !(t.c_oflag & OPOST) && t.c_cc[VMIN] == 0 && t.c_cc[VTIME] == 1;
}

struct Case {
    const char *what;
    void (*change)(struct termios &raw, const struct termios &own);
    std::string meanwhile; // typed at once, before the call can notice
    std::string after;     // typed once raw mode is back
    std::string line;
};

const Case cases[] = {
    {"the terminal's own mode", [](struct termios &t, const struct termios &own) { t = own; }, "",
     "def\r", "abcdef"},
    {"own mode, a word typed meanwhile",
     [](struct termios &t, const struct termios &own) { t = own; }, "de", "f\r", "abcdef"},
    {"own mode, Enter typed meanwhile",
     [](struct termios &t, const struct termios &own) { t = own; }, "d\r", "", "abcd"},
    {"echo and lines",
     [](struct termios &t, const struct termios &) { t.c_lflag |= ICANON | ECHO; }, "", "def\r",
     "abcdef"},
    {"carriage returns made line feeds",
     [](struct termios &t, const struct termios &) { t.c_iflag |= ICRNL; }, "", "def\r", "abcdef"},
    {"reads wait for a byte",
     [](struct termios &t, const struct termios &) {
         t.c_cc[VMIN] = 1;
         t.c_cc[VTIME] = 0;
     },
     "", "def\r", "abcdef"},
    {"signal keys and output processing",
     [](struct termios &t, const struct termios &) {
         t.c_lflag |= ISIG;
         t.c_oflag |= OPOST;
     },
     "", "def\r", "abcdef"},
};

TEST(TerminalMode, RawModeIsTakenBackAndNothingTypedIsLost) {
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Pty pty;
        kv_editor *ed = make_pty_editor(pty);
        const struct termios own = tty_attrs(pty.slave());
        auto call = start_call(pty, ed, "> ");
        pty.type("abc");
        ASSERT_TRUE(pty.pump_until([&] { return pty.screen().row(0) == "> abc"; }));

        struct termios changed = tty_attrs(pty.slave());
        c.change(changed, own);
        const size_t mark = pty.log_size();
        ASSERT_EQ(tcsetattr(pty.slave(), TCSANOW, &changed), 0);
        pty.type(c.meanwhile);
        EXPECT_TRUE(pty.pump_until([&] { return raw_again(pty.slave()) || call->done(); }));
        if (c.after.empty()) {
            // Enter typed in the terminal's own mode ended the line.
            ASSERT_TRUE(call->join());
        } else {
            EXPECT_TRUE(pty.wait_for("\x1b[?2004h", 3000, mark));
            // Drawn whole below the old frame: prompt and everything typed.
            const std::string shown = "> abc" + c.meanwhile;
            EXPECT_TRUE(pty.pump_until([&] { return pty.screen().row(1) == shown; }))
                << pty.screen().dump();
            pty.type(c.after);
            ASSERT_TRUE(call->join());
        }
        EXPECT_FALSE(call->is_null());
        EXPECT_EQ(call->line(), c.line);
        EXPECT_EQ(kv_last_readline_status(ed), KV_STATUS_LINE);
        kv_destroy(ed);
    }
}

} // namespace
