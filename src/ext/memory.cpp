// The companion's memory: the system allocator behind one seam, so that the
// tests can make the n-th allocation fail.
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
