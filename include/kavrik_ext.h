/*
 * kavrik-ext: editing features for a kavrik editor, built on the public
 * interface of libkavrik alone: Tab completion, a kill ring with yank, and
 * the extra keys that users of shells reach for.
 *
 * Attach the companion to an editor between readline calls, choosing the
 * features; it binds the keys of those features with kv_bind_key and owns its
 * memory.  Detach it before kv_destroy.  The application may bind any of its
 * keys again afterwards; that key then belongs to the application.
 *
 * Return codes follow the core's: 0 success, -2 invalid argument or state,
 * -3 out of memory or the key binding table is full.  kvx_error_message()
 * turns a code from kvx_attach into a sentence.
 */
#ifndef KAVRIK_EXT_H
#define KAVRIK_EXT_H

#include <kavrik.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Features, or-ed together in kvx_options.features. */
#define KVX_COMPLETION 1u /* Tab */
#define KVX_KILL_RING 2u  /* Ctrl-K, Ctrl-U, Ctrl-W, Alt-D record; Ctrl-Y, Alt-Y yank */
#define KVX_KEYS 4u       /* Ctrl-L, Ctrl-T, Alt-U, Alt-L, Alt-C, Ctrl-Z (and Alt-D) */
#define KVX_ALL 7u

typedef struct kvx_attachment kvx_attachment;

/* The candidate list a completer fills (owned by the companion). */
typedef struct kvx_completions kvx_completions;

/*
 * Completer: called on Tab with the line and the cursor (a byte offset).  Add
 * candidates with kvx_add_completion and return 0; a nonzero result means the
 * completer failed: the line stays as it was.
 */
typedef int (*kvx_completer)(kv_editor *editor, const char *line, size_t cursor,
                             kvx_completions *out, void *user_data);

/*
 * Adds a candidate that replaces bytes [start, end) of the line with text
 * (start <= end <= the length of the line).  Returns 0, -2 for a null text or a
 * range outside the line, -3 when out of memory.  A candidate longer than the
 * editor's line limit is skipped (0).
 */
int kvx_add_completion(kvx_completions *out, const char *text, size_t start,
                       size_t end);

/* Same, with an explicit byte length (the text need not end with NUL). */
int kvx_add_completion_n(kvx_completions *out, const char *text, size_t len,
                         size_t start, size_t end);

/* Attach settings; fill with kvx_options_init and change what you need. */
typedef struct kvx_options {
    unsigned features;          /* KVX_* (default KVX_ALL) */
    kvx_completer completer;    /* asked on Tab (KVX_COMPLETION needs one) */
    void *completer_data;       /* handed to the completer */
    int32_t append_space;       /* a single candidate is followed by a space (default 1) */
    int32_t kill_ring_size;     /* entries kept on the kill ring (default 16, 1..1024) */
    int32_t max_line_len;       /* the editor's line limit, if it is not the default 4096 */
    int32_t out_fd;             /* where the editor writes (default 1), for Ctrl-L and Ctrl-Z */
} kvx_options;

/* Writes the defaults into *options. */
void kvx_options_init(kvx_options *options);

/*
 * Attaches the companion to editor with *options (null: the defaults, which
 * need a completer, so null gives KVX_ALL without completion).  Binds only
 * the keys of the chosen features; when the binding table cannot take them all
 * none is bound and -3 is returned.  *out receives the attachment.
 */
int kvx_attach(kv_editor *editor, const kvx_options *options, kvx_attachment **out);

/*
 * Removes the companion's bindings (keys the application bound again since
 * are left alone) and releases its memory.  Call it between readline calls,
 * before kv_destroy.  A null attachment does nothing.
 */
void kvx_detach(kvx_attachment *attachment);

/* A short lower-case message for a code returned by kvx_attach. */
const char *kvx_error_message(int code);

/* Kill ring access, for applications and wrappers. */

/* Entries on the ring (0 .. kill_ring_size). */
size_t kvx_kill_ring_count(const kvx_attachment *attachment);

/* Entry i, 0 being the newest, or null past the end; owned by the companion. */
const char *kvx_kill_ring_entry(const kvx_attachment *attachment, size_t i);

#ifdef __cplusplus
}
#endif

#endif /* KAVRIK_EXT_H */
