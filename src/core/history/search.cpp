// Reverse incremental search: the newest history entry holding the query
// (a plain byte substring) replaces the line, and a display text made of a
// prefix, the query and "': " stands in for the prompt while searching.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/alloc.h"
#include "base/error.h"
#include "history/history.h"
#include "history/internal.h"
#include "text/text.h"

namespace {

constexpr std::string_view kv_found_prefix = "(r-search)`";
constexpr std::string_view kv_failed_prefix = "(failed)`";
constexpr std::string_view kv_display_end = "': ";
constexpr size_t kv_first_query_block = 32;

static_assert(kv_found_prefix.size() == 11 && kv_failed_prefix.size() == 9);

std::string_view kv_query_view(const kv_search *s) noexcept {
    return {s->query ? s->query : "", s->query ? s->query_len : 0};
}

bool kv_entry_matches(const kv_state *st, int i, std::string_view query) noexcept {
    return query.empty() ||
           std::string_view(kv_history_entry(st->history, i)).find(query) != std::string_view::npos;
}

constexpr int kv_no_match = -1;

// The newest entry from `from` down to `to` (inclusive) that matches, or
// kv_no_match.
int kv_find_down(const kv_state *st, int from, int to, std::string_view query) noexcept {
    for (int i = from; i >= to; --i) {
        if (kv_entry_matches(st, i, query)) return i;
    }
    return kv_no_match;
}

// The next older match after m, wrapping round to the newest; m itself when
// it is the only one left.  -1 when nothing matches.
int kv_find_older(const kv_state *st, int m, std::string_view query) noexcept {
    int c = st->history.count;
    int start = m - 1 < c ? m - 1 : c - 1;
    int i = kv_find_down(st, start, 0, query);
    if (i < 0) i = kv_find_down(st, c - 1, m + 1, query);
    if (i < 0 && m < c && kv_entry_matches(st, m, query)) i = m;
    return i;
}

// The prefix, the query and the closing, in a block of exactly that size.
char *kv_compose_display(const kv_search *s) noexcept {
    std::string_view prefix = s->found ? kv_found_prefix : kv_failed_prefix;
    std::string_view query = kv_query_view(s);
    size_t n = prefix.size() + query.size() + kv_display_end.size();
    auto *text = static_cast<char *>(kv_malloc(n + 1));
    if (!text) return nullptr;
    char *p = text;
    for (std::string_view part : {prefix, query, kv_display_end}) {
        std::memcpy(p, part.data(), part.size());
        p += part.size();
    }
    *p = '\0';
    return text;
}

// Grows the query block to hold want bytes (terminating zero included).
bool kv_query_reserve(kv_search *s, size_t want) noexcept {
    if (s->query_cap >= want) return true;
    size_t cap = kv_grown_capacity(s->query_cap, kv_first_query_block, want);
    if (cap == 0) return false;
    auto *block = static_cast<char *>(kv_realloc(s->query, cap));
    if (!block) return false;
    s->query = block;
    s->query_cap = cap;
    return true;
}

} // namespace

void kv_search_clear(kv_search *s) noexcept {
    *s = kv_search{};
    s->match = -1;
}

void kv_search_free(kv_search *s) noexcept {
    kv_free(s->saved);
    kv_free(s->query);
    kv_free(s->display);
    kv_search_clear(s);
}

int kv_history_search_refresh(kv_editor *ed, kv_search *s, int advance) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || !s || !s->active) return kv_rc_failed;
    std::string_view query = kv_query_view(s);
    int i = -1;
    if (st->history.count > 0) {
        if (advance && s->found == 1 && s->match >= 0)
            i = kv_find_older(st, s->match, query);
        else
            i = kv_find_down(st, st->history.count - 1, 0, query);
    }
    s->match = i;
    s->found = i >= 0;
    // A failed search shows the line from before the search.
    const char *line = i >= 0 ? kv_history_entry(st->history, i) : s->saved;
    if (kv_buf_set(ed, line ? line : "") != 0) return kv_rc_failed;
    char *display = kv_compose_display(s);
    if (!display) return kv_rc_failed;
    kv_free(s->display);
    s->display = display;
    return 0;
}

int kv_search_start(kv_editor *ed, kv_search *s) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || !s) return kv_rc_failed;
    kv_search_free(s);
    s->saved = kv_strndup(st->line.text, st->line.len);
    s->query = static_cast<char *>(kv_malloc(kv_first_query_block));
    if (!s->saved || !s->query) {
        kv_search_free(s);
        return kv_rc_failed;
    }
    s->query[0] = '\0';
    s->query_cap = kv_first_query_block;
    s->active = 1;
    if (kv_history_search_refresh(ed, s, 0) != 0) {
        kv_search_free(s);
        return kv_rc_failed;
    }
    return 0;
}

int kv_search_extend(kv_editor *ed, kv_search *s, const char *bytes, size_t n) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || !s || !s->active || !s->query || (!bytes && n > 0)) return kv_rc_failed;
    // Refused whole: the query is never cut to fit.
    if (n > st->line.max_len || s->query_len > st->line.max_len - n) return kv_rc_failed;
    if (!kv_query_reserve(s, s->query_len + n + 1)) return kv_rc_failed;
    if (n) std::memcpy(s->query + s->query_len, bytes, n);
    s->query_len += n;
    s->query[s->query_len] = '\0';
    return kv_history_search_refresh(ed, s, 0);
}

int kv_search_erase(kv_editor *ed, kv_search *s) noexcept {
    if (!s || !s->active) return kv_rc_failed;
    if (s->query && s->query_len > 0) {
        s->query_len -= kv_utf8_prev_cluster_len(s->query, s->query_len);
        s->query[s->query_len] = '\0';
    }
    return kv_history_search_refresh(ed, s, 0);
}

int kv_search_clear_query(kv_editor *ed, kv_search *s) noexcept {
    if (!s || !s->active) return kv_rc_failed;
    s->query_len = 0;
    if (s->query) s->query[0] = '\0';
    return kv_history_search_refresh(ed, s, 0);
}

int kv_search_next(kv_editor *ed, kv_search *s) noexcept {
    return kv_history_search_refresh(ed, s, 1);
}

void kv_search_accept(kv_search *s) noexcept {
    if (s) kv_search_free(s);
}

int kv_search_cancel(kv_editor *ed, kv_search *s) noexcept {
    if (!s) return kv_rc_failed;
    int rc = kv_buf_set(ed, s->saved ? s->saved : "");
    // The record is released either way: the caller ends the call when
    // the line could not be put back.
    kv_search_free(s);
    return rc == 0 ? 0 : kv_rc_failed;
}
