// Attaching the companion to an editor: the options, the keys each feature
// binds (all or none), the watch on the reverse search, and the helpers that
// every key action shares (marks, composing a line, recording a failure).
#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "ext.h"

namespace {

constexpr int32_t kvx_alt(char c) { return KV_KEY_ALT + c; }

struct kvx_key_entry {
    int32_t key;
    kv_key_callback callback;
    unsigned features; // bound when any of these is chosen
};

// The keys, with the callback each runs.  The reverse-search watch keys run
// their built-in commands unchanged (the callback returns KV_ACTION_DEFAULT).
constexpr kvx_key_entry kvx_key_table[] = {
    {9, kvx_on_tab, KVX_COMPLETION},
    {11, kvx_on_kill, KVX_KILL_RING | KVX_UNDO},
    {21, kvx_on_kill, KVX_KILL_RING | KVX_UNDO},
    {23, kvx_on_kill, KVX_KILL_RING | KVX_UNDO},
    {25, kvx_on_yank, KVX_KILL_RING},
    {kvx_alt('y'), kvx_on_yank_pop, KVX_KILL_RING},
    {kvx_alt('d'), kvx_on_kill_word, KVX_KILL_RING | KVX_KEYS},
    {12, kvx_on_clear_screen, KVX_KEYS},
    {20, kvx_on_transpose, KVX_KEYS},
    {kvx_alt('u'), kvx_on_case, KVX_KEYS},
    {kvx_alt('l'), kvx_on_case, KVX_KEYS},
    {kvx_alt('c'), kvx_on_case, KVX_KEYS},
    {26, kvx_on_suspend, KVX_KEYS},
    {18, kvx_on_search_key, KVX_ALL},
    {7, kvx_on_search_key, KVX_ALL},
    {27, kvx_on_search_key, KVX_ALL},
    {13, kvx_on_search_key, KVX_ALL},
    {3, kvx_on_search_key, KVX_ALL},
    {31, kvx_on_undo, KVX_UNDO},
    {30, kvx_on_redo, KVX_UNDO},
    {KV_KEY_UP, kvx_on_undo_watch, KVX_UNDO},
    {KV_KEY_DOWN, kvx_on_undo_watch, KVX_UNDO},
    {KV_KEY_PASTE_START, kvx_on_undo_watch, KVX_UNDO},
};

static_assert(std::size(kvx_key_table) <= kvx_max_keys);

constexpr const char *kvx_msg_nomem = "out of memory in the editing companion";

// Stand-ins for counting free entries: codes no key ever sends (keys are
// positive), bound for a moment and unbound again.
constexpr int32_t kvx_probe_key = INT32_MIN;
int kvx_on_probe(kv_editor *, int, void *, int *) noexcept { return 0; }

// True when the binding table has a free entry for each of n keys.  The
// companion cannot read the table, and a binding that fails part way would
// leave some of the application's keys taken over, so it asks first: it
// binds n stand-ins and takes them back.  On false kv_last_error says "too
// many key bindings".  Keys of the companion that the application bound
// already would need no new entry; not knowing which, the check counts them
// all.
bool kvx_table_has_room(kv_editor *ed, int32_t n) noexcept {
    int32_t bound = 0;
    while (bound < n && kv_bind_key(ed, kvx_probe_key + bound, kvx_on_probe, nullptr) == 0)
        ++bound;
    const bool room = bound == n;
    while (bound > 0)
        kv_bind_key(ed, kvx_probe_key + --bound, nullptr, nullptr);
    return room;
}

int32_t kvx_keys_of(unsigned features) noexcept {
    int32_t n = 0;
    for (const kvx_key_entry &k : kvx_key_table)
        n += (k.features & features) != 0;
    return n;
}

void kvx_unbind_all(kvx_attachment *a) noexcept {
    for (size_t i = 0; i < a->key_count; ++i)
        if (!a->keys[i].released) kv_bind_key(a->ed, a->keys[i].key, nullptr, nullptr);
    a->key_count = 0;
}

void kvx_free_attachment(kvx_attachment *a) noexcept {
    kvx_ring_free(a->ring);
    kvx_release(a->kill_mark.line);
    kvx_release(a->yank_mark.line);
    kvx_release(a->tab_mark.line);
    kvx_release(a->scratch);
    kvx_completions_free(a->completions);
    kvx_undo_free(a->undo);
    kvx_free(a);
}

int kvx_check_options(const kvx_options &o) noexcept {
    if ((o.features & ~KVX_ALL) != 0 || o.features == 0) return kvx_rc_invalid;
    if ((o.features & KVX_COMPLETION) && !o.completer) return kvx_rc_invalid;
    if (o.kill_ring_size < 1 || o.kill_ring_size > 1024) return kvx_rc_invalid;
    if (o.max_line_len < 1 || o.max_line_len > 2147483645) return kvx_rc_invalid;
    return 0;
}

} // namespace

