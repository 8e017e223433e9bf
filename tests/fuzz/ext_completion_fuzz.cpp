// The companion's completion listing: a readline call on a pseudo-terminal of
// this process (fuzz_pty.h) with the companion attached and a completer that
// offers candidates made of arbitrary bytes (control bytes, NUL, bytes that
// are not UTF-8); the keys typed are a few letters, Tab, Tab and Enter.
//
// Properties: the call returns a line (Enter is typed) with a status that
// says so; what reaches the terminal holds no C0 control byte but carriage
// return, line feed and the escape that starts the library's own CSI
// sequences, no DEL and no C1 control (a candidate's control bytes are shown
// as ^X, its invalid bytes as U+FFFD); the line holds no byte that was neither
// typed nor in a candidate (nor the space that follows a single candidate);
// the companion's last result is one of its documented codes.
//
// Input: flags, terminal columns, the typed letters, then the candidates
// (each a range selector and a text).
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_pty.h"
#include "kavrik.h"
#include "kavrik_ext.h"

namespace {

struct Candidate {
    std::string text;
    uint8_t range; // which part of the line it replaces
};

struct Completer {
    std::vector<Candidate> candidates;
    bool same_range = false;
    int calls = 0;
};

int complete(kv_editor *, const char *, size_t cursor, kvx_completions *out, void *user) {
    auto *c = static_cast<Completer *>(user);
    ++c->calls;
    for (const Candidate &k : c->candidates) {
        size_t start = 0, end = cursor;
        if (!c->same_range) {
            start = k.range % (cursor + 1);
            end = start + (k.range / 8) % (cursor - start + 1);
        }
        int rc = kvx_add_completion_n(out, k.text.data(), k.text.size(), start, end);
        FUZZ_CHECK(rc == 0, "add_completion returned " + std::to_string(rc));
    }
    return 0;
}

// The first byte of the output, outside the library's CSI sequences, that
// must not reach the terminal, or npos.
size_t first_raw_control(const std::string &out) {
    const auto *u = reinterpret_cast<const unsigned char *>(out.data());
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char b = u[i];
        if (b == 0x1B) {
            if (i + 1 >= out.size() || u[i + 1] != '[') return i;
            size_t j = i + 2;
            while (j < out.size() && u[j] >= 0x20 && u[j] <= 0x3F)
                ++j;
            if (j >= out.size() || u[j] < 0x40 || u[j] > 0x7E) return i;
            i = j;
            continue;
        }
        if (b == '\r' || b == '\n') continue;
        if (b < 0x20 || b == 0x7F) return i;
        if (b == 0xC2 && i + 1 < out.size() && u[i + 1] >= 0x80 && u[i + 1] <= 0x9F) return i;
    }
    return std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    uint8_t flags = in.byte();
    Completer comp;
    comp.same_range = flags & 1;
    bool append_space = flags & 2;
    int cols = in.range(2, 80);
    std::string typed;
    for (char ch : in.piece(6))
        typed += static_cast<char>('a' + static_cast<unsigned char>(ch) % 26);
    typed += "\t\t\r";
    int count = in.range(0, 16);
    for (int i = 0; i < count; ++i) {
        uint8_t range = in.byte();
        comp.candidates.push_back({std::string(in.piece(24)), range});
    }

    bool allowed[256] = {};
    for (unsigned char b : typed)
        allowed[b] = true;
    for (const Candidate &k : comp.candidates)
        for (unsigned char b : k.text)
            allowed[b] = true;
    allowed[' '] = true;

    pty_prepare(cols);
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.in_fd = pty_slave();
    cfg.out_fd = pty_slave();
    kv_editor *ed = kv_create_with_config(&cfg);
    FUZZ_CHECK(ed != nullptr, "editor");
    kvx_options opt;
    kvx_options_init(&opt);
    opt.features = KVX_COMPLETION;
    opt.completer = complete;
    opt.completer_data = &comp;
    opt.append_space = append_space ? 1 : 0;
    opt.out_fd = pty_slave();
    kvx_attachment *att = nullptr;
    FUZZ_CHECK(kvx_attach(ed, &opt, &att) == 0 && att != nullptr, "attach");

    std::string output;
    pty_capture_output(&output);
    PtyCallResult r = pty_readline(ed, "> ", typed, true, -1);
    pty_capture_output(nullptr);

    std::string ctx = "typed \"" + fuzz_visible(typed) + "\", candidates";
    for (const Candidate &k : comp.candidates)
        ctx += " \"" + fuzz_visible(k.text) + "\"";
    ctx += ", status " + std::to_string(r.status) + ", error \"" + r.error + "\"";
    FUZZ_CHECK(r.status == KV_STATUS_LINE && r.has_line, ctx);
    FUZZ_CHECK(r.attrs_restored, ctx + ": terminal attributes changed");
    FUZZ_CHECK(comp.calls >= 1 && comp.calls <= 2,
               ctx + ": completer called " + std::to_string(comp.calls) + " times");
    int last = kvx_last_result(att);
    FUZZ_CHECK(last == 0 || last == -1 || last == -2 || last == -3,
               ctx + ": last result " + std::to_string(last));
    size_t bad = first_raw_control(output);
    FUZZ_CHECK(bad == std::string::npos, ctx + ": raw control at " + std::to_string(bad) +
                                             " of \"" + fuzz_visible(output) + "\"");
    for (unsigned char b : r.line)
        FUZZ_CHECK(allowed[b],
                   ctx + ": line \"" + fuzz_visible(r.line) + "\" holds a byte never offered");
    kvx_detach(att);
    kv_destroy(ed);
    return 0;
}
