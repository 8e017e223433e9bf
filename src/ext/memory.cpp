// The companion's memory: the system allocator behind one seam, so that the
// tests can make the n-th allocation fail, and the byte strings built on it.
#include <cstdlib>
#include <cstring>

#include "ext.h"
#include "fault_seam.h"

long kvx_alloc_countdown = -1;

namespace {

bool kvx_alloc_should_fail() noexcept {
    if (kvx_alloc_countdown < 0) return false;
    if (kvx_alloc_countdown > 0) --kvx_alloc_countdown;
    return kvx_alloc_countdown == 0;
}

} // namespace

void *kvx_malloc(size_t n) noexcept { return kvx_alloc_should_fail() ? nullptr : std::malloc(n); }

void *kvx_realloc(void *p, size_t n) noexcept {
    return kvx_alloc_should_fail() ? nullptr : std::realloc(p, n);
}

void kvx_free(void *p) noexcept { std::free(p); }

bool kvx_reserve(kvx_bytes &b, size_t n) noexcept {
    if (n < b.cap) return true;
    if (n == SIZE_MAX) return false;
    size_t cap = b.cap ? b.cap : 64;
    while (cap <= n) {
        if (cap > SIZE_MAX / 2) return false;
        cap *= 2;
    }
    auto *p = static_cast<char *>(kvx_realloc(b.data, cap));
    if (!p) return false;
    if (!b.data) p[0] = '\0';
    b.data = p;
    b.cap = cap;
    return true;
}

bool kvx_append(kvx_bytes &b, const char *s, size_t k) noexcept {
    if (k > SIZE_MAX - b.len - 1 || !kvx_reserve(b, b.len + k)) return false;
    if (k) std::memcpy(b.data + b.len, s, k);
    b.len += k;
    b.data[b.len] = '\0';
    return true;
}

void kvx_release(kvx_bytes &b) noexcept {
    kvx_free(b.data);
    b = kvx_bytes{};
}
