// Bracketed paste through a whole readline call on a pseudo-terminal: the
// cost per pasted byte should stay flat as the paste grows, because a burst
// of pasted bytes is drawn once rather than after every byte.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "kavrik.h"

namespace {

// Reads whatever the editor wrote, so that its writes never block.
void drain(int master, std::string *out) {
    char buf[8192];
    ssize_t n;
    while ((n = read(master, buf, sizeof buf)) > 0)
        if (out->size() < 64) out->append(buf, static_cast<size_t>(n));
}

void BM_PasteThroughReadline(benchmark::State &state) {
    const size_t n = static_cast<size_t>(state.range(0));
    std::string text;
    while (text.size() < n)
        text += "word ";
    text.resize(n);
    const std::string input = "\x1b[200~" + text + "\x1b[201~\r";

    int master = -1, slave = -1;
    struct winsize ws {};
    ws.ws_row = 24;
    ws.ws_col = 80;
    if (openpty(&master, &slave, nullptr, nullptr, &ws) != 0) {
        state.SkipWithError("openpty failed");
        return;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.in_fd = slave;
    cfg.out_fd = slave;
    cfg.max_line_len = n + 16;
    kv_editor *ed = kv_create_with_config(&cfg);

    for (auto _ : state) {
        std::atomic<bool> done{false};
        size_t got = 0;
        std::thread call([&] {
            char *line = kv_readline(ed, "> ");
            got = line ? std::string(line).size() : 0;
            kv_free_string(ed, line);
            done = true;
        });
        // Raw mode flushes pending input: type only once the call is ready.
        std::string head; // the first output of the call
        size_t off = 0;
        while (!done) {
            bool ready = head.find("\x1b[?2004h") != std::string::npos;
            if (ready && off < input.size()) {
                ssize_t w = write(master, input.data() + off, input.size() - off);
                if (w > 0) off += static_cast<size_t>(w);
            }
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 1) > 0) drain(master, &head);
        }
        call.join();
        drain(master, &head);
        if (got != n) state.SkipWithError("the pasted line did not come back whole");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
    kv_destroy(ed);
    close(slave);
    close(master);
}
BENCHMARK(BM_PasteThroughReadline)
    ->Arg(1 << 10)
    ->Arg(1 << 13)
    ->Arg(1 << 16)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
