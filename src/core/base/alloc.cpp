// Allocation wrappers over the system allocator, with the fault-injection
// countdown that the tests use to reach every out-of-memory path.
#include "base/alloc.h"

#include "common/alloc_seam.h"

long kv_alloc_countdown = -1;

namespace {
using kv_seam = kv_alloc_seam<kv_alloc_countdown>;
} // namespace

void *kv_malloc(size_t n) noexcept { return kv_seam::malloc(n); }
void *kv_calloc(size_t count, size_t size) noexcept { return kv_seam::calloc(count, size); }
void *kv_realloc(void *p, size_t n) noexcept { return kv_seam::realloc(p, n); }
void kv_free(void *p) noexcept { std::free(p); }
char *kv_strndup(const char *bytes, size_t len) noexcept { return kv_seam::strndup(bytes, len); }
