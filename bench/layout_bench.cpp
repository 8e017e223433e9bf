// Cost of one layout build per byte of line, for prose and for one unbroken
// word, at 4 KiB and 64 KiB.  The per-byte figure should not grow with the
// size: words and space runs are measured once, not at every cluster.
#include <benchmark/benchmark.h>

#include <string>

#include "base/state.h"
#include "kavrik.h"
#include "render/internal.h"
#include "text/text.h"

namespace {

std::string prose(size_t n) {
    static const std::string unit =
        "The quick brown fox jumps over the lazy dog, then naps\tin the warm sun. ";
    std::string s;
    while (s.size() < n)
        s += unit;
    s.resize(n);
    return s;
}

std::string one_word(size_t n) {
    std::string s;
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < n; ++i)
        s += alphabet[(i * 7 + i / 64) % 64];
    return s;
}

void build(benchmark::State &state, const std::string &text) {
    kv_config c;
    kv_config_init(&c);
    c.width = 80;
    c.max_line_len = text.size() + 1;
    kv_editor *ed = kv_create_with_config(&c);
    if (!ed || kv_buf_set_bytes(ed, text.data(), text.size()) != 0) {
        state.SkipWithError("editor setup failed");
        kv_destroy(ed);
        return;
    }
    ed->state->line.cursor = text.size() / 2;
    for (auto _ : state) {
        kv_layout lo{};
        if (kv_render_build(ed, "> ", &lo) != 0) state.SkipWithError("build failed");
        benchmark::DoNotOptimize(lo.count);
        kv_layout_free(&lo);
    }
    kv_destroy(ed);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    // Seconds per byte, shown with an SI prefix ("2.5n" is 2.5 ns per byte).
    state.counters["per_byte"] = benchmark::Counter(static_cast<double>(text.size()),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

void BM_LayoutProse(benchmark::State &state) {
    build(state, prose(static_cast<size_t>(state.range(0))));
}

void BM_LayoutOneWord(benchmark::State &state) {
    build(state, one_word(static_cast<size_t>(state.range(0))));
}

BENCHMARK(BM_LayoutProse)->Arg(4 << 10)->Arg(64 << 10);
BENCHMARK(BM_LayoutOneWord)->Arg(4 << 10)->Arg(64 << 10);

} // namespace

BENCHMARK_MAIN();
