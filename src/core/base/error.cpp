// The last error text: 160 bytes, always zero-terminated, overwritten whole
// by every reported error and never cleared.
#include "base/error.h"

#include <cstring>

void kv_set_error(kv_state *st, const char *msg) noexcept {
    if (!st) return;
    std::memset(st->last_error, 0, sizeof st->last_error);
    if (msg) std::strncpy(st->last_error, msg, sizeof st->last_error - 1);
}
