// Whole writes and interrupted-safe reads through the system-call table.
#include "base/io.h"

#include <cerrno>

#include "base/error.h"
#include "base/sys.h"

int kv_write_all(int fd, const char *bytes, size_t len) noexcept {
    if (len > 0 && !bytes) return kv_rc_failed;
    size_t done = 0;
    while (done < len) {
        ssize_t n = kv_sys.write(fd, bytes + done, len - done);
        // A signal that arrives before anything is written interrupts the
        // call without loss; write again.
        if (n < 0 && errno == EINTR) continue;
        // 0 would loop for ever on a descriptor that accepts nothing.
        if (n <= 0) return kv_rc_failed;
        size_t wrote = static_cast<size_t>(n);
        done += wrote < len - done ? wrote : len - done;
    }
    return 0;
}

ssize_t kv_read_retrying(int fd, void *buf, size_t n) noexcept {
    ssize_t r;
    do {
        r = kv_sys.read(fd, buf, n);
    } while (r < 0 && errno == EINTR);
    return r;
}
