// Undo and redo on a real pseudo-terminal: what one step is (a run of typing
// up to a pause or a companion key, each kill, yank, completion, case change,
// transposition, recalled line and paste), walking back past the first step,
// redo, redo dropped by a new change, and a line of a megabyte.
#include "ext_session.h"

namespace {

const std::string kUndo = "\x1f", kRedo = "\x1e", kPause(1, '\0');
const std::string kUp = "\x1b[A", kF3 = "\x1b[R";
std::string paste(const std::string &text) { return "\x1b[200~" + text + "\x1b[201~"; }

const std::string kBig(1 << 20, 'a');

// F3 inserts a megabyte at the cursor, as no typing on a terminal could.
int insert_big(kv_editor *ed, int, void *, int *) { return kv_insert(ed, kBig.c_str()), 0; }

struct UndoRow {
    const char *what;
    std::string script; // kPause: a NUL byte, or with wait set a real pause
    std::string line;   // returned after Enter
    bool wait = false;
};

// Types the script; with wait set each kPause is a real pause: two idle ticks
// of the application's callback, so the typed bytes were read before the
// second one.  A line of a megabyte is laid out again at every key and tick,
// which takes seconds in a sanitizer build: the call gets a minute to end.
std::string run_script(ExtSession &s, const UndoRow &r) {
    auto call = start_call(s.pty, s.ed, "> ");
    size_t from = 0, at;
    while (r.wait && (at = r.script.find(kPause, from)) != std::string::npos) {
        s.pty.type(r.script.substr(from, at - from));
        EXPECT_TRUE(s.ticks.wait_more(s.pty, 2)) << "no idle tick reached the application";
        from = at + 1;
    }
    s.pty.type(r.script.substr(from) + "\r");
    EXPECT_TRUE(s.pty.pump_until([&] { return call->done(); }, 60000)) << r.what;
    call->join();
    return call->line();
}

TEST(ExtUndo, StepsWalkBackAndForth) {
    const UndoRow rows[] = {
        {"typing without a pause is one step", "hello world" + kUndo, ""},
        {"a pause ends a run of typing", "hello" + kPause + " world" + kUndo, "hello", true},
        {"an idle tick from a NUL byte too", "hello" + kPause + " world" + kUndo, "hello"},
        {"undo past the first step", "hello" + kPause + " world" + kUndo + kUndo + kUndo, ""},
        {"a kill", "abc def\x17" + kUndo, "abc def"},
        {"typing after a kill is a step of its own", "abc def\x17xy" + kUndo, "abc "},
        {"a yank", "abc\x15x\x19" + kUndo, "x"},
        {"a completion", "ma\t" + kUndo, "ma"},
        {"a case change, the cursor back where it was", "abc\x01" + alt('u') + kUndo + "X", "Xabc"},
        {"a transposition", "ab\x14" + kUndo, "ab"},
        {"a recalled line, undone and redone", "new" + kUp + kPause + kUndo + kRedo, "old entry"},
        {"a paste after typing", "x" + paste("pasted") + kPause + "y" + kUndo + kUndo, "x"},
        {"the cursor seen at the last pause comes back",
         "hello" + kPause + "\x01" + kPause + "X" + kUndo + "Y", "Yhello", true},
        {"redo after two undos", "a" + kPause + "b" + kPause + "c" + kUndo + kUndo + kRedo, "ab"},
        {"redo past the last step does nothing", "a" + kPause + "b" + kUndo + kRedo + kRedo, "ab"},
        {"a new change drops the redo", "a" + kPause + "b" + kUndo + "z" + kRedo, "az"},
        {"a megabyte undone and redone", "x" + kF3 + kPause + "y" + kUndo + kUndo + kRedo,
         "x" + kBig},
    };
    for (const UndoRow &r : rows) {
        kv_config cfg;
        kv_config_init(&cfg);
        cfg.max_line_len = 2 << 20;
        ExtSession s(24, 80, KVX_ALL, &cfg);
        s.words.words = {"make"};
        ASSERT_EQ(kv_history_add(s.ed, "old entry"), 0);
        ASSERT_EQ(kv_bind_key(s.ed, KV_KEY_F3, insert_big, nullptr), 0);
        std::string line = run_script(s, r);
        EXPECT_TRUE(line == r.line)
            << r.what << ": " << line.substr(0, 40) << " (" << line.size() << " bytes)";
        EXPECT_EQ(kvx_last_result(s.ext), 0) << r.what;
        if (r.script.find(kPause) != std::string::npos)
            EXPECT_GT(s.ticks.calls, 0) << r.what << ": the application's idle callback never ran";
    }
}

TEST(ExtUndo, EnterEndsTheLineAndItsSteps) {
    ExtSession s;
    EXPECT_EQ(s.run("first" + kPause + "\r"), "first");
    EXPECT_EQ(s.run(kUndo + "x" + kUndo + kUndo + "\r"), "");
}

} // namespace
