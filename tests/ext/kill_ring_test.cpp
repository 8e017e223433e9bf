// The kill ring on a real pseudo-terminal: what Ctrl-K, Ctrl-U, Ctrl-W and
// Alt-D put on it (the core still deleting for the first three), kills in a
// row joining in the order the text stood, Ctrl-Y and Alt-Y.
#include "ext_session.h"

namespace {

struct KillRow {
    std::string typed;             // keys before Enter
    std::string line;              // the line returned
    std::vector<std::string> ring; // newest first
};

TEST(ExtKillRing, KillsRecordJoinAndYank) {
    const KillRow rows[] = {
        {"hello world\x01\x0b", "", {"hello world"}},           // Ctrl-K at the start
        {"hello world\x02\x02\x15", "ld", {"hello wor"}},       // Ctrl-U
        {"abc def\x17", "abc ", {"def"}},                       // Ctrl-W
        {"abc def  \x17", "abc ", {"def  "}},                   // Ctrl-W takes the spaces
        {"abc def\x17\x17", "", {"abc def"}},                   // in a row: joined, in order
        {"one two\x02\x02\x02\x0b\x15", "", {"one two"}},       // forward then backward
        {"ab cd\x17x\x17", "ab ", {"x", "cd"}},                 // typing between: two entries
        {"ab\x0b\x17\x17", "", {"ab"}},                         // nothing killed joins nothing
        {"one two\x01" + alt('d'), " two", {"one"}},            // Alt-D
        {"one two\x01" + alt('d') + alt('d'), "", {"one two"}}, // Alt-D twice: joined
        {"one two\x01\x06\x06" + alt('d'), "on two", {"e"}},    // from the middle of a word
        {"hello\x15world \x19", "world hello", {"hello"}},      // Ctrl-Y
        {"ab\x19", "ab", {}},                                   // empty ring: nothing
        {"aa\x15"
         "bb\x15\x19" +
             alt('y'),
         "aa",
         {"bb", "aa"}}, // Alt-Y: next older
        {"aa\x15"
         "bb\x15\x19" +
             alt('y') + alt('y'),
         "bb",
         {"bb", "aa"}}, // and round again
        {"aa\x15"
         "bb\x15\x19x" +
             alt('y'),
         "bbx",
         {"bb", "aa"}}, // not right after a yank
        {"aa\x15"
         "bb\x15"
         "cc" +
             alt('y'),
         "cc",
         {"bb", "aa"}},                      // no yank at all
        {"x\x15\x19\x19\x19", "xxx", {"x"}}, // yank repeats
    };
    for (const KillRow &r : rows) {
        ExtSession s;
        EXPECT_EQ(s.run(r.typed + "\r"), r.line) << "typed " << r.typed;
        EXPECT_EQ(s.ring(), r.ring) << "typed " << r.typed;
    }
}

TEST(ExtKillRing, KeepsAFixedNumberOfEntries) {
    struct Row {
        int32_t size;
        std::string typed;
        std::vector<std::string> ring;
    };
    const Row rows[] = {
        {1,
         "a\x15"
         "b\x15",
         {"b"}},
        {2,
         "a\x15"
         "b\x15"
         "c\x15",
         {"c", "b"}},
        {3,
         "a\x15"
         "b\x15"
         "c\x15",
         {"c", "b", "a"}},
    };
    for (const Row &r : rows) {
        Pty pty;
        kv_editor *ed = make_pty_editor(pty);
        kvx_options o;
        kvx_options_init(&o);
        o.features = KVX_KILL_RING;
        o.kill_ring_size = r.size;
        kvx_attachment *ext = nullptr;
        ASSERT_EQ(kvx_attach(ed, &o, &ext), 0);
        auto call = start_call(pty, ed, "> ");
        pty.type(r.typed + "\r");
        ASSERT_TRUE(pty.pump_until([&] { return call->done(); }));
        call->join();
        std::vector<std::string> ring;
        for (size_t i = 0; i < kvx_kill_ring_count(ext); ++i)
            ring.emplace_back(kvx_kill_ring_entry(ext, i));
        EXPECT_EQ(ring, r.ring) << "size " << r.size;
        EXPECT_EQ(kvx_kill_ring_entry(ext, ring.size()), nullptr);
        kvx_detach(ext);
        kv_destroy(ed);
    }
}

} // namespace
