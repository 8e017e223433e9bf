// Memory for the readline layer: the system allocator behind one seam, so
// that tests can make the n-th allocation fail.
#include "common/alloc_seam.h"
#include "rl.h"

long kvr_alloc_countdown = -1;

namespace {
using kvr_seam = kv_alloc_seam<kvr_alloc_countdown>;
} // namespace

void *kvr_malloc(size_t n) noexcept { return kvr_seam::malloc(n); }
void *kvr_realloc(void *p, size_t n) noexcept { return kvr_seam::realloc(p, n); }
char *kvr_strndup(const char *bytes, size_t len) noexcept { return kvr_seam::strndup(bytes, len); }
void kvr_free(void *p) noexcept { std::free(p); }
