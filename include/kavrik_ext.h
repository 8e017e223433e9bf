/*
 * kavrik-ext: editing features for a kavrik editor, built on the public
 * interface of libkavrik alone: Tab completion, a kill ring with yank, the
 * extra keys that users of shells reach for, and undo with redo.
 *
 * Attach the companion to an editor between readline calls, choosing the
 * features; it binds the keys of those features with kv_bind_key and owns its
 * memory.  Detach it before kv_destroy.  Attach before binding keys of your
 * own: a key the application had bound before is taken over.  The
 * application may bind any of the companion's keys again afterwards; that key
 * then belongs to the application (tell the companion with kvx_release_key so
 * that kvx_detach leaves it bound).
 *
 * Keys taken, by feature (KV_KEY_ALT + 'x' is ESC followed by x, which is
 * what terminals send for Alt-x; only the lower-case letters are bound):
 *   KVX_COMPLETION  Tab (9)
 *   KVX_KILL_RING   Ctrl-K (11), Ctrl-U (21), Ctrl-W (23), Alt-D, Ctrl-Y (25),
 *                   Alt-Y
 *   KVX_KEYS        Ctrl-L (12), Ctrl-T (20), Alt-D, Alt-U, Alt-L, Alt-C,
 *                   Ctrl-Z (26)
 *   KVX_UNDO        Ctrl-_ (31) undo, Ctrl-^ (30) redo; Up, Down, the start
 *                   of a bracketed paste, and Ctrl-K, Ctrl-U, Ctrl-W (as
 *                   above, the kill ring only with KVX_KILL_RING) watched
 *   any feature     Ctrl-R (18), Ctrl-G (7), ESC (27), Enter (13), Ctrl-C (3):
 *                   watched only, their built-in commands run unchanged
 *                   (the callback returns KV_ACTION_DEFAULT)
 * That is at most 23 of the editor's 64 bindings.
 *
 * Ctrl-K, Ctrl-U and Ctrl-W keep the core's own command: the companion
 * records the text the command is about to remove and lets it run.  A
 * callback sees only its own keys, so "in a row" (kills that join, Alt-Y
 * after a yank, the second Tab) means the line and the cursor are still
 * exactly what the previous action left: keys that change neither (Ctrl-L,
 * a move there and back, a typed letter erased again) do not break the row.
 *
 * Word rule (Alt-D, Alt-U, Alt-L, Alt-C, and the core's Ctrl-W, Alt-B,
 * Alt-F): a word is a run of bytes that are not white space (space, tab,
 * line feed, vertical tab, form feed, carriage return).  Alt-D and the case
 * keys act from the cursor to the end of the word at or after it (white space
 * before the word is skipped and kept); the case keys leave the cursor at the
 * end of that word.  Case changes touch ASCII letters only; Alt-C raises the
 * word's first ASCII letter and lowers the others.
 *
 * Reverse search: while Ctrl-R's search runs, a callback sees the line the
 * search shows (cursor at its end) and nothing that says a search runs.  The
 * companion therefore watches the keys that start and end a search and
 * leaves the line alone during one: Tab, Ctrl-K, Ctrl-W, Ctrl-Y, Alt-Y,
 * Alt-D, Ctrl-T and the case keys do nothing, and Ctrl-U clears the query as
 * the core does without recording anything.  A search ended by something the
 * companion cannot see (an application callback that submits or cancels the
 * call, or takes over one of the watched keys, an error, a hang-up) is
 * noticed at the latest when the cursor stands anywhere but at the end of
 * the line; until then the companion's keys keep stepping aside.
 *
 * Undo (KVX_UNDO).  Ctrl-_ puts the line and the cursor back as they were
 * before the latest step; Ctrl-^ walks forward again; any new change after
 * an undo drops the steps that could have been redone.  A step is what the
 * user would call one change:
 *   - a run of typing, which ends at a pause (an idle tick that finds the
 *     line changed since the last step) and at every key the companion
 *     handles;
 *   - each kill, yank, completion, case change and transposition;
 *   - a line recalled with Up or Down, and a whole bracketed paste.
 * Steps are found by comparing the line with the one last recorded, so
 * changes made by keys the companion does not see (the core's own keys, the
 * application's) are caught at the next pause or companion key.  A recalled
 * line or a paste followed by typing within 0.1 s, before any tick, joins
 * that typing; so does a paste that arrives with gaps of more than 0.1 s.
 * Enter and Ctrl-C end the line and forget its steps; a line ended another
 * way (end of input, kv_submit or kv_cancel from a callback) keeps them, so
 * Ctrl-_ on the next, still empty, line brings it back.  Reverse search
 * records nothing: Ctrl-_ and Ctrl-^ do nothing during one.
 *
 * The redo key is Ctrl-^ (byte 30, Ctrl-6 on most keyboards), the key of
 * Node.js's readline.  The keys other editors use cannot reach a callback:
 * Emacs's C-M-_, Ruby reline's M-C-_ and fish's Alt-/ are ESC followed by a
 * byte that is not a letter, which the core decodes as KV_KEY_UNRECOGNISED;
 * Ctrl-Shift-Z sends the same byte as Ctrl-Z (suspend here); PSReadLine's
 * Ctrl-Y is the yank and reedline's Ctrl-G leaves a reverse search.
 *
 * The history of steps keeps at most KVX_UNDO_MAX_STEPS steps and
 * KVX_UNDO_MAX_BYTES bytes of changed text, the oldest steps dropped first;
 * the newest step is kept even when it alone is larger.  A step holds only
 * the bytes it removed and inserted, and recording one copies no more than
 * the changed line once.  When memory runs out a step is not recorded (the
 * next one then spans both changes), the line is left as it is, and -3 is
 * recorded for kvx_last_result; Ctrl-_ and Ctrl-^ then do nothing rather
 * than lose the unrecorded change.
 *
 * The idle tick.  Pauses are seen through the editor's idle callback, which
 * the companion takes while attached with KVX_UNDO (or with kvx_options.idle
 * set); give yours in kvx_options.idle and the companion calls it on every
 * tick, after looking at the line and before looking again (a change your
 * callback makes is a step of its own).  An application that sets the
 * editor's idle callback itself after attaching replaces the companion's:
 * its callback runs, and runs of typing then end only at the companion's
 * keys.  kvx_detach sets the editor's idle callback back to
 * kvx_options.idle (none when it was null), replacing whatever the
 * application set meanwhile.
 *
 * Keys not offered, because the public interface cannot serve them:
 *   Alt-Backspace  terminals send ESC DEL, which the core decodes as
 *                  KV_KEY_UNRECOGNISED, the code of every unknown sequence
 *   Ctrl-Left, Ctrl-Right (word motion)  decode as KV_KEY_UNRECOGNISED too
 *   Ctrl-P, Ctrl-N, Alt-. (history)  would need to read the history list,
 *                  which the interface does not expose
 *   Alt-U, Alt-L and friends with Shift  (ESC U...) are left to the
 *                  application
 *
 * Return codes follow the core's: 0 success, -1 the editor refused a change
 * (the line limit) or the completer failed, -2 invalid argument or state,
 * -3 out of memory or the key binding table is full.  kvx_error_message()
 * turns a code into a sentence.  A key action that fails leaves the line and
 * the kill ring as they were and records its code (kvx_last_result).
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
#define KVX_UNDO 8u       /* Ctrl-_ undo, Ctrl-^ redo */
#define KVX_ALL 15u

