// Memory for the readline layer: the system allocator behind one seam, so
// that tests can make the n-th allocation fail.
#include <cstdlib>
#include <cstring>

#include "rl.h"

long kvr_alloc_countdown = -1;

static bool kvr_alloc_fails() noexcept {
    if (kvr_alloc_countdown < 0) return false;
    if (kvr_alloc_countdown > 0) --kvr_alloc_countdown;
    return kvr_alloc_countdown == 0;
}

void *kvr_malloc(size_t n) noexcept {
    if (kvr_alloc_fails()) return nullptr;
    return std::malloc(n == 0 ? 1 : n);
}

void *kvr_realloc(void *p, size_t n) noexcept {
    if (kvr_alloc_fails()) return nullptr;
    return std::realloc(p, n == 0 ? 1 : n);
}

char *kvr_strndup(const char *bytes, size_t len) noexcept {
    auto *copy = static_cast<char *>(kvr_malloc(len + 1));
    if (!copy) return nullptr;
    if (len) std::memcpy(copy, bytes, len);
    copy[len] = '\0';
    return copy;
}

void kvr_free(void *p) noexcept { std::free(p); }
