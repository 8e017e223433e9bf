// Undo and redo.  The companion sees the line only at its own keys and at
// idle ticks, so a step is whatever changed between two such looks: the line
// is compared with the one last recorded, and the bytes that differ (one
// range, found from both ends) become a step that can be walked back and
// forth.  Ctrl-_ undoes, Ctrl-^ redoes.
#include <cstring>

#include "ext.h"

namespace {

constexpr size_t kvx_undo_slots = KVX_UNDO_MAX_STEPS;
constexpr size_t kvx_undo_bytes = KVX_UNDO_MAX_BYTES;
static_assert(kvx_undo_slots > 0);

constexpr const char *kvx_msg_undo_nul = "the line to restore holds a NUL byte";

constexpr int kvx_key_enter = 13, kvx_key_interrupt = 3;

kvx_undo_step &kvx_slot(kvx_undo &u, size_t i) noexcept {
    return u.steps[(u.first + i) % kvx_undo_slots];
}

void kvx_drop_step(kvx_undo &u, kvx_undo_step &s) noexcept {
    u.bytes -= s.removed + s.inserted;
    kvx_free(s.text);
    s = kvx_undo_step{};
}

void kvx_drop_oldest(kvx_undo &u) noexcept {
    kvx_drop_step(u, kvx_slot(u, 0));
    u.first = (u.first + 1) % kvx_undo_slots;
    --u.count;
    --u.done;
}

// Forgets the steps after the current one: they can no longer be redone.
void kvx_drop_redo(kvx_undo &u) noexcept {
    for (size_t i = u.done; i < u.count; ++i)
        kvx_drop_step(u, kvx_slot(u, i));
    u.count = u.done;
}

// Forgets every step; the next line starts empty.
void kvx_undo_clear(kvx_undo &u) noexcept {
    u.done = u.count;
    while (u.count)
        kvx_drop_oldest(u);
    u.first = 0;
    u.line.len = 0;
    if (u.line.data) u.line.data[0] = '\0';
    u.cursor = 0;
}

bool kvx_is_recorded(const kvx_undo &u, const char *text, size_t len) noexcept {
    return u.line.len == len && (len == 0 || std::memcmp(u.line.data, text, len) == 0);
}

// Records the change from the recorded line to text as one step.  Every
// allocation comes first; on failure nothing changes and -3 is recorded.
void kvx_record(kvx_attachment *a, const char *text, size_t len, size_t cursor) noexcept {
    kvx_undo &u = a->undo;
    size_t old = u.line.len, shorter = old < len ? old : len;
    size_t p = 0, s = 0;
    while (p < shorter && u.line.data[p] == text[p])
        ++p;
    while (s < shorter - p && u.line.data[old - 1 - s] == text[len - 1 - s])
        ++s;
    size_t removed = old - p - s, inserted = len - p - s;
    if (!u.steps) {
        u.steps = static_cast<kvx_undo_step *>(kvx_malloc(kvx_undo_slots * sizeof(kvx_undo_step)));
        if (!u.steps) return kvx_fail(a, kvx_rc_no_memory, nullptr);
        for (size_t i = 0; i < kvx_undo_slots; ++i)
            u.steps[i] = kvx_undo_step{};
    }
    // The lines differ, so the step holds at least one byte.
    auto *t = static_cast<char *>(kvx_malloc(removed + inserted));
    if (!t || !kvx_reserve(u.line, len)) {
        kvx_free(t);
        return kvx_fail(a, kvx_rc_no_memory, nullptr);
    }
    std::memcpy(t, u.line.data + p, removed);
    std::memcpy(t + removed, text + p, inserted);
    kvx_drop_redo(u);
    if (u.count == kvx_undo_slots) kvx_drop_oldest(u);
    // The recorded line becomes text: its tail moves, then the middle is copied.
    std::memmove(u.line.data + p + inserted, u.line.data + p + removed, s);
    std::memcpy(u.line.data + p, text + p, inserted);
    u.line.len = len;
    u.line.data[len] = '\0';
    kvx_slot(u, u.count) = {t, p, removed, inserted, u.cursor, cursor};
    u.bytes += removed + inserted;
    u.done = ++u.count;
    u.cursor = cursor;
    while (u.count > 1 && u.bytes > kvx_undo_bytes)
        kvx_drop_oldest(u);
}

// Looks at the line: a change since the last step becomes a step, an
// unchanged line only updates the cursor the next step starts from.
void kvx_observe(kvx_attachment *a, const kvx_line &l) noexcept {
    if (!(a->features & KVX_UNDO) || kvx_stand_aside(a, l)) return;
    if (kvx_is_recorded(a->undo, l.text, l.len))
        a->undo.cursor = l.cursor;
    else
        kvx_record(a, l.text, l.len, l.cursor);
}

// Walks one step back (undo) or forward: the step's range of the recorded
// line is replaced by the bytes it had on the other side.
void kvx_walk(kvx_attachment *a, bool back) noexcept {
    kvx_undo &u = a->undo;
    const kvx_undo_step &st = kvx_slot(u, back ? u.done - 1 : u.done);
    const char *from = st.text + (back ? 0 : st.removed);
    size_t put = back ? st.removed : st.inserted, cut = back ? st.inserted : st.removed;
    size_t len = u.line.len - cut + put;
    kvx_bytes &s = a->scratch;
    s.len = 0;
    if (!kvx_reserve(s, len)) return kvx_fail(a, kvx_rc_no_memory, nullptr);
    (void)kvx_append(s, u.line.data, st.at);
    (void)kvx_append(s, from, put);
    (void)kvx_append(s, u.line.data + st.at + cut, u.line.len - st.at - cut);
    if (std::memchr(s.data, 0, s.len)) return kvx_fail(a, kvx_rc_invalid, kvx_msg_undo_nul);
    if (kv_set_buffer(a->ed, s.data) != 0) return kvx_fail(a, kvx_rc_failed, kv_last_error(a->ed));
    kv_set_cursor(a->ed, back ? st.cursor_before : st.cursor_after);
    kvx_bytes was = u.line;
    u.line = s;
    s = was;
    u.cursor = kv_cursor(a->ed);
    u.done = back ? u.done - 1 : u.done + 1;
}

// The undo keys.  kvx_undo_key has recorded the change made before the key;
// when that failed (for want of memory, recorded) the keys do nothing, since
// walking from the recorded line would lose the change.
int kvx_undo_walk_key(kv_editor *ed, void *user, int *action, bool back) noexcept {
    auto *a = static_cast<kvx_attachment *>(user);
    *action = KV_ACTION_HANDLED;
    kvx_line l = kvx_read_line(ed);
    if (kvx_stand_aside(a, l) || !kvx_is_recorded(a->undo, l.text, l.len)) return 0;
    if (back ? a->undo.done > 0 : a->undo.done < a->undo.count) kvx_walk(a, back);
    return 0;
}

kv_key_callback kvx_own_callback(const kvx_attachment *a, int key) noexcept {
    for (size_t i = 0; i < a->key_count; ++i)
        if (a->keys[i].key == key) return a->keys[i].callback;
    return nullptr;
}

} // namespace