KVX_EXPORT void kvx_options_init(kvx_options *o) KV_NOEXCEPT {
    if (!o) return;
    std::memset(o, 0, sizeof *o);
    o->features = KVX_ALL;
    o->append_space = 1;
    o->kill_ring_size = 16;
    o->max_line_len = 4096;
    o->out_fd = 1;
}

KVX_EXPORT int kvx_attach(kv_editor *ed, const kvx_options *options,
                          kvx_attachment **out) KV_NOEXCEPT {
    if (!ed || !out) return kvx_rc_invalid;
    *out = nullptr;
    kvx_options o;
    kvx_options_init(&o);
    if (options)
        o = *options;
    else
        o.features = KVX_ALL & ~KVX_COMPLETION;
    if (int rc = kvx_check_options(o)) return rc;
    if (!kvx_table_has_room(ed, kvx_keys_of(o.features))) return kvx_rc_no_memory;

    auto *a = static_cast<kvx_attachment *>(kvx_malloc(sizeof(kvx_attachment)));
    if (!a) return kvx_rc_no_memory;
    std::memset(static_cast<void *>(a), 0, sizeof *a);
    a->ed = ed;
    a->features = o.features;
    a->completer = o.completer;
    a->completer_data = o.completer_data;
    a->append_space = o.append_space != 0;
    a->max_line_len = static_cast<size_t>(o.max_line_len);
    a->out_fd = o.out_fd < 0 ? 1 : o.out_fd;
    a->bounded = o.bounded != 0;
    a->in_fd = 0;
    if ((o.features & KVX_KILL_RING) &&
        !kvx_ring_init(a->ring, static_cast<size_t>(o.kill_ring_size))) {
        kvx_free_attachment(a);
        return kvx_rc_no_memory;
    }
    // The table has room for every key (checked above), so no binding fails.
    for (const kvx_key_entry &k : kvx_key_table) {
        if (!(k.features & o.features)) continue;
        // With undo every key goes through kvx_undo_key, which runs k.callback.
        (void)kv_bind_key(ed, k.key, (o.features & KVX_UNDO) ? kvx_undo_key : k.callback, a);
        a->keys[a->key_count++] = {k.key, false, k.callback};
    }
    a->app_idle = o.idle;
    a->app_idle_data = o.idle_data;
    a->owns_idle = (o.features & KVX_UNDO) || o.idle;
    if (a->owns_idle) kv_set_idle_callback(ed, kvx_tick, a);
    *out = a;
    return 0;
}

KVX_EXPORT void kvx_detach(kvx_attachment *a) KV_NOEXCEPT {
    if (!a) return;
    if (a->owns_idle) kv_set_idle_callback(a->ed, a->app_idle, a->app_idle_data);
    kvx_unbind_all(a);
    kvx_free_attachment(a);
}

KVX_EXPORT int kvx_release_key(kvx_attachment *a, int32_t key) KV_NOEXCEPT {
    if (!a) return kvx_rc_invalid;
    for (size_t i = 0; i < a->key_count; ++i) {
        if (a->keys[i].key == key && !a->keys[i].released) {
            a->keys[i].released = true;
            return 0;
        }
    }
    return kvx_rc_invalid;
}

KVX_EXPORT const char *kvx_error_message(int code) KV_NOEXCEPT {
    switch (code) {
    case 0:
        return "success";
    case kvx_rc_failed:
        return "the editor refused the change or the completer failed";
    case kvx_rc_invalid:
        return "invalid argument or state";
    case kvx_rc_no_memory:
        return "out of memory or too many key bindings";
    default:
        return "unknown error";
    }
}

