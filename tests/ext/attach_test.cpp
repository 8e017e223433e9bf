// Attaching and detaching: options that are refused, a binding table that
// cannot take the keys (none bound), detach unbinding all but the keys handed
// back, and what the completer may do wrong.
#include "ext_session.h"
#include "fault_seam.h"

namespace {

int no_completion(kv_editor *, const char *, size_t, kvx_completions *, void *) { return 0; }
int mine(kv_editor *, int, void *, int *) { return 0; }

TEST(ExtAttach, RefusesOptionsOutOfRange) {
    struct Row {
        const char *what;
        void (*change)(kvx_options &);
    };
    const Row rows[] = {
        {"no feature", [](kvx_options &o) { o.features = 0; }},
        {"unknown feature", [](kvx_options &o) { o.features = KVX_ALL + 1; }},
        {"completion without a completer", [](kvx_options &o) { o.completer = nullptr; }},
        {"ring of 0", [](kvx_options &o) { o.kill_ring_size = 0; }},
        {"ring of 1025", [](kvx_options &o) { o.kill_ring_size = 1025; }},
        {"line limit 0", [](kvx_options &o) { o.max_line_len = 0; }},
    };
    for (const Row &r : rows) {
        kv_editor *ed = kv_create();
        kvx_options o;
        kvx_options_init(&o);
        o.completer = no_completion;
        r.change(o);
        kvx_attachment *ext = reinterpret_cast<kvx_attachment *>(&o);
        EXPECT_EQ(kvx_attach(ed, &o, &ext), -2) << r.what;
        EXPECT_EQ(ext, nullptr) << r.what;
        kv_destroy(ed);
    }
    kvx_attachment *ext = nullptr;
    EXPECT_EQ(kvx_attach(nullptr, nullptr, &ext), -2);
    EXPECT_EQ(kvx_release_key(nullptr, 9), -2);
    EXPECT_EQ(kvx_kill_ring_count(nullptr), 0u);
    EXPECT_EQ(kvx_kill_ring_entry(nullptr, 0), nullptr);
    kvx_detach(nullptr);
}

// Keys free in the table: binds new codes until the table is full.
int free_entries(kv_editor *ed) {
    int n = 0;
    while (kv_bind_key(ed, 3000 + n, mine, nullptr) == 0)
        ++n;
    for (int k = 0; k < n; ++k)
        kv_bind_key(ed, 3000 + k, nullptr, nullptr);
    return n;
}

TEST(ExtAttach, BindsTheKeysOfTheChosenFeaturesOrNone) {
    struct Row {
        unsigned features;
        int keys; // entries the attachment takes
    };
    const Row rows[] = {
        {KVX_COMPLETION, 6}, {KVX_KILL_RING, 11}, {KVX_KEYS, 12}, {KVX_UNDO, 13}, {KVX_ALL, 23},
    };
    for (const Row &r : rows) {
        kv_editor *ed = kv_create();
        kvx_options o;
        kvx_options_init(&o);
        o.features = r.features;
        o.completer = no_completion;
        kvx_attachment *ext = nullptr;
        ASSERT_EQ(kvx_attach(ed, &o, &ext), 0);
        EXPECT_EQ(free_entries(ed), 64 - r.keys) << r.features;
        kvx_detach(ext);
        EXPECT_EQ(free_entries(ed), 64) << r.features;
        // A table with one entry too few takes none of them.
        for (int k = 0; k < 64 - r.keys + 1; ++k)
            ASSERT_EQ(kv_bind_key(ed, 4000 + k, mine, nullptr), 0);
        EXPECT_EQ(kvx_attach(ed, &o, &ext), -3) << r.features;
        EXPECT_STREQ(kv_last_error(ed), "too many key bindings");
        EXPECT_EQ(ext, nullptr);
        EXPECT_EQ(free_entries(ed), r.keys - 1) << r.features;
        EXPECT_STREQ(kvx_error_message(-3), "out of memory or too many key bindings");
        kv_destroy(ed);
    }
}

// A failed attach, because the table is short of entries or memory runs
// out, leaves the application's own bindings of the companion's keys (here
// Tab and Ctrl-L) as they were.
TEST(ExtAttach, AFailedAttachLeavesTheApplicationsBindings) {
    struct Row {
        const char *what;
        int free;       // entries left free in the table
        bool countdown; // fail each allocation in turn
    } const rows[] = {
        {"the table is short of entries", 15, false},
        {"memory runs out", 64 - 2, true},
    };
    auto mark = [](kv_editor *ed, int key, void *, int *) {
        return kv_insert(ed, key == 9 ? "[tab]" : "[l]");
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        for (long n = 1; n < 100; ++n) {
            ExtSession s;
            kvx_detach(s.ext);
            s.ext = nullptr;
            ASSERT_EQ(kv_bind_key(s.ed, 9, mark, nullptr), 0);
            ASSERT_EQ(kv_bind_key(s.ed, 12, mark, nullptr), 0);
            for (int k = 0; k < 64 - 2 - r.free; ++k)
                ASSERT_EQ(kv_bind_key(s.ed, 4000 + k, mine, nullptr), 0);
            kvx_options o;
            kvx_options_init(&o);
            o.completer = no_completion;
            if (r.countdown) kvx_alloc_countdown = n;
            const int rc = kvx_attach(s.ed, &o, &s.ext);
            const bool fired = kvx_alloc_countdown == 0;
            kvx_alloc_countdown = -1;
            if (r.countdown && !fired) {
                EXPECT_EQ(rc, 0);
                break;
            }
            EXPECT_EQ(rc, -3) << n;
            EXPECT_EQ(s.ext, nullptr);
            EXPECT_EQ(s.run("a\t\x0c\r"), "a[tab][l]") << n;
            if (!r.countdown) break;
        }
    }
}

TEST(ExtAttach, DetachLeavesKeysHandedBack) {
    ExtSession s;
    s.words.words = {"make"};
    struct Tab {
        int calls = 0;
        static int cb(kv_editor *, int, void *u, int *) {
            ++static_cast<Tab *>(u)->calls;
            return 0;
        }
    } tab;
    ASSERT_EQ(kv_bind_key(s.ed, 9, Tab::cb, &tab), 0);
    EXPECT_EQ(kvx_release_key(s.ext, 9), 0);
    EXPECT_EQ(kvx_release_key(s.ext, 9), -2);   // already handed back
    EXPECT_EQ(kvx_release_key(s.ext, 'x'), -2); // never the companion's
    EXPECT_EQ(s.run("ma\t\r"), "ma");
    EXPECT_EQ(tab.calls, 1);
    kvx_detach(s.ext);
    s.ext = nullptr;
    EXPECT_EQ(s.run("ab\x15\x19\t\r"), ""); // Ctrl-Y is gone, Tab is the application's
    EXPECT_EQ(tab.calls, 2);
}

TEST(ExtAttach, CompleterFailuresAndOddCandidates) {
    struct Row {
        const char *what;
        std::vector<std::string> words;
        int result;
        std::string typed, line;
        int last_result;
    };
    std::vector<std::string> many;
    for (int i = 0; i < 3000; ++i)
        many.push_back("item" + std::to_string(i));
    const Row rows[] = {
        {"a failing completer changes nothing", {"make"}, -1, "ma\t", "ma", -1},
        {"no candidates", {}, 0, "ma\t", "ma", 0},
        {"thousands: their common prefix", many, 0, "i\t", "item", 0},
        {"an over-long candidate is skipped", {std::string(20, 'm'), "mx"}, 0, "m\t", "mx ", 0},
        {"only over-long candidates: nothing", {std::string(20, 'm')}, 0, "m\t", "m", 0},
        {"a candidate the line cannot take", {"mmmmmmmmmmmm"}, 0, "m\t", "m", -1},
    };
    for (const Row &r : rows) {
        kv_config cfg;
        kv_config_init(&cfg);
        cfg.max_line_len = 12;
        ExtSession s(24, 80, KVX_ALL, &cfg);
        s.words.words = r.words;
        s.words.result = r.result;
        EXPECT_EQ(s.run(r.typed + "\r"), r.line) << r.what;
        EXPECT_EQ(kvx_last_result(s.ext), r.last_result) << r.what;
        EXPECT_EQ(s.words.calls, 1) << r.what;
    }
}

} // namespace
