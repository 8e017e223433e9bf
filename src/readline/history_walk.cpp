// The current position in the history list, which programs move with
// history_set_pos, previous_history and next_history to walk the list (psql
// walks it from oldest to newest to write its history file).  The position
// is an index into the list: 0 is the oldest entry, history_length stands
// after the newest.  Every readline() call starts with it at the end.
#include "rl.h"

namespace {

int offset = 0;

// The list may have shrunk (clear_history, remove_history, a new limit)
// since the position was set; it never points past the end.
int position() noexcept {
    if (offset > history_length) offset = history_length;
    if (offset < 0) offset = 0;
    return offset;
}

HIST_ENTRY *entry_at(int index) noexcept {
    HIST_ENTRY *const *list = kvr_history_entries();
    return list && index >= 0 && index < history_length ? list[index] : nullptr;
}

} // namespace

extern "C" {

void using_history(void) { offset = history_length; }

int where_history(void) { return position(); }

int history_set_pos(int pos) {
    if (pos < 0 || pos > history_length) return 0;
    offset = pos;
    return 1;
}

HIST_ENTRY *current_history(void) { return entry_at(position()); }

HIST_ENTRY *previous_history(void) {
    int at = position();
    if (at == 0) return nullptr;
    offset = at - 1;
    return entry_at(offset);
}

HIST_ENTRY *next_history(void) {
    int at = position();
    if (at == history_length) return nullptr;
    offset = at + 1;
    return entry_at(offset);
}

} // extern "C"
