// Memory for the linenoise layer: the system allocator behind one seam, so
// that tests can make the n-th allocation fail.
#include <cstdlib>
#include <cstring>

#include "ln.h"

long kvl_alloc_countdown = -1;

static bool kvl_alloc_fails() noexcept {
    if (kvl_alloc_countdown < 0) return false;
    if (kvl_alloc_countdown > 0) --kvl_alloc_countdown;
    return kvl_alloc_countdown == 0;
}

void *kvl_malloc(size_t n) noexcept {
    if (kvl_alloc_fails()) return nullptr;
    return std::malloc(n == 0 ? 1 : n);
}

void *kvl_realloc(void *p, size_t n) noexcept {
    if (kvl_alloc_fails()) return nullptr;
    return std::realloc(p, n == 0 ? 1 : n);
}

char *kvl_strndup(const char *bytes, size_t len) noexcept {
    auto *copy = static_cast<char *>(kvl_malloc(len + 1));
    if (!copy) return nullptr;
    if (len) std::memcpy(copy, bytes, len);
    copy[len] = '\0';
    return copy;
}
