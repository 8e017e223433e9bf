// Reporting errors: every room leaves its message in the editor's last error
// text through this one routine.
#pragma once

#include "base/state.h"

// Copies msg into the last error text (cut at 159 bytes, zero-filled).
void kv_set_error(kv_state *st, const char *msg) noexcept;
