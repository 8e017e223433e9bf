// History costs: adding to a full list (constant per add whatever the limit)
// and loading a file (linear in its size), saving, and one search step.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/state.h"
#include "history/history.h"
#include "history/internal.h"
#include "kavrik.h"

namespace {

kv_editor *make_editor(int limit) {
    kv_config c;
    kv_config_init(&c);
    c.history_max_len = limit;
    return kv_create_with_config(&c);
}

std::string temp_path(const char *tag) {
    return "/tmp/kv-history-bench-" + std::to_string(getpid()) + "-" + tag;
}

// Adds to a list already full at the limit: each add drops the oldest.
void BM_AddToFullList(benchmark::State &state) {
    int limit = static_cast<int>(state.range(0));
    kv_editor *ed = make_editor(limit);
    for (int i = 0; i < limit; ++i)
        kv_history_add(ed, ("fill " + std::to_string(i)).c_str());
    char line[32];
    long n = 0;
    for (auto _ : state) {
        std::snprintf(line, sizeof line, "entry %ld", n++);
        benchmark::DoNotOptimize(kv_history_add(ed, line));
    }
    kv_destroy(ed);
}
BENCHMARK(BM_AddToFullList)->Arg(100)->Arg(10000)->Arg(1000000);

// Loads a file of N entries into a list with room for all of them.
void BM_LoadFile(benchmark::State &state) {
    int count = static_cast<int>(state.range(0));
    std::string path = temp_path("load");
    {
        kv_editor *ed = make_editor(count);
        for (int i = 0; i < count; ++i)
            kv_history_add(ed, ("some command line number " + std::to_string(i)).c_str());
        kv_history_save(ed, path.c_str());
        kv_destroy(ed);
    }
    for (auto _ : state) {
        kv_editor *ed = make_editor(count);
        benchmark::DoNotOptimize(kv_history_load(ed, path.c_str()));
        kv_destroy(ed);
    }
    unlink(path.c_str());
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_LoadFile)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SaveFile(benchmark::State &state) {
    int count = static_cast<int>(state.range(0));
    std::string path = temp_path("save");
    kv_editor *ed = make_editor(count);
    for (int i = 0; i < count; ++i)
        kv_history_add(ed, ("some command line number " + std::to_string(i)).c_str());
    for (auto _ : state)
        benchmark::DoNotOptimize(kv_history_save(ed, path.c_str()));
    kv_destroy(ed);
    unlink(path.c_str());
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_SaveFile)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// One search step over the default list of 100 entries, matching the oldest.
void BM_SearchStep(benchmark::State &state) {
    kv_editor *ed = make_editor(100);
    kv_history_add(ed, "needle at the start");
    for (int i = 1; i < 100; ++i)
        kv_history_add(ed, ("haystack entry " + std::to_string(i)).c_str());
    kv_search s;
    kv_search_clear(&s);
    kv_search_start(ed, &s);
    kv_search_extend(ed, &s, "needle", 6);
    for (auto _ : state)
        benchmark::DoNotOptimize(kv_history_search_refresh(ed, &s, 0));
    kv_search_free(&s);
    kv_destroy(ed);
}
BENCHMARK(BM_SearchStep);

} // namespace

BENCHMARK_MAIN();
