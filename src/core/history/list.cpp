// The history list: a bounded ring of owned lines, oldest first, and the
// navigation walk that swaps entries into the line buffer.  The ring grows by
// doubling as entries arrive, never beyond the limit, so a huge limit costs
// nothing up front and adding to a full list drops the oldest entry in O(1).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/alloc.h"
#include "base/error.h"
#include "history/history.h"
#include "history/internal.h"
#include "history/messages.h"
#include "text/text.h"

namespace {

constexpr int kv_first_history_cap = 16;

// Ring position of logical entry i.
int kv_ring_pos(const kv_history_list &h, int i) noexcept {
    return static_cast<int>((static_cast<long>(h.head) + i) % h.cap);
}

char **kv_alloc_ring(int cap) noexcept {
    if (static_cast<size_t>(cap) > SIZE_MAX / sizeof(char *)) return nullptr;
    return static_cast<char **>(kv_malloc(static_cast<size_t>(cap) * sizeof(char *)));
}

// Makes room for one more entry when the ring is full but below the limit.
// On failure the list stays exactly as it was.
int kv_ring_grow(kv_state *st) noexcept {
    if (st->history.count < st->history.cap || st->history.cap >= st->history.max_len) return 0;
    long want = std::min<long>(2L * st->history.cap, st->history.max_len);
    int cap = static_cast<int>(want);
    if (static_cast<size_t>(cap) > SIZE_MAX / sizeof(char *)) return kv_rc_failed;
    auto *ring = static_cast<char **>(
        kv_realloc(st->history.entries, static_cast<size_t>(cap) * sizeof(char *)));
    if (!ring) return kv_rc_failed;
    // The ring is full: when it wraps, the entries from the head to the old
    // end are the older part; move them to the end of the larger block so
    // the free slots sit between the newest and the oldest entry.
    if (st->history.head != 0) {
        int tail = st->history.cap - st->history.head;
        std::memmove(ring + (cap - tail), ring + st->history.head,
                     static_cast<size_t>(tail) * sizeof(char *));
        st->history.head = cap - tail;
    }
    st->history.entries = ring;
    st->history.cap = cap;
    return 0;
}

// Creates the first, small ring.  The limit is above 0.
bool kv_ring_create(kv_state *st) noexcept {
    int cap = std::min(kv_first_history_cap, st->history.max_len);
    st->history.entries = kv_alloc_ring(cap);
    if (!st->history.entries) return false;
    st->history.cap = cap;
    st->history.head = 0;
    st->history.count = 0;
    return true;
}

// Releases the oldest entry.
void kv_ring_drop_oldest(kv_state *st) noexcept {
    kv_free(st->history.entries[st->history.head]);
    st->history.head = (st->history.head + 1) % st->history.cap;
    --st->history.count;
}

// Stores an owned copy as the newest entry, dropping the oldest at the limit.
void kv_ring_push(kv_state *st, char *copy) noexcept {
    if (st->history.count == st->history.max_len) kv_ring_drop_oldest(st);
    st->history.entries[kv_ring_pos(st->history, st->history.count)] = copy;
    ++st->history.count;
}

bool kv_newest_equals(const kv_state *st, const char *line) noexcept {
    return st->history.count > 0 &&
           std::strcmp(kv_history_entry(st->history, st->history.count - 1), line) == 0;
}

// Moves the newest keep entries into a fresh ring of cap slots, releasing
// the others.  -1 (nothing changed) when the ring cannot be allocated.
int kv_ring_compact(kv_state *st, int keep, int cap) noexcept {
    char **ring = kv_alloc_ring(cap);
    if (!ring) return kv_rc_failed;
    int drop = st->history.count - keep;
    for (int i = 0; i < drop; ++i)
        kv_free(st->history.entries[kv_ring_pos(st->history, i)]);
    for (int i = 0; i < keep; ++i)
        ring[i] = st->history.entries[kv_ring_pos(st->history, drop + i)];
    kv_free(st->history.entries);
    st->history.entries = ring;
    st->history.cap = cap;
    st->history.head = 0;
    st->history.count = keep;
    return 0;
}

// Releases every entry and the ring; the walk is left alone.
void kv_release_entries(kv_state *st) noexcept {
    for (int i = 0; i < st->history.count; ++i)
        kv_free(st->history.entries[kv_ring_pos(st->history, i)]);
    kv_free(st->history.entries);
    st->history.entries = nullptr;
    st->history.count = 0;
    st->history.cap = 0;
    st->history.head = 0;
}

} // namespace

const char *kv_history_entry(const kv_history_list &h, int i) noexcept {
    return h.entries[kv_ring_pos(h, i)];
}

void kv_history_forget_edits(kv_history_list &h) noexcept {
    for (int i = 0; i < h.edits_cap; ++i)
        kv_free(h.edits[i]);
    kv_free(h.edits);
    h.edits = nullptr;
    h.edits_cap = 0;
}

void kv_history_reset_walk(kv_history_list &h) noexcept {
    kv_free(h.saved);
    h.saved = nullptr;
    h.walk = -1;
    kv_history_forget_edits(h);
}

