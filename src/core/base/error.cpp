// The last error text: 160 bytes, always zero-terminated, overwritten whole
// by every reported error and never cleared.
#include "base/error.h"

#include <cstring>

void kv_set_error(kv_state *st, const char *msg) noexcept {
    if (!st) return;
    std::memset(st->error.text, 0, sizeof st->error.text);
    if (msg) std::strncpy(st->error.text, msg, sizeof st->error.text - 1);
}
