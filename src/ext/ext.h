// The companion's face to its own files: malloc-backed byte strings, the
// kill ring, and the attachment record that ties them to an editor.  It is
// built on <kavrik.h> and the family's state-free text leaf alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include <kavrik.h>
#include <kavrik_ext.h>

#include "common/byte_string.h"
#include "unicode/unicode.h"

// The companion's public functions; everything else stays hidden.
#define KVX_EXPORT extern "C" __attribute__((visibility("default")))

// ---- results -----------------------------------------------------------------

// What an operation reports, by the names the core uses; the public
// functions hand them on as the int that <kavrik_ext.h> documents.
enum class kvx_result : int {
    ok = 0,
    failed = -1,        // the editor refused a change or the completer failed
    invalid = -2,       // invalid argument or state
    out_of_memory = -3, // memory ran out or the key binding table is full
};

// The int form of a result.
constexpr int kvx_code(kvx_result r) noexcept { return static_cast<int>(r); }

inline constexpr int kvx_rc_failed = kvx_code(kvx_result::failed);
inline constexpr int kvx_rc_invalid = kvx_code(kvx_result::invalid);
inline constexpr int kvx_rc_no_memory = kvx_code(kvx_result::out_of_memory);

// ---- memory ----------------------------------------------------------------

void *kvx_malloc(size_t n) noexcept;
void *kvx_realloc(void *p, size_t n) noexcept;
void kvx_free(void *p) noexcept;

// The family's growable byte string on the companion's allocator.
using kvx_bytes = kv_byte_string<kvx_realloc, kvx_free>;

// Room for n bytes plus the terminating zero; false (unchanged) when out of memory.
[[nodiscard]] inline bool kvx_reserve(kvx_bytes &b, size_t n) noexcept { return b.reserve(n); }
// Appends k bytes; false (unchanged) when out of memory.
[[nodiscard]] inline bool kvx_append(kvx_bytes &b, const char *s, size_t k) noexcept {
    return b.append(s, k);
}
// Releases the storage.
inline void kvx_release(kvx_bytes &b) noexcept { b.release(); }

// ---- text --------------------------------------------------------------------
// Clusters, widths and the word rule (Ctrl-W, Alt-B, Alt-F) come from the
// family's shared text leaf, so the companion measures as the core does.

// ---- kill ring -----------------------------------------------------------------

struct kvx_ring {
    kvx_bytes *entries = nullptr; // slots, kill_ring_size of them
    size_t size = 0;              // slots
    size_t count = 0;             // entries in use
    size_t newest = 0;            // slot of the newest entry
};

// A change to the ring prepared ahead so that committing cannot fail.
struct kvx_ring_change {
    char *text = nullptr;
    size_t len = 0;
    bool join = false; // replaces the newest entry instead of adding one
};

[[nodiscard]] bool kvx_ring_init(kvx_ring &r, size_t size) noexcept;
void kvx_ring_free(kvx_ring &r) noexcept;
// Entry i (0 newest), or null past the end.
const kvx_bytes *kvx_ring_entry(const kvx_ring &r, size_t i) noexcept;
// Prepares adding text as a new entry, or joined with the newest one (after
// it when forward, before it otherwise) when join is set.  A joined text
// longer than max_len becomes a new entry instead.  False when out of memory.
[[nodiscard]] bool kvx_ring_prepare(const kvx_ring &r, const char *text, size_t len, bool join,
                                    bool forward, size_t max_len, kvx_ring_change &out) noexcept;
void kvx_ring_commit(kvx_ring &r, kvx_ring_change &c) noexcept;
void kvx_ring_discard(kvx_ring_change &c) noexcept;

// ---- attachment ------------------------------------------------------------------

// What the line and cursor were right after one of the companion's actions:
// the next key continues that action ("in a row") only when they still are.
struct kvx_mark {
    kvx_bytes line;
    size_t cursor = 0;
    bool valid = false;
};

struct kvx_bound_key {
    int32_t key;
    bool released;            // handed back to the application with kvx_release_key
    kv_key_callback callback; // the feature's own callback for the key
};

inline constexpr size_t kvx_max_keys = 32;

// The undo history: the line as last recorded, and the steps that lead to it
// (and, after an undo, away from it again).  Each step keeps the bytes it
// removed and inserted at one offset, so it can be walked both ways.
struct kvx_undo_step {
    char *text = nullptr; // the removed bytes, then the inserted ones
    size_t at = 0;        // where they stand in the line
    size_t removed = 0, inserted = 0;
    size_t cursor_before = 0, cursor_after = 0;
};

struct kvx_undo {
    kvx_undo_step *steps = nullptr; // a ring of KVX_UNDO_MAX_STEPS, made at the first step
    size_t first = 0;               // slot of the oldest step
    size_t count = 0;               // steps held
    size_t done = 0;                // steps applied; count - done can be redone
    size_t bytes = 0;               // changed text the steps hold
    kvx_bytes line;                 // the line as last recorded
    size_t cursor = 0;              // the cursor last seen on that line
};

struct kvx_completions {
    struct item {
        size_t text; // offset into the arena
        size_t len;
        size_t start, end;
    };
    item *items = nullptr;
    size_t count = 0, cap = 0;
    kvx_bytes arena;
    size_t line_len = 0; // the line the completer was given
    size_t max_len = 0;  // candidates longer than this are skipped
    bool failed = false; // an addition ran out of memory
};

