#include "bounded_term.h"

#include <stdexcept>

#include "base/state.h"
#include "text/text.h"

kv_editor *make_captured_editor(kv_config *overrides) {
    kv_config cfg;
    if (overrides)
        cfg = *overrides;
    else
        kv_config_init(&cfg);
    cfg.in_fd = 0;
    cfg.out_fd = 1;
    return new_test_editor(cfg);
}

void set_line(kv_editor *ed, std::string_view text, size_t cursor) {
    if (kv_buf_set_bytes(ed, text.data(), text.size()) != 0)
        throw std::runtime_error("kv_buf_set_bytes failed");
    ed->state->line.cursor = cursor == std::string_view::npos ? text.size() : cursor;
}

int Chunks::produce(kv_editor *, void *user, const char **chunk, size_t *len) {
    auto &c = *static_cast<Chunks *>(user);
    ++c.calls;
    if (c.next < c.parts.size()) {
        const std::string &p = c.parts[c.next++];
        *chunk = p.data();
        *len = p.size();
        return 0;
    }
    return c.result;
}

std::string visible(std::string_view bytes) {
    std::string out;
    for (char ch : bytes) {
        if (ch == '\x1b')
            out += "\\e";
        else if (ch == '\r')
            out += "\\r";
        else if (ch == '\n')
            out += "\\n";
        else
            out += ch;
    }
    return out;
}
