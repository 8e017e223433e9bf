// Memory for the linenoise layer: the system allocator behind one seam, so
// that tests can make the n-th allocation fail.
#include "common/alloc_seam.h"
#include "ln.h"

long kvl_alloc_countdown = -1;

namespace {
using kvl_seam = kv_alloc_seam<kvl_alloc_countdown>;
} // namespace

void *kvl_malloc(size_t n) noexcept { return kvl_seam::malloc(n); }
void *kvl_realloc(void *p, size_t n) noexcept { return kvl_seam::realloc(p, n); }
char *kvl_strndup(const char *bytes, size_t len) noexcept { return kvl_seam::strndup(bytes, len); }
