// Cost of the cluster walk over 4 KiB of text of three kinds (reported per
// byte) and of the two code-point membership tests (reported per call).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "text/text.h"
#include "unicode/unicode.h"

namespace {

constexpr size_t kTextSize = 4096;

std::string repeat_to_size(const std::string &unit) {
    std::string s;
    while (s.size() + unit.size() <= kTextSize)
        s += unit;
    while (s.size() < kTextSize)
        s += 'x';
    return s;
}

const std::string &ascii_text() {
    static const std::string s = repeat_to_size("The quick brown fox jumps over the lazy dog. ");
    return s;
}

const std::string &cjk_text() {
    // Ideographs and kana with an ideographic full stop.
    static const std::string s = repeat_to_size(
        "\xE6\xBC\xA2\xE5\xAD\x97\xE3\x81\x8B\xE3\x81\xAA\xE6\x96\x87\xE5\xAD\x97\xE3\x80\x82");
    return s;
}

const std::string &emoji_text() {
    // A ZWJ family, a flag, a keycap, a heart with VS16, a thumbs-up with a
    // skin tone, e + acute, and a stack of two marks on a Latin letter.
    static const std::string s =
        repeat_to_size("\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"
                       "\xF0\x9F\x87\xAF\xF0\x9F\x87\xB5"
                       "1\xEF\xB8\x8F\xE2\x83\xA3"
                       "\xE2\x9D\xA4\xEF\xB8\x8F"
                       "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"
                       "e\xCC\x81"
                       "a\xCC\x88\xCC\xA3 ");
    return s;
}

void walk(benchmark::State &state, const std::string &s) {
    for (auto _ : state) {
        int columns = 0;
        for (size_t pos = 0; pos < s.size();) {
            int w;
            pos += kv_utf8_cluster_len_width(s.data(), s.size(), pos, &w);
            columns += w;
        }
        benchmark::DoNotOptimize(columns);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
    // Average time per byte of text (shown with its unit, e.g. 2.5ns).
    state.counters["per_byte"] =
        benchmark::Counter(static_cast<double>(state.iterations() * s.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ClusterWalkAscii(benchmark::State &state) { walk(state, ascii_text()); }
void BM_ClusterWalkCjk(benchmark::State &state) { walk(state, cjk_text()); }
void BM_ClusterWalkEmoji(benchmark::State &state) { walk(state, emoji_text()); }

// Stepping back one cluster at a time from the end of the text: quadratic by
// design (each step walks from offset 0), shown here for a 256-byte line.
void BM_StepBackThroughLine(benchmark::State &state) {
    std::string s = emoji_text().substr(0, 256);
    for (auto _ : state) {
        size_t end = s.size(), steps = 0;
        while (end > 0)
            end -= kv_utf8_prev_cluster_len(s.data(), end), ++steps;
        benchmark::DoNotOptimize(steps);
    }
}

// Code points spread over the ranges the tests meet in practice: Latin,
// combining marks, CJK, emoji, and the supplementary planes.
const std::vector<uint64_t> &sample_points() {
    static const std::vector<uint64_t> v = [] {
        std::mt19937 rng(1);
        const uint64_t bases[] = {0x0041, 0x0300, 0x0600,  0x0E00,  0x1AB0,  0x3000,
                                  0x4E00, 0xFE00, 0x1F300, 0x11000, 0xE0100, 0x20000};
        std::vector<uint64_t> out(4096);
        for (uint64_t &c : out)
            c = bases[rng() % std::size(bases)] + rng() % 0x100;
        return out;
    }();
    return v;
}

template <int (*Test)(uint64_t)> void membership(benchmark::State &state) {
    const std::vector<uint64_t> &v = sample_points();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Test(v[i]));
        i = (i + 1) & (v.size() - 1);
    }
}

void BM_IsCombining(benchmark::State &state) { membership<kv_codepoint_is_combining>(state); }
void BM_IsWide(benchmark::State &state) { membership<kv_codepoint_is_wide>(state); }

void BM_IsCombiningAscii(benchmark::State &state) {
    uint64_t c = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kv_codepoint_is_combining(0x20 + (c & 0x3F)));
        ++c;
    }
}

} // namespace

BENCHMARK(BM_ClusterWalkAscii);
BENCHMARK(BM_ClusterWalkCjk);
BENCHMARK(BM_ClusterWalkEmoji);
BENCHMARK(BM_StepBackThroughLine);
BENCHMARK(BM_IsCombining);
BENCHMARK(BM_IsWide);
BENCHMARK(BM_IsCombiningAscii);

BENCHMARK_MAIN();
