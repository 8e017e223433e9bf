// Inside the history room: reading the ring by logical index, which the file
// and the search share, and the search step behind the search operations.
#pragma once

#include "history/history.h"

// Logical entry i (0 = oldest) of the list; i must be below the count.
const char *kv_history_entry(const kv_history_list &h, int i) noexcept;

// The search step: finds the match (advance: next older one), puts it or the
// saved line into the buffer, composes the display text.  0 or -1.
int kv_history_search_refresh(kv_editor *ed, kv_search *s, int advance) noexcept;
