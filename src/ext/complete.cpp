// Tab completion.  The application's completer adds candidates, each with
// the byte range of the line it replaces.  One candidate replaces its range
// (and a space follows unless it ends with '/' or the space is turned off);
// several insert their longest common prefix, cut back to whole clusters; a
// second Tab in a row, when nothing more can be inserted, lists them above
// the prompt.
#include <cstring>

#include "ext.h"

namespace {

constexpr const char *kvx_msg_completer = "completer failed";
constexpr const char *kvx_msg_nul_line = "the line holds a NUL byte and cannot be completed";

const char *kvx_item_text(const kvx_completions &c, const kvx_completions::item &i) noexcept {
    return c.arena.data + i.text;
}

bool kvx_same_item(const kvx_completions &c, const kvx_completions::item &x,
                   const kvx_completions::item &y) noexcept {
    return x.start == y.start && x.end == y.end && x.len == y.len &&
           std::memcmp(kvx_item_text(c, x), kvx_item_text(c, y), x.len) == 0;
}

// The longest common prefix of every candidate, in bytes, that ends on a
// cluster boundary in each of them.
size_t kvx_common_prefix(const kvx_completions &c) noexcept {
    const kvx_completions::item &first = c.items[0];
    const char *f = kvx_item_text(c, first);
    size_t p = first.len;
    for (size_t i = 1; i < c.count && p; ++i) {
        const char *t = kvx_item_text(c, c.items[i]);
        size_t n = c.items[i].len < p ? c.items[i].len : p;
        size_t k = 0;
        while (k < n && f[k] == t[k])
            ++k;
        p = k;
    }
    // Bytes agree up to p; a boundary below p in one candidate may still be
    // inside a cluster of another (a combining mark follows), so each
    // candidate cuts the prefix back to its own boundary.
    for (size_t i = 0; i < c.count && p; ++i) {
        const kvx_completions::item &it = c.items[i];
        auto t = reinterpret_cast<const unsigned char *>(kvx_item_text(c, it));
        // ASCII after ASCII (or the end after ASCII) is always a boundary:
        // ASCII joins a cluster only right after a joiner.
        if (t[p - 1] < 0x80 && (p == it.len || t[p] < 0x80)) continue;
        p = kv_utf8_boundary_at_most(kvx_item_text(c, it), it.len, p);
    }
    return p;
}

// Lists the candidates above the prompt, a screen at a time.
void kvx_list(kvx_attachment *a) noexcept {
    int cols = 80, rows = 24;
    kvx_terminal_size(a->out_fd, cols, rows);
    kvx_bytes text;
    size_t distinct = 0;
    if (!kvx_format_listing(a->completions, cols, text, &distinct)) {
        kvx_release(text);
        return kvx_fail(a, kvx_rc_no_memory, nullptr);
    }
    int rc = kvx_page_listing(a, text, distinct, rows);
    if (rc != 0) kvx_fail(a, rc, kv_last_error(a->ed));
    kvx_release(text);
}

// Inserts what the candidates allow; false when nothing could be inserted.
bool kvx_insert_candidates(kvx_attachment *a, const kvx_line &l) noexcept {
    kvx_completions &c = a->completions;
    const kvx_completions::item &first = c.items[0];
    bool one = true, same_range = true;
    for (size_t i = 1; i < c.count; ++i) {
        one = one && kvx_same_item(c, first, c.items[i]);
        same_range = same_range && c.items[i].start == first.start && c.items[i].end == first.end;
    }
    const char *text = kvx_item_text(c, first);
    if (one) {
        bool space = a->append_space && !(first.len && text[first.len - 1] == '/');
        kvx_bytes with;
        if (!kvx_append(with, text, first.len) || (space && !kvx_append(with, " ", 1))) {
            kvx_release(with);
            kvx_fail(a, kvx_rc_no_memory, nullptr);
            return true;
        }
        kvx_compose_line(a, l.text, first.start, first.end, with.data, with.len,
                         first.start + with.len, &a->tab_mark);
        kvx_release(with);
        return true;
    }
    if (!same_range) return false;
    size_t p = kvx_common_prefix(c);
    if (p <= first.end - first.start) return false;
    kvx_compose_line(a, l.text, first.start, first.end, text, p, first.start + p, &a->tab_mark);
    return true;
}

} // namespace