struct kvx_attachment {
    kv_editor *ed;
    unsigned features;
    kvx_completer completer;
    void *completer_data;
    bool append_space;
    size_t max_line_len;
    int out_fd;
    bool bounded;
    int in_fd;           // where the listing's question and pager read keys
    int32_t query_items; // a listing of more candidates asks first (0: only when they do not fit)

    kvx_bound_key keys[kvx_max_keys];
    size_t key_count;

    bool searching; // a reverse search runs: the companion's keys step aside
    int last_result;
    const char *last_message;

    kvx_ring ring;
    kvx_mark kill_mark; // after the last kill
    kvx_mark yank_mark; // after the last yank
    size_t yank_start, yank_len, yank_index;
    kvx_mark tab_mark; // after the last Tab
    kvx_completions completions;
    kvx_bytes scratch; // a line being composed

    kvx_undo undo;
    bool owns_idle;            // the editor's idle callback is the companion's tick
    kv_idle_callback app_idle; // the application's, called on every tick
    void *app_idle_data;
};

// Records a failure of a key action (code and message) for kvx_last_result.
void kvx_fail(kvx_attachment *a, int code, const char *message) noexcept;

// True when the line and cursor are what m recorded.
bool kvx_mark_matches(const kvx_mark &m, const char *line, size_t len, size_t cursor) noexcept;
// Makes room in m for a line of len bytes; false when out of memory.
[[nodiscard]] bool kvx_mark_reserve(kvx_mark &m, size_t len) noexcept;
// Records the line (room reserved before) and cursor.
void kvx_mark_set(kvx_mark &m, const char *line, size_t len, size_t cursor) noexcept;
void kvx_mark_forget(kvx_mark &m) noexcept;

// The editor's line as the companion reads it.  The core's line may hold NUL
// bytes (a paste can bring them); the companion then reads the whole line but
// refuses to rewrite it, since kv_set_buffer takes a zero-terminated text.
struct kvx_line {
    const char *text;
    size_t len;
    size_t cursor;
    bool has_nul;
};
kvx_line kvx_read_line(kv_editor *ed) noexcept;
// True while a reverse search runs, when the companion's keys leave the line alone.
bool kvx_stand_aside(kvx_attachment *a, const kvx_line &l) noexcept;

// Replaces the line + middle + suffix and puts the cursor at
// pos; 0, or the editor's code (line unchanged) when it refuses.
int kvx_compose_line(kvx_attachment *a, const char *line, size_t cut_start, size_t cut_end,
                     const char *middle, size_t middle_len, size_t cursor,
                     kvx_mark *mark = nullptr) noexcept;

// Key callbacks of each feature.
int kvx_on_tab(kv_editor *ed, int key, void *user, int *action) noexcept;
int kvx_on_kill(kv_editor *ed, int key, void *user, int *action) noexcept;
int kvx_on_yank(kv_editor *ed, int key, void *user, int *action) noexcept;
int kvx_on_yank_pop(kv_editor *ed, int key, void *user, int *action) noexcept;
int kvx_on_kill_word(kv_editor *ed, int key, void *user, int *action) noexcept;
int kvx_on_clear_screen(kv_editor *ed, int key, void *user, int *action) noexcept;
int kvx_on_transpose(kv_editor *ed, int key, void *user, int *action) noexcept;
int kvx_on_case(kv_editor *ed, int key, void *user, int *action) noexcept;
int kvx_on_suspend(kv_editor *ed, int key, void *user, int *action) noexcept;
int kvx_on_search_key(kv_editor *ed, int key, void *user, int *action) noexcept;
int kvx_on_undo(kv_editor *ed, int key, void *user, int *action) noexcept;
int kvx_on_redo(kv_editor *ed, int key, void *user, int *action) noexcept;
int kvx_on_undo_watch(kv_editor *ed, int key, void *user, int *action) noexcept;

// ---- undo --------------------------------------------------------------------------

// Bound in place of every key's own callback when undo is on: records the
// change made since the last step, runs the key's callback, and records what
// that callback changed.
int kvx_undo_key(kv_editor *ed, int key, void *user, int *action) noexcept;
// The idle callback while attached: records a pause and calls the application's.
void kvx_tick(kv_editor *ed, void *user) noexcept;
// A kill whose deletion the core's command is about to make: the line it will
// leave (m) is recorded now as its own step.
void kvx_undo_expect(kvx_attachment *a, const kvx_mark &m) noexcept;
void kvx_undo_free(kvx_undo &u) noexcept;

// The completion list's life.
void kvx_completions_reset(kvx_completions &c, size_t line_len, size_t max_len) noexcept;
void kvx_completions_free(kvx_completions &c) noexcept;

// Terminal size on fd: columns and rows, 80 and 24 when it cannot be had.
void kvx_terminal_size(int fd, int &cols, int &rows) noexcept;

// Builds the listing of the candidates (sorted, without repeats, in columns
// of display width, every row) into out; distinct (if not null) receives the
// number of different candidates.  Control bytes are shown as ^X and invalid
// bytes as U+FFFD.
[[nodiscard]] bool kvx_format_listing(const kvx_completions &c, int cols, kvx_bytes &out,
                                      size_t *distinct = nullptr) noexcept;

// Shows a listing above the prompt a screen at a time: more than
// a->query_items candidates (when positive), or more rows than fit above the
// prompt, ask "Display all N possibilities? (y or n)" first, and each full
// screen waits at "--More--".  Keys are read from a->in_fd.  0, or the
// result of kv_print_above.
int kvx_page_listing(kvx_attachment *a, const kvx_bytes &listing, size_t distinct,
                     int rows) noexcept;
