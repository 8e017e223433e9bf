// The history list seen whole: its state as a record, and an entry replaced
// in place.
#include <cstdlib>
#include <cstring>

#include "rl.h"

extern "C" {

HISTORY_STATE *history_get_history_state(void) {
    auto *state = static_cast<HISTORY_STATE *>(kvr_malloc(sizeof(HISTORY_STATE)));
    if (!state) return nullptr;
    state->entries = const_cast<HIST_ENTRY **>(kvr_history_entries());
    state->offset = history_length; // no walk: the position after the newest
    state->length = history_length;
    state->size = history_length;
    state->flags = history_is_stifled() ? HS_STIFLED : 0;
    return state;
}

HIST_ENTRY *replace_history_entry(int which, const char *line, histdata_t data) {
    if (which < 0 || which >= history_length || !line) return nullptr;
    auto *entry = static_cast<HIST_ENTRY *>(kvr_malloc(sizeof(HIST_ENTRY)));
    if (!entry) return nullptr;
    HIST_ENTRY *old = kvr_history_entries()[which];
    entry->line = kvr_strndup(line, std::strlen(line));
    const char *stamp = old->timestamp ? old->timestamp : "";
    entry->timestamp = kvr_strndup(stamp, std::strlen(stamp));
    entry->data = data;
    if (!entry->line || !entry->timestamp) {
        std::free(entry->line);
        std::free(entry->timestamp);
        std::free(entry);
        return nullptr;
    }
    return kvr_history_swap(which, entry);
}

} // extern "C"
