// Cost of the companion's undo on a line of a megabyte: an idle tick that
// finds nothing changed (one comparison), a tick that records a one-byte
// change in the middle (the comparison, the changed tail moved once, one byte
// kept), and Ctrl-_ with Ctrl-^ walking that step back and forth (the line
// composed once and handed to the editor).  Each should stay far under the
// 0.1 s between ticks.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "ext.h"
#include "kavrik.h"
#include "kavrik_ext.h"

namespace {

struct Setup {
    int null_fd = open("/dev/null", O_WRONLY);
    kv_editor *ed = nullptr;
    kvx_attachment *ext = nullptr;
    Setup() {
        kv_config cfg;
        kv_config_init(&cfg);
        cfg.out_fd = null_fd;
        cfg.max_line_len = 2 << 20;
        ed = kv_create_with_config(&cfg);
        kvx_options o;
        kvx_options_init(&o);
        o.features = KVX_UNDO;
        o.max_line_len = 2 << 20;
        o.out_fd = null_fd;
        kvx_attach(ed, &o, &ext);
        kv_set_buffer(ed, std::string(1 << 20, 'a').c_str());
        kvx_tick(ed, ext);
    }
    ~Setup() {
        kvx_detach(ext);
        kv_destroy(ed);
        close(null_fd);
    }
    void key(int k) {
        int action = 0;
        kvx_undo_key(ed, k, ext, &action);
    }
};

void BM_TickWithoutChange(benchmark::State &state) {
    Setup s;
    for (auto _ : state)
        kvx_tick(s.ed, s.ext);
}
BENCHMARK(BM_TickWithoutChange)->Unit(benchmark::kMicrosecond);

void BM_TickRecordingOneByte(benchmark::State &state) {
    Setup s;
    kv_set_cursor(s.ed, 1 << 19);
    for (auto _ : state) {
        state.PauseTiming();
        kv_insert(s.ed, "x");
        state.ResumeTiming();
        kvx_tick(s.ed, s.ext);
    }
    if (kvx_last_result(s.ext) != 0) state.SkipWithError("a step was not recorded");
}
BENCHMARK(BM_TickRecordingOneByte)->Unit(benchmark::kMicrosecond);

void BM_UndoAndRedo(benchmark::State &state) {
    Setup s;
    kv_set_cursor(s.ed, 1 << 19);
    kv_insert(s.ed, "x");
    kvx_tick(s.ed, s.ext);
    for (auto _ : state) {
        s.key(31);
        s.key(30);
    }
    if (std::string(kv_buffer(s.ed)).size() != (1u << 20) + 1)
        state.SkipWithError("redo did not restore");
}
BENCHMARK(BM_UndoAndRedo)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
