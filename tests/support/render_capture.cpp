#include "render_capture.h"

#include <cerrno>
#include <stdexcept>

#include "base/sys.h"
#include "text/text.h"

namespace {

WriteCapture *active_capture = nullptr;

ssize_t capture_write(int, const void *buf, size_t n) {
    WriteCapture *c = active_capture;
    if (c->fail_at >= 0 && static_cast<long>(c->calls.size()) == c->fail_at) {
        c->calls.emplace_back("<failed>");
        errno = EIO;
        return -1;
    }
    c->calls.emplace_back(static_cast<const char *>(buf), n);
    return static_cast<ssize_t>(n);
}

struct winsize stub_size{};
bool stub_ok = true;

int stub_winsize(int, struct winsize *ws) {
    if (!stub_ok) {
        errno = ENOTTY;
        return -1;
    }
    *ws = stub_size;
    return 0;
}

} // namespace

WriteCapture::WriteCapture() : saved_(kv_sys.write) {
    active_capture = this;
    kv_sys.write = capture_write;
}

WriteCapture::~WriteCapture() {
    kv_sys.write = saved_;
    active_capture = nullptr;
}

std::string WriteCapture::all() const {
    std::string out;
    for (const std::string &s : calls) out += s;
    return out;
}

WinsizeStub::WinsizeStub(int rows, int cols, bool ok) : saved_(kv_sys.winsize) {
    set(rows, cols, ok);
    kv_sys.winsize = stub_winsize;
}

WinsizeStub::~WinsizeStub() { kv_sys.winsize = saved_; }

void WinsizeStub::set(int rows, int cols, bool ok) {
    stub_size = {};
    stub_size.ws_row = static_cast<unsigned short>(rows);
    stub_size.ws_col = static_cast<unsigned short>(cols);
    stub_ok = ok;
}

RenderEditor::RenderEditor(int width, size_t max_line_len) {
    kv_config c;
    kv_config_init(&c);
    c.width = width;
    c.max_line_len = max_line_len;
    ed = kv_create_with_config(&c);
    if (!ed) throw std::runtime_error("kv_create_with_config failed");
}

RenderEditor::~RenderEditor() { kv_destroy(ed); }

void RenderEditor::set(std::string_view text, size_t pos) {
    if (kv_buf_set_bytes(ed, text.data(), text.size()) != 0)
        throw std::runtime_error("kv_buf_set_bytes failed");
    st()->cursor = pos;
}
