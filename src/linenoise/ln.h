// The linenoise layer's face between its files.  The layer links the core's
// objects privately: besides the public functions it reaches the hint and
// mask drawing and the history file writer, which the public interface does
// not offer.
#pragma once

#include <cstddef>

#include <kavrik.h>

// The linenoise names are the layer's interface: declared with default
// visibility so that the version script can export them.
#pragma GCC visibility push(default)
#include <linenoise.h>
#pragma GCC visibility pop

// ---- memory: the system allocator, with a failure countdown for tests ----
void *kvl_malloc(size_t n) noexcept;
void *kvl_realloc(void *p, size_t n) noexcept;
char *kvl_strndup(const char *bytes, size_t len) noexcept;
// When positive it is decreased on every allocation and the allocation that
// brings it to 0 fails (as do all later ones while it stays 0).  Negative
// (the default) disables it.
extern long kvl_alloc_countdown;

// ---- the editor (editor.cpp) ----
// The one editor behind the interface, on these descriptors: created on
// first use, made afresh when a call names other descriptors.  Null when it
// cannot be created, or when the editor of an open line (the multiplexed
// interface) is on other descriptors: that one is never replaced.
kv_editor *kvl_editor(int in_fd, int out_fd) noexcept;
// The editor there is, whatever its descriptors; null before the first.
kv_editor *kvl_current_editor() noexcept;
// Readies the editor for a call: the history and the mask as the program
// set them.
void kvl_prepare(kv_editor *ed) noexcept;
// The result of a call that returned line (or null): a copy the program
// frees with free(), or null with errno EAGAIN (Ctrl-C), ENOENT (end of
// input) or ENOMEM/EIO.
char *kvl_result(kv_editor *ed, char *line) noexcept;

// ---- history (history.cpp) ----
// Empties the layer's list (tests, and the program's exit).
void kvl_history_clear() noexcept;
// Forgets what editor the list was copied into (that editor is going).
void kvl_history_unsync() noexcept;
// Makes the editor's list (which Up and Down walk) hold the layer's entries.
void kvl_history_sync(kv_editor *ed) noexcept;

// ---- completion (complete.cpp) ----
// Attaches the companion's completion and editing keys; null when out of
// memory.
struct kvx_attachment;
kvx_attachment *kvl_completion_attach(kv_editor *ed, int out_fd) noexcept;
