// Key input: arbitrary bytes typed into a readline call on a pseudo-terminal
// of this process (fuzz_pty.h: fast idle ticks, the call ended by a submit
// or a cancel once every byte is read).
//
// Properties: the call ends with a documented status, a line exactly when
// the status says so and SIGINT exactly on an interrupt; an error only for an
// over-long search query, unless memory was made to run out; the terminal's
// attributes are as before the call (raw mode is off); the line fits the
// line limit and holds no byte that was not typed, pasted or recalled from
// the history (Enter inside a paste gives a line feed).  A call that never
// ends is reported by libFuzzer's time-out.
//
// Input: flags, terminal columns, line limit, history entries, an allocation
// countdown, then the typed bytes.
#include <string>

#include "base/state.h"
#include "fuzz_check.h"
#include "fuzz_pty.h"
#include "kavrik.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    uint8_t flags = in.byte();
    bool submit = flags & 1;
    bool bounded = flags & 2;
    int cols = in.range(1, 80);
    uint8_t lb = in.byte();
    size_t line_max = lb >= 240 ? 4096 : 1 + lb % 64;
    int entries = in.range(0, 3);
    std::string history[3];
    for (int i = 0; i < entries; ++i) {
        history[i] = std::string(in.piece(16));
        history[i] = history[i].substr(0, history[i].find('\0'));
    }
    long fail_after = (flags & 4) ? in.range(1, 60) : -1;
    int box_row = in.range(0, 20);
    std::string typed(in.take(2048));

    bool allowed[256] = {};
    for (unsigned char b : typed)
        allowed[b] = true;
    for (int i = 0; i < entries; ++i)
        for (unsigned char b : history[i])
            allowed[b] = true;
    if (allowed['\r']) allowed['\n'] = true;

    pty_prepare(cols);
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.in_fd = pty_slave();
    cfg.out_fd = pty_slave();
    cfg.max_line_len = line_max;
    cfg.bounded = bounded ? 1 : 0;
    cfg.row = bounded ? box_row : 0;
    kv_editor *ed = kv_create_with_config(&cfg);
    FUZZ_CHECK(ed != nullptr, "editor");
    for (int i = 0; i < entries; ++i)
        kv_history_add(ed, history[i].c_str());

    PtyCallResult r = pty_readline(ed, "> ", typed, submit, fail_after);
    const std::string ctx = "typed \"" + fuzz_visible(typed) + "\", status " +
                            std::to_string(r.status) + ", error \"" + r.error + "\"";
    FUZZ_CHECK(r.status >= KV_STATUS_LINE && r.status <= KV_STATUS_ERROR, ctx);
    FUZZ_CHECK(r.has_line == (r.status == KV_STATUS_LINE), ctx);
    FUZZ_CHECK((r.status == KV_STATUS_INTERRUPTED) == (r.sigints == 1),
               ctx + ", SIGINT raised " + std::to_string(r.sigints));
    if (r.status == KV_STATUS_ERROR && fail_after < 0)
        FUZZ_CHECK(r.error == "failed to update reverse history search", ctx);
    FUZZ_CHECK(r.attrs_restored, ctx + ": terminal attributes changed");
    FUZZ_CHECK(ed->state->term.raw_active == 0, ctx + ": raw mode flag left on");
    FUZZ_CHECK(kv_submit(ed) == -2, ctx + ": the call still counts as running");
    FUZZ_CHECK(r.line.size() <= line_max, ctx + ": line of " + std::to_string(r.line.size()));
    for (unsigned char b : r.line)
        FUZZ_CHECK(allowed[b],
                   ctx + ": line \"" + fuzz_visible(r.line) + "\" holds a byte never typed");
    kv_destroy(ed);
    return 0;
}