void kv_history_free(kv_state *st) noexcept {
    if (!st) return;
    kv_release_entries(st);
    kv_history_reset_walk(st->history);
}

extern "C" int kv_history_add_impl(kv_editor *ed, const char *line) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || !line) return kv_rc_invalid;
    if (st->history.max_len == 0 || line[0] == '\0') return 0;
    size_t len = std::strlen(line);
    if (len > st->line.max_len) return kv_fail_with(st, kv_result::invalid, kv_msg_too_long);
    if (!st->history.entries && !kv_ring_create(st)) {
        return kv_fail_with(st, kv_result::out_of_memory, kv_msg_oom_alloc);
    }
    if (kv_newest_equals(st, line)) return 0;
    if (kv_ring_grow(st) != 0) return kv_fail_with(st, kv_result::out_of_memory, kv_msg_oom_alloc);
    char *copy = kv_strndup(line, len);
    if (!copy) return kv_fail_with(st, kv_result::out_of_memory, kv_msg_oom_add);
    kv_ring_push(st, copy);
    return 0;
}

extern "C" int kv_history_set_max(kv_editor *ed, int32_t max) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return kv_rc_invalid;
    if (max < 0) return kv_fail_with(st, kv_result::invalid, kv_msg_bad_len);
    if (max == st->history.max_len) return 0;
    if (max == 0) {
        kv_release_entries(st);
        st->history.max_len = 0;
        return 0;
    }
    // The ring never holds more slots than the limit, so only a limit below
    // its size drops entries; the memory then follows the limit down.
    if (st->history.entries && max < st->history.cap) {
        if (kv_ring_compact(st, std::min(st->history.count, max), max) != 0) {
            return kv_fail_with(st, kv_result::out_of_memory, kv_msg_oom_resize);
        }
    }
    st->history.max_len = max;
    return 0;
}

namespace {

// The text the walk shows at position i: what the user left there, else the
// entry (or, past the newest entry, the typed line).
const char *kv_walk_text(const kv_state *st, int i) noexcept {
    if (i < st->history.count) {
        if (i < st->history.edits_cap && st->history.edits[i]) return st->history.edits[i];
        return kv_history_entry(st->history, i);
    }
    return st->history.saved ? st->history.saved : "";
}

// Makes room for an edit at position i (below the count).
bool kv_edits_reserve(kv_state *st, int i) noexcept {
    if (i < st->history.edits_cap) return true;
    const int cap = st->history.count;
    auto *grown = static_cast<char **>(
        kv_realloc(st->history.edits, static_cast<size_t>(cap) * sizeof(char *)));
    if (!grown) return false;
    for (int k = st->history.edits_cap; k < cap; ++k)
        grown[k] = nullptr;
    st->history.edits = grown;
    st->history.edits_cap = cap;
    return true;
}

// Keeps the line in the buffer as the text of walk position i, which the
// walk is leaving: past the newest entry it is the typed line; at an entry it
// is an edit, kept while it differs from the entry.  False when memory ran
// out (the message is set and nothing changed).
bool kv_walk_keep(kv_state *st, int i) noexcept {
    const char *line = st->line.text;
    const size_t len = st->line.len;
    char **slot = &st->history.saved;
    if (i < st->history.count) {
        const char *entry = kv_history_entry(st->history, i);
        const bool unedited = std::strlen(entry) == len && std::memcmp(entry, line, len) == 0;
        if (unedited && i >= st->history.edits_cap) return true;
        if (!kv_edits_reserve(st, i)) {
            kv_set_error(st, kv_msg_oom_walk);
            return false;
        }
        slot = &st->history.edits[i];
        if (unedited) {
            kv_free(*slot);
            *slot = nullptr;
            return true;
        }
    }
    char *copy = kv_strndup(line, len);
    if (!copy) {
        kv_set_error(st, kv_msg_oom_walk);
        return false;
    }
    kv_free(*slot);
    *slot = copy;
    return true;
}

} // namespace

void kv_history_nav(kv_editor *ed, int delta) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || st->history.count <= 0) return;
    // Past the newest entry the buffer holds the user's own line: Down there
    // leaves it alone.
    if (st->history.walk == st->history.count && delta >= 0) return;
    // A stale index (the list shrank during the walk) counts from the
    // position past the newest entry.
    const int from =
        st->history.walk == -1 ? st->history.count : std::min(st->history.walk, st->history.count);
    // What the user left at this position is what the walk shows when it
    // comes back.  Without a copy of it, coming back would show an old or
    // empty line: the walk does not move and the line stays.
    if (!kv_walk_keep(st, from)) return;
    st->history.walk = from;
    long n = std::max(0L, static_cast<long>(from) + delta);
    int index = static_cast<int>(std::min<long>(n, st->history.count));
    // The index follows the line: after a failed replacement both stay.
    if (kv_buf_set(ed, kv_walk_text(st, index)) == 0) st->history.walk = index;
}
