// Whole writes and interrupted-safe reads over the system-call table: the
// loops that terminal output, the history file and every input read share.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string_view>

// Writes all of bytes[0..len) to fd, continuing partial writes and retrying
// EINTR; a write that takes nothing counts as failure.  0 or -1.
int kv_write_all(int fd, const char *bytes, size_t len) noexcept;
// Writes one whole byte string, such as a fixed control sequence; 0 or -1.
inline int kv_write_seq(int fd, std::string_view seq) noexcept {
    return kv_write_all(fd, seq.data(), seq.size());
}
// One read of at most n bytes, repeated while a signal interrupts it before
// anything arrives; otherwise read's own result (errno set when negative).
ssize_t kv_read_retrying(int fd, void *buf, size_t n) noexcept;
