// Cost of one Tab of the companion library, from asking the completer to the
// finished edit: listing 10,000 candidates (sorted, laid out in columns and
// printed to /dev/null through kv_print_above), and inserting the common
// prefix of 100,000.  Both should stay well under a 16 ms frame.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ext.h"
#include "kavrik.h"
#include "kavrik_ext.h"

namespace {

struct Candidates {
    std::vector<std::string> words;
    static int complete(kv_editor *, const char *, size_t cursor, kvx_completions *out,
                        void *user) {
        for (const std::string &w : static_cast<Candidates *>(user)->words)
            if (kvx_add_completion_n(out, w.data(), w.size(), 0, cursor) != 0) return -1;
        return 0;
    }
};

struct Setup {
    int null_fd = open("/dev/null", O_WRONLY);
    kv_editor *ed = nullptr;
    kvx_attachment *ext = nullptr;
    Candidates c;
    explicit Setup(size_t n, const std::string &stem) {
        // Shuffled by a fixed stride so that sorting has work to do.
        for (size_t i = 0; i < n; ++i)
            c.words.push_back(stem + std::to_string((i * 7919) % n));
        kv_config cfg;
        kv_config_init(&cfg);
        cfg.out_fd = null_fd;
        ed = kv_create_with_config(&cfg);
        kvx_options o;
        kvx_options_init(&o);
        o.features = KVX_COMPLETION;
        o.completer = Candidates::complete;
        o.completer_data = &c;
        o.out_fd = null_fd;
        kvx_attach(ed, &o, &ext);
    }
    ~Setup() {
        kvx_detach(ext);
        kv_destroy(ed);
        close(null_fd);
    }
    int tab() {
        int action = 0;
        return kvx_on_tab(ed, 9, ext, &action);
    }
};

void BM_ListTenThousand(benchmark::State &state) {
    Setup s(10000, "candidate-");
    kv_set_buffer(s.ed, "c");
    s.tab(); // inserts "candidate-"; every later Tab lists
    s.tab();
    for (auto _ : state)
        s.tab();
    if (kvx_last_result(s.ext) != 0) state.SkipWithError("the listing failed");
}
BENCHMARK(BM_ListTenThousand)->Unit(benchmark::kMillisecond);

void BM_CommonPrefixOfHundredThousand(benchmark::State &state) {
    Setup s(100000, "some/longer/common/prefix/file-");
    for (auto _ : state) {
        state.PauseTiming();
        kv_set_buffer(s.ed, "s");
        state.ResumeTiming();
        s.tab();
    }
    if (std::string(kv_buffer(s.ed)) != "some/longer/common/prefix/file-")
        state.SkipWithError("the prefix was not inserted");
}
BENCHMARK(BM_CommonPrefixOfHundredThousand)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
