// Terminal output: the formatter for the numeric sequences of the catalogue,
// each written whole by kv_write_all.
#include <cstdio>

#include "base/error.h"
#include "base/io.h"
#include "render/internal.h"

namespace {

// Buffer sizes for the formatted sequences: one parameter ("\e[%dA") or two
// ("\e[%d;%dH", "\e[%d;%dr").
constexpr size_t kv_format_size = 32;
constexpr size_t kv_format2_size = 48;

// A formatter result that is empty or cut short counts as a failed write.
int kv_write_formatted(int fd, const char *buf, int n, size_t size) noexcept {
    if (n <= 0 || static_cast<size_t>(n) >= size) return kv_rc_failed;
    return kv_write_all(fd, buf, static_cast<size_t>(n));
}

} // namespace

int kv_write_format(int fd, const char *fmt, int a) noexcept {
    if (!fmt) return kv_rc_failed;
    char buf[kv_format_size];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::snprintf(buf, sizeof buf, fmt, a);
#pragma GCC diagnostic pop
    return kv_write_formatted(fd, buf, n, sizeof buf);
}

int kv_write_format2(int fd, const char *fmt, int a, int b) noexcept {
    if (!fmt) return kv_rc_failed;
    char buf[kv_format2_size];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::snprintf(buf, sizeof buf, fmt, a, b);
#pragma GCC diagnostic pop
    return kv_write_formatted(fd, buf, n, sizeof buf);
}