/* Bounds of the undo history: steps kept, and bytes of changed text they
 * hold.  256 steps outlast any line a person edits by hand; 4 MiB keeps a
 * few changes to lines of a megabyte. */
#define KVX_UNDO_MAX_STEPS 256
#define KVX_UNDO_MAX_BYTES (4u * 1024u * 1024u)

typedef struct kvx_attachment kvx_attachment;

/* The candidate list a completer fills (owned by the companion). */
typedef struct kvx_completions kvx_completions;

/*
 * Completer: called on Tab with the line and the cursor (a byte offset).  Add
 * candidates with kvx_add_completion and return 0; a nonzero result means the
 * completer failed: the line stays as it was.  Each candidate names the byte
 * range of the line it replaces, so a completer can complete a word, a path
 * segment or a whole command.
 *
 * What Tab does with the candidates:
 *   none     nothing changes
 *   one      it replaces its range and the cursor goes behind it, followed by
 *            a space unless it ends with '/' or append_space is 0
 *   several  when they all replace the same range, their longest common
 *            prefix (in whole characters and clusters, never cutting a UTF-8
 *            sequence) replaces the range if it is longer than the range;
 *            a second Tab in a row, when nothing more can be inserted, lists
 *            them above the prompt: sorted by bytes without repeats, in
 *            columns sized by display width (wide characters two columns,
 *            combining marks none) to fit the terminal's width.  Control
 *            characters are listed as ^X and bytes that are not UTF-8 as
 *            U+FFFD.  A listing with more rows than fit above the prompt (or
 *            more candidates than kvx_set_listing allows) first asks
 *            "Display all N possibilities? (y or n)": y, Y or Space lists,
 *            n, N, Delete or Ctrl-C shows nothing.  The listing then stops
 *            after each screen at "--More--": Space (y, Y) shows the next
 *            screen, Enter one more row, q (Q, n, N, Delete, Ctrl-C) stops.
 * A candidate may be added more than once; repeats count once.  A completer
 * may add thousands.
 */
