// The history room's record in the editor state: the list with its walk.
#pragma once

// The history, kept as a ring: logical entry i (0 = oldest) lives at
// entries[(head + i) % cap].  The array grows by doubling up to max_len, so a
// large limit costs nothing up front.
struct kv_history_list {
    char **entries;
    int count;
    int max_len;
    int cap;       // entries allocated
    int head;      // ring position of the oldest entry
    int walk;      // the entry a walk through the list shows: -1 when none is in progress
    char *saved;   // the typed line saved when the walk began
    char **edits;  // during a walk: the edited text left at entry i, or null
    int edits_cap; // entries allocated in edits
};
