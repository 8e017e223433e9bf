// The kill ring's keys.  Ctrl-K, Ctrl-U and Ctrl-W record what the core's
// own command is about to delete and let that command run; Alt-D deletes to
// the end of the word itself.  Kills in a row (the line and cursor are still
// what the previous kill left) join into one entry in the order the text
// stood.  Ctrl-Y inserts the newest entry; Alt-Y right after a yank puts the
// next older entry in place of the yanked text.
#include <cstring>

#include "ext.h"

namespace {

constexpr const char *kvx_msg_nul = "the line holds a NUL byte and cannot be rewritten";

struct kvx_kill {
    size_t from, to; // the range removed
    size_t cursor;   // where the cursor goes
    bool forward;    // the text killed lies after the cursor
};

// What the core's command for key removes from the line.
kvx_kill kvx_core_kill(int key, const kvx_line &l) noexcept {
    size_t c = l.cursor > l.len ? l.len : l.cursor;
    switch (key) {
    case 11:
        return {c, l.len, c, true}; // Ctrl-K: to the end
    case 21:
        return {0, c, 0, false}; // Ctrl-U: to the start
    default: {                   // Ctrl-W: the word before
        size_t s = c ? kv_word_backward(l.text, c) : 0;
        return {s, c, s, false};
    }
    }
}

// Puts the killed text on the ring and records the line the kill leaves.
// With apply set the companion also makes the deletion (through the
// editor); otherwise the core's command will.  False on failure (recorded;
// line and ring unchanged).
bool kvx_record_kill(kvx_attachment *a, const kvx_line &l, const kvx_kill &k, bool apply) noexcept {
    size_t n = k.to - k.from;
    size_t after = l.len - n;
    bool join = kvx_mark_matches(a->kill_mark, l.text, l.len, l.cursor);
    kvx_ring_change change;
    bool ring = a->features & KVX_KILL_RING;
    if (!kvx_mark_reserve(a->kill_mark, after) ||
        (ring && !kvx_ring_prepare(a->ring, l.text + k.from, n, join, k.forward, a->max_line_len,
                                   change))) {
        kvx_fail(a, kvx_rc_no_memory, nullptr);
        return false;
    }
    // The mark holds the line as the deletion leaves it; it is written
    // before the deletion, which changes the text l.text points to.
    kvx_bytes &m = a->kill_mark.line;
    std::memcpy(m.data, l.text, k.from);
    std::memcpy(m.data + k.from, l.text + k.to, l.len - k.to);
    m.data[after] = '\0';
    m.len = after;
    a->kill_mark.cursor = k.cursor;
    a->kill_mark.valid = true;
    if (apply && kvx_compose_line(a, l.text, k.from, k.to, "", 0, k.cursor) != 0) {
        kvx_ring_discard(change);
        kvx_mark_forget(a->kill_mark);
        return false;
    }
    kvx_ring_commit(a->ring, change);
    kvx_mark_forget(a->yank_mark);
    return true;
}

} // namespace

int kvx_on_kill(kv_editor *ed, int key, void *user, int *action) noexcept {
    auto *a = static_cast<kvx_attachment *>(user);
    kvx_line l = kvx_read_line(ed);
    *action = KV_ACTION_DEFAULT;
    if (kvx_stand_aside(a, l)) return 0;
    kvx_kill k = kvx_core_kill(key, l);
    if (k.from == k.to) return 0;
    // When the text cannot be recorded the key does nothing: nothing is lost.
    if (!kvx_record_kill(a, l, k, false))
        *action = KV_ACTION_HANDLED;
    else
        kvx_undo_expect(a, a->kill_mark);
    return 0;
}

int kvx_on_kill_word(kv_editor *ed, int, void *user, int *action) noexcept {
    auto *a = static_cast<kvx_attachment *>(user);
    kvx_line l = kvx_read_line(ed);
    *action = KV_ACTION_HANDLED;
    if (kvx_stand_aside(a, l)) return 0;
    if (l.has_nul) {
        kvx_fail(a, kvx_rc_invalid, kvx_msg_nul);
        return 0;
    }
    size_t end = kv_word_forward_end(l.text, l.len, l.cursor);
    if (end == l.cursor) return 0;
    kvx_record_kill(a, l, {l.cursor, end, l.cursor, true}, true);
    return 0;
}

int kvx_on_yank(kv_editor *ed, int, void *user, int *action) noexcept {
    auto *a = static_cast<kvx_attachment *>(user);
    kvx_line l = kvx_read_line(ed);
    *action = KV_ACTION_HANDLED;
    if (kvx_stand_aside(a, l)) return 0;
    const kvx_bytes *e = kvx_ring_entry(a->ring, 0);
    if (!e) return 0;
    if (l.has_nul || std::memchr(e->data, 0, e->len)) {
        kvx_fail(a, kvx_rc_invalid, kvx_msg_nul);
        return 0;
    }
    size_t c = l.cursor > l.len ? l.len : l.cursor;
    if (kvx_compose_line(a, l.text, c, c, e->data, e->len, c + e->len, &a->yank_mark) != 0)
        return 0;
    a->yank_start = c;
    a->yank_len = e->len;
    a->yank_index = 0;
    return 0;
}

int kvx_on_yank_pop(kv_editor *ed, int, void *user, int *action) noexcept {
    auto *a = static_cast<kvx_attachment *>(user);
    kvx_line l = kvx_read_line(ed);
    *action = KV_ACTION_HANDLED;
    if (kvx_stand_aside(a, l)) return 0;
    if (!kvx_mark_matches(a->yank_mark, l.text, l.len, l.cursor) || a->ring.count < 2) return 0;
    size_t next = (a->yank_index + 1) % a->ring.count;
    const kvx_bytes *e = kvx_ring_entry(a->ring, next);
    size_t s = a->yank_start;
    if (l.has_nul || std::memchr(e->data, 0, e->len)) {
        kvx_fail(a, kvx_rc_invalid, kvx_msg_nul);
        return 0;
    }
    if (kvx_compose_line(a, l.text, s, s + a->yank_len, e->data, e->len, s + e->len,
                         &a->yank_mark) != 0)
        return 0;
    a->yank_len = e->len;
    a->yank_index = next;
    return 0;
}