KVX_EXPORT int kvx_last_result(const kvx_attachment *a) KV_NOEXCEPT {
    return a ? a->last_result : kvx_rc_invalid;
}

KVX_EXPORT const char *kvx_last_error(const kvx_attachment *a) KV_NOEXCEPT {
    return a ? a->last_message : nullptr;
}

KVX_EXPORT size_t kvx_kill_ring_count(const kvx_attachment *a) KV_NOEXCEPT {
    return a ? a->ring.count : 0;
}

KVX_EXPORT const char *kvx_kill_ring_entry(const kvx_attachment *a, size_t i) KV_NOEXCEPT {
    if (!a) return nullptr;
    const kvx_bytes *e = kvx_ring_entry(a->ring, i);
    return e ? e->data : nullptr;
}

void kvx_fail(kvx_attachment *a, int code, const char *message) noexcept {
    a->last_result = code;
    a->last_message =
        message ? message : (code == kvx_rc_no_memory ? kvx_msg_nomem : kvx_error_message(code));
}

bool kvx_mark_matches(const kvx_mark &m, const char *line, size_t len, size_t cursor) noexcept {
    return m.valid && m.cursor == cursor && m.line.len == len &&
           (len == 0 || std::memcmp(m.line.data, line, len) == 0);
}

bool kvx_mark_reserve(kvx_mark &m, size_t len) noexcept { return kvx_reserve(m.line, len); }

void kvx_mark_set(kvx_mark &m, const char *line, size_t len, size_t cursor) noexcept {
    if (len) std::memcpy(m.line.data, line, len);
    m.line.data[len] = '\0';
    m.line.len = len;
    m.cursor = cursor;
    m.valid = true;
}

void kvx_mark_forget(kvx_mark &m) noexcept { m.valid = false; }

int kvx_compose_line(kvx_attachment *a, const char *line, size_t cut_start, size_t cut_end,
                     const char *middle, size_t middle_len, size_t cursor,
                     kvx_mark *mark) noexcept {
    size_t len = std::strlen(line);
    size_t total = len - (cut_end - cut_start) + middle_len;
    kvx_bytes &s = a->scratch;
    s.len = 0;
    if (!kvx_reserve(s, total) || (mark && !kvx_mark_reserve(*mark, total))) {
        kvx_fail(a, kvx_rc_no_memory, nullptr);
        return kvx_rc_no_memory;
    }
    // The pieces come from the line itself or from the companion's own
    // memory, never from the scratch string they are copied into.
    (void)kvx_append(s, line, cut_start);
    (void)kvx_append(s, middle, middle_len);
    (void)kvx_append(s, line + cut_end, len - cut_end);
    int rc = kv_set_buffer(a->ed, s.data);
    if (rc != 0) {
        kvx_fail(a, kvx_rc_failed, kv_last_error(a->ed));
        return kvx_rc_failed;
    }
    kv_set_cursor(a->ed, cursor);
    if (mark) kvx_mark_set(*mark, s.data, s.len, kv_cursor(a->ed));
    return 0;
}

kvx_line kvx_read_line(kv_editor *ed) noexcept {
    kvx_line l{kv_buffer(ed), 0, kv_cursor(ed), false};
    if (!l.text) {
        l.text = "";
        return l;
    }
    size_t shown = std::strlen(l.text);
    // A cursor put past the end lands on the end: the line's true length.
    kv_set_cursor(ed, SIZE_MAX);
    l.len = kv_cursor(ed);
    kv_set_cursor(ed, l.cursor);
    l.has_nul = l.len != shown;
    return l;
}

bool kvx_stand_aside(kvx_attachment *a, const kvx_line &l) noexcept {
    // A search always leaves the cursor at the end of the line it shows; a
    // cursor elsewhere means the search ended in a way the watch missed.
    if (a->searching && l.cursor != l.len) a->searching = false;
    return a->searching;
}

int kvx_on_search_key(kv_editor *, int key, void *user, int *action) noexcept {
    auto *a = static_cast<kvx_attachment *>(user);
    // Ctrl-R starts a search or goes on with it; Ctrl-G and ESC leave it;
    // Enter and Ctrl-C end the readline call and the search with it.
    a->searching = key == 18;
    *action = KV_ACTION_DEFAULT;
    return 0;
}
