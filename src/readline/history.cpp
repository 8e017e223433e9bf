// The readline layer's history list: its own copy of every entry (the core's
// list cannot be read back), with readline's numbering (history_base) and
// its limit (stifle_history).
#include <cstdlib>
#include <cstring>

#include "rl.h"

int history_length = 0;
int history_base = 1;
int history_max_entries = 0;

namespace {

HIST_ENTRY **entries = nullptr; // history_length used, capacity slots
int capacity = 0;
bool stifled = false;
unsigned long rewrites = 0;

void free_entry(HIST_ENTRY *e) noexcept {
    if (!e) return;
    std::free(e->line);
    std::free(e->timestamp);
    std::free(e);
}

// Drops the oldest `count` entries; history_base moves past them.  An entry
// that gives way to a new one under the limit is no rewrite: a copy kept
// under the same limit drops it the same way.
void drop_oldest(int count, bool rewrite) noexcept {
    if (count <= 0) return;
    if (count > history_length) count = history_length;
    for (int i = 0; i < count; ++i)
        free_entry(entries[i]);
    std::memmove(entries, entries + count,
                 sizeof *entries * static_cast<size_t>(history_length - count + 1));
    history_length -= count;
    history_base += count;
    if (rewrite) ++rewrites;
}

// Room for one more entry and the null that ends history_list().
bool reserve_one() noexcept {
    if (history_length + 2 <= capacity) return true;
    int want = capacity ? capacity * 2 : 64;
    auto *grown = static_cast<HIST_ENTRY **>(
        kvr_realloc(entries, sizeof *entries * static_cast<size_t>(want)));
    if (!grown) return false;
    entries = grown;
    capacity = want;
    return true;
}

} // namespace

unsigned long kvr_history_rewrites() noexcept { return rewrites; }

HIST_ENTRY *const *kvr_history_entries() noexcept { return entries; }

HIST_ENTRY *kvr_history_swap(int which, HIST_ENTRY *entry) noexcept {
    if (which < 0 || which >= history_length || !entry) return nullptr;
    HIST_ENTRY *old = entries[which];
    entries[which] = entry;
    ++rewrites;
    return old;
}

bool kvr_history_push(const char *line, size_t len, const char *stamp, size_t stamp_len) noexcept {
    if (stifled && history_max_entries <= 0) return true; // a limit of 0 keeps nothing
    if (!reserve_one()) return false;
    auto *e = static_cast<HIST_ENTRY *>(kvr_malloc(sizeof(HIST_ENTRY)));
    if (!e) return false;
    e->line = kvr_strndup(line, len);
    e->timestamp = kvr_strndup(stamp, stamp_len);
    e->data = nullptr;
    if (!e->line || !e->timestamp) {
        free_entry(e);
        return false;
    }
    if (stifled && history_length >= history_max_entries)
        drop_oldest(history_length - history_max_entries + 1, false);
    entries[history_length++] = e;
    entries[history_length] = nullptr;
    return true;
}

extern "C" {

void add_history(const char *string) {
    if (!string) return;
    // add_history reports nothing: an entry that finds no memory is lost.
    (void)kvr_history_push(string, std::strlen(string), "", 0);
}

void clear_history(void) {
    for (int i = 0; i < history_length; ++i)
        free_entry(entries[i]);
    if (entries) entries[0] = nullptr;
    history_length = 0;
    history_base = 1;
    ++rewrites;
}

void stifle_history(int max) {
    if (max < 0) max = 0;
    if (history_length > max) drop_oldest(history_length - max, true);
    stifled = true;
    history_max_entries = max;
}

int unstifle_history(void) {
    if (!stifled) return history_max_entries > 0 ? -history_max_entries : -1;
    stifled = false;
    return history_max_entries;
}

int history_is_stifled(void) { return stifled ? 1 : 0; }

HIST_ENTRY *history_get(int offset) {
    long index = static_cast<long>(offset) - history_base;
    if (index < 0 || index >= history_length) return nullptr;
    return entries[index];
}

HIST_ENTRY **history_list(void) { return history_length ? entries : nullptr; }

HIST_ENTRY *remove_history(int which) {
    if (which < 0 || which >= history_length) return nullptr;
    HIST_ENTRY *e = entries[which];
    std::memmove(entries + which, entries + which + 1,
                 sizeof *entries * static_cast<size_t>(history_length - which));
    --history_length;
    ++rewrites;
    return e;
}

histdata_t free_history_entry(HIST_ENTRY *entry) {
    if (!entry) return nullptr;
    histdata_t data = entry->data;
    free_entry(entry);
    return data;
}

} // extern "C"