void kvx_completions_reset(kvx_completions &c, size_t line_len, size_t max_len) noexcept {
    c.count = 0;
    c.arena.len = 0;
    c.line_len = line_len;
    c.max_len = max_len;
    c.failed = false;
}

void kvx_completions_free(kvx_completions &c) noexcept {
    kvx_free(c.items);
    kvx_release(c.arena);
    c = kvx_completions{};
}

KVX_EXPORT int kvx_add_completion_n(kvx_completions *c, const char *text, size_t len, size_t start,
                                    size_t end) KV_NOEXCEPT {
    if (!c || (!text && len) || start > end || end > c->line_len) return kvx_rc_invalid;
    if (c->failed) return kvx_rc_no_memory;
    if (len > c->max_len) return 0; // longer than any line: never offered
    if (c->count == c->cap) {
        size_t cap = c->cap ? c->cap * 2 : 64;
        void *p = cap <= SIZE_MAX / sizeof(kvx_completions::item)
                      ? kvx_realloc(c->items, cap * sizeof(kvx_completions::item))
                      : nullptr;
        if (!p) return c->failed = true, kvx_rc_no_memory;
        c->items = static_cast<kvx_completions::item *>(p);
        c->cap = cap;
    }
    size_t at = c->arena.len;
    // Each text keeps a terminating zero so it can be handed on as a string.
    if (!kvx_append(c->arena, text, len) || !kvx_append(c->arena, "", 1)) {
        c->arena.len = at;
        return c->failed = true, kvx_rc_no_memory;
    }
    c->items[c->count++] = {at, len, start, end};
    return 0;
}

KVX_EXPORT int kvx_add_completion(kvx_completions *c, const char *text, size_t start,
                                  size_t end) KV_NOEXCEPT {
    if (!text) return kvx_rc_invalid;
    return kvx_add_completion_n(c, text, std::strlen(text), start, end);
}

int kvx_on_tab(kv_editor *ed, int, void *user, int *action) noexcept {
    auto *a = static_cast<kvx_attachment *>(user);
    kvx_line l = kvx_read_line(ed);
    if (kvx_stand_aside(a, l)) {
        *action = KV_ACTION_DEFAULT; // the search has no command for Tab
        return 0;
    }
    *action = KV_ACTION_HANDLED;
    if (l.has_nul) return kvx_fail(a, kvx_rc_invalid, kvx_msg_nul_line), 0;
    bool in_row = kvx_mark_matches(a->tab_mark, l.text, l.len, l.cursor);
    kvx_completions &c = a->completions;
    kvx_completions_reset(c, l.len, a->max_line_len);
    int rc = a->completer(ed, l.text, l.cursor, &c, a->completer_data);
    if (rc != 0) return kvx_fail(a, kvx_rc_failed, kvx_msg_completer), 0;
    if (c.failed) return kvx_fail(a, kvx_rc_no_memory, nullptr), 0;
    // A completer that changed the line has given ranges of the old one.
    kvx_line now = kvx_read_line(ed);
    if (c.count == 0 || now.len != l.len) return 0;
    if (kvx_insert_candidates(a, now)) return 0;
    if (in_row) return kvx_list(a), 0;
    // Nothing could be inserted: the next Tab, if nothing changes meanwhile, lists.
    if (!kvx_mark_reserve(a->tab_mark, now.len)) return kvx_fail(a, kvx_rc_no_memory, nullptr), 0;
    kvx_mark_set(a->tab_mark, now.text, now.len, now.cursor);
    return 0;
}
