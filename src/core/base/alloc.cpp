// Allocation wrappers over the system allocator, with the fault-injection
// countdown that the tests use to reach every out-of-memory path.
#include "base/alloc.h"

#include <cstdlib>
#include <cstring>

long kv_alloc_countdown = -1;

namespace {

// True when this allocation is to fail.
bool kv_alloc_should_fail() noexcept {
    if (kv_alloc_countdown < 0) return false;
    if (kv_alloc_countdown > 0) --kv_alloc_countdown;
    return kv_alloc_countdown == 0;
}

} // namespace

void *kv_malloc(size_t n) noexcept { return kv_alloc_should_fail() ? nullptr : std::malloc(n); }

void *kv_calloc(size_t count, size_t size) noexcept {
    return kv_alloc_should_fail() ? nullptr : std::calloc(count, size);
}

void *kv_realloc(void *p, size_t n) noexcept {
    return kv_alloc_should_fail() ? nullptr : std::realloc(p, n);
}

void kv_free(void *p) noexcept { std::free(p); }

char *kv_strndup(const char *bytes, size_t len) noexcept {
    auto *copy = static_cast<char *>(kv_malloc(len + 1));
    if (!copy) return nullptr;
    if (len) std::memcpy(copy, bytes, len);
    copy[len] = '\0';
    return copy;
}
