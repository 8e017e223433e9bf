// The companion's memory: the system allocator behind one seam, so that the
// tests can make the n-th allocation fail.
#include "common/alloc_seam.h"
#include "ext.h"
#include "fault_seam.h"

long kvx_alloc_countdown = -1;

namespace {
using kvx_seam = kv_alloc_seam<kvx_alloc_countdown>;
} // namespace

void *kvx_malloc(size_t n) noexcept { return kvx_seam::malloc(n); }
void *kvx_realloc(void *p, size_t n) noexcept { return kvx_seam::realloc(p, n); }
void kvx_free(void *p) noexcept { std::free(p); }