typedef int (*kvx_completer)(kv_editor *editor, const char *line, size_t cursor,
                             kvx_completions *out, void *user_data);

/*
 * Adds a candidate that replaces bytes [start, end) of the line with text
 * (start <= end <= the length of the line).  Returns 0, -2 for a null text or a
 * range outside the line, -3 when out of memory (Tab then changes nothing).
 * A candidate longer than the editor's line limit is skipped (0).
 */
int kvx_add_completion(kvx_completions *out, const char *text, size_t start,
                       size_t end) KV_NOEXCEPT;

/* Same, with an explicit byte length (the text need not end with NUL). */
int kvx_add_completion_n(kvx_completions *out, const char *text, size_t len, size_t start,
                         size_t end) KV_NOEXCEPT;

/* Attach settings; fill with kvx_options_init and change what you need. */
typedef struct kvx_options {
    unsigned features;       /* KVX_* (default KVX_ALL) */
    kvx_completer completer; /* asked on Tab (KVX_COMPLETION needs one) */
    void *completer_data;    /* handed to the completer */
    int32_t append_space;    /* a single candidate is followed by a space (default 1) */
    int32_t kill_ring_size;  /* entries kept on the kill ring (default 16, 1..1024) */
    int32_t max_line_len;    /* the editor's line limit, if it is not the default 4096 */
    int32_t out_fd;          /* where the editor writes (default 1), for Ctrl-L and the listing */
    int32_t bounded;         /* nonzero when the editor runs in bounded mode: Ctrl-L then
                                clears the output area above the box, not the screen */
    kv_idle_callback idle;   /* the application's idle callback, called on every tick
                                (default none); see "The idle tick" above */
    void *idle_data;         /* handed to it */
} kvx_options;

/* Writes the defaults into *options. */
void kvx_options_init(kvx_options *options) KV_NOEXCEPT;

/*
 * Attaches the companion to editor with *options (null: the defaults, which
 * need a completer, so null gives KVX_ALL without completion).  Binds only
 * the keys of the chosen features; when the binding table has fewer free
 * entries than the features have keys, none is bound, -3 is returned and
 * kv_last_error(editor) says "too many key bindings".  -3 also when out of
 * memory.  A failed attach leaves every binding as it was.  (To count free
 * entries it binds and unbinds negative key codes, which no key sends.)  -2 for a null editor or
 * out, no feature, an unknown feature bit, completion without a completer, or a ring size or line
 * limit out of range.  *out receives the attachment.
 */
int kvx_attach(kv_editor *editor, const kvx_options *options, kvx_attachment **out) KV_NOEXCEPT;

/*
 * Removes the companion's bindings and releases its memory.  Call it between
 * readline calls, before kv_destroy.  A null attachment does nothing.  The
 * companion cannot read the editor's binding table, so a key the application
 * bound again is left alone only when it was handed back with kvx_release_key.
 */
void kvx_detach(kvx_attachment *attachment) KV_NOEXCEPT;

/*
 * Tells the companion that the application has bound key again for itself:
 * kvx_detach will not unbind it.  -2 when key is not one the companion took.
 */
int kvx_release_key(kvx_attachment *attachment, int32_t key) KV_NOEXCEPT;

/*
 * Settings of the listing on a second Tab: a listing of more than query_items
 * different candidates asks before it is shown (0 or less: only when it has
 * more rows than fit on the screen), and the answers to the question and to
 * "--More--" are read from in_fd (default 0; the editor's input).  The keys
 * are read directly from in_fd while the listing is shown.  0, or -2 for a
 * null attachment or a negative in_fd.
 */
int kvx_set_listing(kvx_attachment *attachment, int32_t query_items, int32_t in_fd) KV_NOEXCEPT;

/* A short lower-case message for a code returned by the companion. */
const char *kvx_error_message(int code) KV_NOEXCEPT;

/*
 * The code of the most recent key action that failed, or of the most recent
 * undo step that could not be recorded (0 before any), and its message (null
 * before any).  Key actions cannot report through the key
 * callback's result without ending the readline call, so they leave it here.
 */
int kvx_last_result(const kvx_attachment *attachment) KV_NOEXCEPT;
const char *kvx_last_error(const kvx_attachment *attachment) KV_NOEXCEPT;

/* Kill ring access, for applications and wrappers. */

/* Entries on the ring (0 .. kill_ring_size). */
size_t kvx_kill_ring_count(const kvx_attachment *attachment) KV_NOEXCEPT;

/* Entry i, 0 being the newest, or null past the end; owned by the companion. */
const char *kvx_kill_ring_entry(const kvx_attachment *attachment, size_t i) KV_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* KAVRIK_EXT_H */