int kvx_on_undo(kv_editor *ed, int, void *user, int *action) noexcept {
    return kvx_undo_walk_key(ed, user, action, true);
}

int kvx_on_redo(kv_editor *ed, int, void *user, int *action) noexcept {
    return kvx_undo_walk_key(ed, user, action, false);
}

int kvx_on_undo_watch(kv_editor *, int, void *, int *action) noexcept {
    // Up, Down and the start of a paste: the step before them is recorded
    // by kvx_undo_key; the core's command runs.
    *action = KV_ACTION_DEFAULT;
    return 0;
}

int kvx_undo_key(kv_editor *ed, int key, void *user, int *action) noexcept {
    auto *a = static_cast<kvx_attachment *>(user);
    kv_key_callback own = kvx_own_callback(a, key);
    if (!own) return 0;
    kvx_observe(a, kvx_read_line(ed));
    int rc = own(ed, key, user, action);
    if (*action == KV_ACTION_HANDLED)
        kvx_observe(a, kvx_read_line(ed));
    else if (*action == KV_ACTION_DEFAULT && (key == kvx_key_enter || key == kvx_key_interrupt))
        kvx_undo_clear(a->undo); // the line ends with the call
    return rc;
}

void kvx_tick(kv_editor *ed, void *user) noexcept {
    auto *a = static_cast<kvx_attachment *>(user);
    kvx_observe(a, kvx_read_line(ed));
    if (!a->app_idle) return;
    a->app_idle(ed, a->app_idle_data);
    kvx_observe(a, kvx_read_line(ed));
}

void kvx_undo_expect(kvx_attachment *a, const kvx_mark &m) noexcept {
    if (!(a->features & KVX_UNDO) || kvx_is_recorded(a->undo, m.line.data, m.line.len)) return;
    kvx_record(a, m.line.data, m.line.len, m.cursor);
}

void kvx_undo_free(kvx_undo &u) noexcept {
    if (u.steps) kvx_undo_clear(u);
    kvx_free(u.steps);
    kvx_release(u.line);
    u = kvx_undo{};
}
