#include "write_capture.h"

#include <cerrno>
#include <stdexcept>

#include "base/sys.h"

namespace {
WriteCapture *current = nullptr;
}

WriteCapture::WriteCapture(int rows, int cols)
    : screen_(rows, cols), rows_(rows), cols_(cols), saved_write_(kv_sys.write),
      saved_winsize_(kv_sys.winsize) {
    if (current) throw std::logic_error("one WriteCapture at a time");
    current = this;
    kv_sys.write = write_hook;
    kv_sys.winsize = winsize_hook;
}

WriteCapture::~WriteCapture() {
    kv_sys.write = saved_write_;
    kv_sys.winsize = saved_winsize_;
    current = nullptr;
}

void WriteCapture::set_size(int rows, int cols) {
    rows_ = rows;
    cols_ = cols;
    size_fails_ = false;
}

void WriteCapture::fail_write(long n, bool sticky) {
    fail_countdown_ = n;
    sticky_ = sticky;
    failing_ = false;
}

std::string WriteCapture::text() const {
    std::string all;
    for (const auto &p : pieces_)
        all += p;
    return all;
}

ssize_t WriteCapture::write_hook(int, const void *buf, size_t n) {
    WriteCapture &t = *current;
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

int WriteCapture::winsize_hook(int, struct winsize *ws) {
    WriteCapture &t = *current;
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
