// History: the bounded list of earlier lines with its navigation walk, the
// history file, and the reverse incremental search over the list.
#pragma once

#include <cstddef>

#include "base/state.h"
#include "kavrik.h"

extern "C" {
int kv_history_add_impl(kv_editor *ed, const char *line) noexcept;  // slot history_add
int kv_history_set_max(kv_editor *ed, int32_t max) noexcept;        // slot history_set_max_len
int kv_history_save_impl(kv_editor *ed, const char *path) noexcept; // slot history_save
int kv_history_load_impl(kv_editor *ed, const char *path) noexcept; // slot history_load
}

// Entries written by a save in a format of their own: write puts them into
// fd and returns 0, or -4 when a write fails.
struct kv_entries_source {
    int (*write)(const void *data, int fd) noexcept;
    const void *data;
};
// Saves as kv_history_save does (a new file renamed over the old one, mode
// 0600, devices written directly), with src's entries instead of the list's
// when src is not null; 0, or the code with the message set in st.
int kv_history_save_from(kv_state *st, const char *path, const kv_entries_source *src) noexcept;

// Moves the navigation walk by delta entries (negative: older).
void kv_history_nav(kv_editor *ed, int delta) noexcept;
// Ends any walk: releases the saved line and the edits made to entries
// during it, and sets the index to -1.
void kv_history_reset_walk(kv_history_list &h) noexcept;
// Releases the edits made to entries during the walk alone.
void kv_history_forget_edits(kv_history_list &h) noexcept;
// Releases every entry and the array (editor destruction).
void kv_history_free(kv_state *st) noexcept;

// ---- reverse incremental search --------------------------------------------

// One per readline call; zero-filled with match -1 when no search is active.
struct kv_search {
    int active;
    char *saved; // the line as it was when the search started
    char *query; // zero-terminated query bytes
    size_t query_len;
    size_t query_cap; // 32 at the start, doubled as needed
    int match;        // history index shown, -1 when none
    int found;        // 1 when the last step found a match
    char *display;    // shown in place of the prompt while searching
};

// Clears a record to the inactive state (releases nothing).
void kv_search_clear(kv_search *s) noexcept;
// Releases the record's strings and clears it.
void kv_search_free(kv_search *s) noexcept;

// The operations the key handling calls; each returns 0 or -1 and sets no
// message (the caller reports the failure and ends the call).
int kv_search_start(kv_editor *ed, kv_search *s) noexcept;
int kv_search_extend(kv_editor *ed, kv_search *s, const char *bytes, size_t n) noexcept;
int kv_search_erase(kv_editor *ed, kv_search *s) noexcept;
int kv_search_clear_query(kv_editor *ed, kv_search *s) noexcept;
int kv_search_next(kv_editor *ed, kv_search *s) noexcept;
void kv_search_accept(kv_search *s) noexcept;
int kv_search_cancel(kv_editor *ed, kv_search *s) noexcept;
