#include "bounded_term.h"

#include <cerrno>
#include <stdexcept>

#include "base/state.h"
#include "base/sys.h"
#include "text/text.h"

namespace {
TermCapture *current = nullptr;
}

TermCapture::TermCapture(int rows, int cols) : screen_(rows, cols), rows_(rows), cols_(cols) {
    if (current) throw std::logic_error("one TermCapture at a time");
    current = this;
    kv_sys.write = write_hook;
    kv_sys.winsize = winsize_hook;
}

TermCapture::~TermCapture() {
    kv_sys_reset();
    current = nullptr;
}

void TermCapture::set_size(int rows, int cols) {
    rows_ = rows;
    cols_ = cols;
    size_fails_ = false;
}

void TermCapture::fail_write(long n, bool sticky) {
    fail_countdown_ = n;
    sticky_ = sticky;
    failing_ = false;
}

std::string TermCapture::text() const {
    std::string all;
    for (const auto &p : pieces_) all += p;
    return all;
}

ssize_t TermCapture::write_hook(int, const void *buf, size_t n) {
    TermCapture &t = *current;
    if (!t.failing_ && t.fail_countdown_ > 0 && --t.fail_countdown_ == 0) t.failing_ = true;
    if (t.failing_) {
        ++t.failed_;
        if (!t.sticky_) t.failing_ = false;
        errno = EIO;
        return -1;
    }
    std::string_view bytes(static_cast<const char *>(buf), n);
    t.pieces_.emplace_back(bytes);
    t.screen_.feed(bytes);
    return static_cast<ssize_t>(n);
}

int TermCapture::winsize_hook(int, struct winsize *ws) {
    TermCapture &t = *current;
    if (t.size_fails_) {
        errno = ENOTTY;
        return -1;
    }
    ws->ws_row = static_cast<unsigned short>(t.rows_);
    ws->ws_col = static_cast<unsigned short>(t.cols_);
    ws->ws_xpixel = 0;
    ws->ws_ypixel = 0;
    return 0;
}

kv_editor *make_captured_editor(kv_config *overrides) {
    kv_config cfg;
    if (overrides)
        cfg = *overrides;
    else
        kv_config_init(&cfg);
    cfg.in_fd = 0;
    cfg.out_fd = 1;
    kv_editor *ed = kv_create_with_config(&cfg);
    if (!ed) throw std::runtime_error("kv_create_with_config failed");
    return ed;
}

void set_line(kv_editor *ed, std::string_view text, size_t cursor) {
    if (kv_buf_set_bytes(ed, text.data(), text.size()) != 0)
        throw std::runtime_error("kv_buf_set_bytes failed");
    ed->state->cursor = cursor == std::string_view::npos ? text.size() : cursor;
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
