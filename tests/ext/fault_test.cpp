// Every allocation of the companion failing in turn: attaching binds no key,
// and each key action leaves the line and the kill ring as they were and
// records -3, until the action has all it needs and succeeds.  An undo step
// that cannot be recorded leaves the line alone: undo then does nothing, or
// (once memory is back) undoes the larger step that spans it.
#include "ext_session.h"
#include "fault_seam.h"

namespace {

// F1 arms the countdown and F2 disarms it, both on the editor's thread, so
// that only the keys typed between them can meet the failure.
struct Arm {
    long n = -1;
    bool fired = false;
    static int arm(kv_editor *, int, void *u, int *) {
        kvx_alloc_countdown = static_cast<Arm *>(u)->n;
        return 0;
    }
    static int disarm(kv_editor *, int, void *u, int *) {
        static_cast<Arm *>(u)->fired = kvx_alloc_countdown == 0;
        kvx_alloc_countdown = -1;
        return 0;
    }
};

struct FaultRow {
    std::vector<std::string> words;
    std::string setup;             // typed first
    std::string action;            // typed with the countdown armed
    std::string before;            // the line when an allocation failed: as before the action
    std::vector<std::string> ring; // the ring before the action
    std::string after;             // the line once the action succeeds
    bool allocates = true;         // false: the memory of earlier keys serves
    std::string then;              // typed after the countdown is off again
    unsigned features = KVX_ALL & ~KVX_UNDO; // undo records steps of its own
};

const std::string nul(1, '\0'), undo = "\x1f";

TEST(ExtFaults, KeyActionsLeaveLineAndRingOnEveryAllocationFailure) {
    const FaultRow rows[] = {
        {{}, "hello world", "\x17", "hello world", {}, "hello "},
        {{}, "ab cd\x17", "\x17", "ab ", {"cd"}, ""},
        {{}, "one two\x01", alt('d'), "one two", {}, " two"},
        {{}, "ab\x15xy", "\x19", "xy", {"ab"}, "xyab"},
        {{},
         "a\x15"
         "b\x15\x19",
         alt('y'),
         "b",
         {"b", "a"},
         "a",
         false},
        {{}, "ab", "\x14", "ab", {}, "ba"},
        {{}, "ab\x01", alt('u'), "ab", {}, "AB"},
        {{"make"}, "ma", "\t", "ma", {}, "make "},
        {{"make", "man"}, "m", "\t", "m", {}, "ma"},
        {{"make", "man"}, "ma\t", "\t", "ma", {}, "ma"},
        {{}, "hello", nul + " world" + undo, "hello world", {}, "hello", true, "", KVX_ALL},
        {{}, "hello", nul, "", {}, "hello", true, " world" + undo, KVX_ALL},
        {{}, "ab" + nul + "c" + undo, "\x1e", "ab", {}, "abc", false, "", KVX_ALL},
    };
    for (const FaultRow &r : rows) {
        long failures = 0;
        for (long n = 1; n < 50; ++n) {
            ExtSession s(24, 80, r.features);
            s.words.words = r.words;
            Arm arm;
            arm.n = n;
            ASSERT_EQ(kv_bind_key(s.ed, KV_KEY_F1, Arm::arm, &arm), 0);
            ASSERT_EQ(kv_bind_key(s.ed, KV_KEY_F2, Arm::disarm, &arm), 0);
            std::string line = s.run(r.setup + "\x1bOP" + r.action + "\x1bOQ" + r.then + "\r");
            if (!arm.fired) {
                EXPECT_EQ(line, r.after) << r.setup << " with " << n - 1 << " allocations";
                break;
            }
            ++failures;
            EXPECT_EQ(line, r.before) << r.setup << ", allocation " << n;
            EXPECT_EQ(s.ring(), r.ring) << r.setup << ", allocation " << n;
            EXPECT_EQ(kvx_last_result(s.ext), -3) << r.setup << ", allocation " << n;
            ASSERT_NE(kvx_last_error(s.ext), nullptr);
            EXPECT_STREQ(kvx_last_error(s.ext), "out of memory in the editing companion");
        }
        EXPECT_EQ(failures > 0, r.allocates) << testing::PrintToString(r.setup);
    }
}

TEST(ExtFaults, AttachBindsNothingWhenMemoryRunsOut) {
    for (long n = 1;; ++n) {
        kv_editor *ed = kv_create();
        kvx_options o;
        kvx_options_init(&o);
        o.features = KVX_KILL_RING | KVX_KEYS;
        kvx_attachment *ext = nullptr;
        kvx_alloc_countdown = n;
        int rc = kvx_attach(ed, &o, &ext);
        bool fired = kvx_alloc_countdown == 0;
        kvx_alloc_countdown = -1;
        if (!fired) {
            EXPECT_EQ(rc, 0);
            kvx_detach(ext);
            kv_destroy(ed);
            EXPECT_GT(n, 1);
            break;
        }
        EXPECT_EQ(rc, -3) << n;
        EXPECT_EQ(ext, nullptr);
        // All 64 entries of the binding table are still free.
        for (int k = 0; k < 64; ++k)
            EXPECT_EQ(kv_bind_key(ed, 2000 + k, Arm::arm, nullptr), 0) << k;
        kv_destroy(ed);
    }
}

} // namespace
