// The readline-compatible layer's face between its files, and the seams its
// tests use.  The layer is built on <kavrik.h> and <kavrik_ext.h> alone.
#pragma once

#include <cstddef>

#include <sys/stat.h>
#include <sys/types.h>

#include <kavrik.h>

#include "common/byte_string.h"

// The readline names are the layer's interface: declared with default
// visibility so that the version script can export them.
#pragma GCC visibility push(default)
#include <readline/history.h>
#include <readline/readline.h>
#pragma GCC visibility pop

// ---- memory: the system allocator, with a failure countdown for tests ----
void *kvr_malloc(size_t n) noexcept;
void *kvr_realloc(void *p, size_t n) noexcept;
char *kvr_strndup(const char *bytes, size_t len) noexcept;
// When positive it is decreased on every allocation and the allocation that
// brings it to 0 fails (as do all later ones while it stays 0).  Negative
// (the default) disables it.
extern long kvr_alloc_countdown;

void kvr_free(void *p) noexcept;

// The family's growable byte string on the layer's allocator.
using kvr_bytes = kv_byte_string<kvr_realloc, kvr_free>;

// ---- system calls (sys.cpp) ----
// The calls the history files and plain lines make, behind a table of function pointers as
// in the core.  The layer never changes it; tests repoint entries to inject
// EINTR, short writes and failures that a real system will not produce on
// demand.
struct kvr_sys_table {
    ssize_t (*write)(int fd, const void *buf, size_t n);
    ssize_t (*read)(int fd, void *buf, size_t n);
    int (*open)(const char *path, int flags, mode_t mode);
    int (*close)(int fd);
    int (*rename)(const char *from, const char *to);
    int (*fsync)(int fd);
    int (*fchmod)(int fd, mode_t mode);
    int (*fchown)(int fd, uid_t uid, gid_t gid);
    int (*fstat)(int fd, struct stat *sb);
    int (*ftruncate)(int fd, off_t length);
    int (*mkstemp)(char *path_template);
    int (*unlink)(const char *path);
};
extern kvr_sys_table kvr_sys;
// Puts every entry back to the real system call.
void kvr_sys_reset() noexcept;

// ---- history list (history.cpp) ----
// Counts every change that is not an append at the end of the list (clear,
// removal, a limit that drops entries), so that a copy of the list elsewhere
// knows when it has to be rebuilt.
unsigned long kvr_history_rewrites() noexcept;
// The entries, oldest first (history_length of them).
HIST_ENTRY *const *kvr_history_entries() noexcept;
// Puts entry at index which (0 = oldest) and returns the one it replaces;
// null (and nothing changed) for an index outside the list.
HIST_ENTRY *kvr_history_swap(int which, HIST_ENTRY *entry) noexcept;
// Appends an entry; false when out of memory (the list is unchanged).
bool kvr_history_push(const char *line, size_t len, const char *stamp, size_t stamp_len) noexcept;

// ---- history files (history_file.cpp) ----
// Replaces path with data: a new file beside it, renamed over it.  Keeps the
// mode of an existing file, 0600 for a new one.  0 or an errno value.
int kvr_replace_file(const char *path, const char *data, size_t len) noexcept;
// Reads a whole file into out (released by the caller).  0 or an errno value.
int kvr_read_file(const char *path, kvr_bytes &out) noexcept;

// ---- the editor (readline.cpp) ----
// The one editor behind the interface, created on first use; null when it
// cannot be created.
kv_editor *kvr_editor() noexcept;
// Copies the editor's line and cursor into rl_line_buffer, rl_point, rl_end
// before a hook runs; false when out of memory.
bool kvr_line_from_editor(kv_editor *ed) noexcept;
// Hands changes a hook made to rl_line_buffer, rl_end or rl_point back to the
// editor.
void kvr_line_to_editor(kv_editor *ed) noexcept;
// Brings the core's history list (which Up and Down walk) in line with the
// layer's before a line is read.
void kvr_sync_history(kv_editor *ed) noexcept;
// The prompt without readline's markers around invisible text; null when
// out of memory.
char *kvr_visible_prompt(const char *prompt) noexcept;
// Keeps rl_line_buffer, rl_point and rl_end as the line just returned.
void kvr_line_from_text(const char *text) noexcept;

// ---- init files and key maps (inputrc.cpp) ----
// Reads the user's init file the first time it is called (rl_initialize).
void kvr_read_init_once() noexcept;
// Records a binding in readline's key map arrays, which programs may read.
void kvr_meta_map_set(int key, rl_command_func_t *function) noexcept;
void kvr_standard_map_set(int key, rl_command_func_t *function) noexcept;
// The command an init file names (readline's names, any case), or null
// (commands.cpp).
rl_command_func_t *kvr_command_named(const char *name) noexcept;

// ---- lines without the editor (plain_line.cpp) ----
// True when TERM names no terminal that can be drawn on ("dumb", or unset).
bool kvr_plain_terminal() noexcept;
// Writes prompt and reads one line in the terminal's own line mode: a copy
// from malloc without the line end, or null at end of input (or out of
// memory).
char *kvr_read_plain_line(const char *prompt, int in_fd, int out_fd) noexcept;

// ---- completion (complete.cpp) ----
// Attaches the completion, editing and undo keys of the companion library;
// idle runs on every tick through the companion.
int kvr_completion_attach(kv_editor *ed, kv_idle_callback idle) noexcept;
// Tells the companion that the program has bound key for itself.
void kvr_completion_release_key(int key) noexcept;
// The start of the word that ends at cursor (the word break characters).
size_t kvr_word_start(const char *line, size_t cursor) noexcept;
// The program's matches for word at [start, end) of rl_line_buffer, in
// rl_completion_matches' form, or null; *file_names when the file name
// generator made them.
char **kvr_gather_matches(const char *word, size_t start, size_t end, bool *file_names) noexcept;
void kvr_free_matches(char **matches) noexcept;
// Runs a bound command on rl_line_buffer and hands its changes back.
void kvr_run_bound(kv_editor *ed, rl_command_func_t *command, int key) noexcept;
