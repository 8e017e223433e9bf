/*
 * kavrik: an interactive line editor for terminal programs.
 *
 * Create an editor, call kv_readline() once per line, release each returned
 * line with kv_free_string(), destroy the editor when done.  Everything runs
 * on the caller's thread; the library starts no threads and installs no
 * signal handlers.
 *
 * Return codes of every int function:
 *    0  success
 *   -1  the operation failed while working (message in kv_last_error)
 *   -2  invalid argument or wrong state (a message only for out-of-range values)
 *   -3  out of memory, or a fixed table is full (message set)
 *   -4  input/output failure (message set, except where documented)
 */
#ifndef KAVRIK_H
#define KAVRIK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#define KV_NOEXCEPT noexcept
#else
#define KV_NOEXCEPT
#endif

/* Status of the last kv_readline() call (kv_last_readline_status). */
#define KV_STATUS_NONE 0        /* no call has finished yet, or one is running */
#define KV_STATUS_LINE 1        /* a line was returned */
#define KV_STATUS_EOF 2         /* end of input: null was returned */
#define KV_STATUS_CANCELLED 3   /* kv_cancel() or a cancel action: null returned */
#define KV_STATUS_INTERRUPTED 4 /* Ctrl-C: terminal restored, SIGINT raised */
#define KV_STATUS_ERROR 5       /* failure: kv_last_error() says why */

/* Key codes.  Bytes 1..255 stand for themselves (27 is ESC pressed alone). */
#define KV_KEY_UP 1000
#define KV_KEY_DOWN 1001
#define KV_KEY_LEFT 1002
#define KV_KEY_RIGHT 1003
#define KV_KEY_HOME 1004
#define KV_KEY_END 1005
#define KV_KEY_DELETE 1006
#define KV_KEY_ALT_B 1007
#define KV_KEY_ALT_F 1008
#define KV_KEY_UNRECOGNISED 1009 /* any escape sequence not listed here */
#define KV_KEY_PASTE_START 1010
#define KV_KEY_PASTE_END 1011
#define KV_KEY_F1 1012
#define KV_KEY_F2 1013
#define KV_KEY_F3 1014
#define KV_KEY_F4 1015
#define KV_KEY_F5 1016
#define KV_KEY_F6 1017
#define KV_KEY_F7 1018
#define KV_KEY_F8 1019
#define KV_KEY_F9 1020
#define KV_KEY_F10 1021
#define KV_KEY_CTRL_ENTER 1022
#define KV_KEY_ALT 4096 /* KV_KEY_ALT + 'x' is ESC followed by the letter x */

/* Actions a key callback leaves in *action. */
#define KV_ACTION_DEFAULT 0   /* run the key's built-in command */
#define KV_ACTION_HANDLED 1   /* key consumed; the line is redrawn (preset) */
#define KV_ACTION_SUBMIT 2    /* finish the call and return the line */
#define KV_ACTION_CANCEL 3    /* finish the call with KV_STATUS_CANCELLED */
#define KV_ACTION_INTERRUPT 4 /* interrupt the call as Ctrl-C does */

typedef struct kv_state kv_state; /* private editor state */
typedef struct kv_editor kv_editor;

/*
 * Key callback: called with the decoded key code before its built-in command.
 * *action is preset to KV_ACTION_HANDLED.  Return 0; any other value ends the
 * readline call with KV_STATUS_ERROR and "key callback failed".
 */
typedef int (*kv_key_callback)(kv_editor *editor, int key, void *user_data, int *action);

/*
 * Idle callback: called about every 0.1 s while the user types nothing, and at
 * once for a NUL byte.  It may edit the line, print above it, or end the call
 * with kv_submit or kv_cancel.
 */
typedef void (*kv_idle_callback)(kv_editor *editor, void *user_data);

/*
 * Text producer for kv_print_above.  Set *chunk and *len to the next piece of
 * text (it must stay valid until the next call) and return 0; a length of 0
 * ends the text.  A nonzero result stops printing and is returned by
 * kv_print_above unchanged.
 */
typedef int (*kv_print_callback)(kv_editor *editor, void *user_data, const char **chunk,
                                 size_t *len);

/* Creation settings; fill with kv_config_init() and change what you need. */
typedef struct kv_config {
    int32_t in_fd;           /* keys are read here (default 0; negative: 0) */
    int32_t out_fd;          /* output goes here (default 1; negative: 1) */
    int32_t column;          /* bounded mode: left column of the box, 0-based */
    int32_t row;             /* bounded mode: top row of the box, 0-based */
    int32_t width;           /* columns used for layout; 0 asks the terminal */
    int32_t height;          /* box rows; nonzero turns bounded mode on */
    int32_t bounded;         /* nonzero turns bounded mode on */
    int32_t history_max_len; /* history entries kept (default 100; 0 none) */
    size_t max_line_len;     /* bytes per line, 1 .. 2147483645 (default 4096) */
} kv_config;

/*
 * The editor handle.  Its slots are filled by kv_create and called by the
 * exported functions of the same names; use those functions rather than the
 * slots.  The layout of this record is part of the library's interface.
 */
struct kv_editor {
    char *(*readline)(kv_editor *, const char *);
    void (*destroy)(kv_editor *);
    void (*free_string)(kv_editor *, char *);
    int (*history_add)(kv_editor *, const char *);
    int (*history_set_max_len)(kv_editor *, int32_t);
    int (*history_save)(kv_editor *, const char *);
    int (*history_load)(kv_editor *, const char *);
    int (*set_bounds)(kv_editor *, int32_t, int32_t, int32_t, int32_t);
    int (*set_screen_width)(kv_editor *, int32_t);
    int (*set_idle_callback)(kv_editor *, kv_idle_callback, void *);
    int (*bind_key)(kv_editor *, int32_t, kv_key_callback, void *);
    int (*insert)(kv_editor *, const char *);
    int (*set_buffer)(kv_editor *, const char *);
    const char *(*buffer)(kv_editor *);
    size_t (*cursor)(kv_editor *);
    int (*set_cursor)(kv_editor *, size_t);
    int (*submit)(kv_editor *);
    int (*cancel)(kv_editor *);
    int (*print_above)(kv_editor *, kv_print_callback, void *);
    int (*last_readline_status)(kv_editor *);
    const char *(*last_error)(kv_editor *);
    kv_state *state;
};

/* Writes the defaults into *config (in 0, out 1, history 100, line 4096). */
void kv_config_init(kv_config *config) KV_NOEXCEPT;

/* A new editor with the default configuration, or null when out of memory. */
kv_editor *kv_create(void) KV_NOEXCEPT;

/*
 * A new editor configured by *config (null means the defaults), or null when a
 * value is out of range or memory runs out.  The record is copied.
 */
kv_editor *kv_create_with_config(const kv_config *config) KV_NOEXCEPT;

/*
 * Reads one line.  Shows the prompt ("> " when null), lets the user edit, and
 * returns the submitted line as a new string that the caller releases with
 * kv_free_string.  Null means no line: kv_last_readline_status tells why.
 * When the input is not a terminal a plain line is read instead.  Each call
 * starts with an empty line; what was typed ahead between calls is kept and
 * read by the next one.  Enter submits, Ctrl-D on an empty line ends input
 * (KV_STATUS_EOF), Ctrl-C interrupts (KV_STATUS_INTERRUPTED, and SIGINT is
 * raised after the terminal is restored), and a terminal that hangs up ends
 * the call as end of input.  The line is not added to the history; call
 * kv_history_add for that.  Calling it again from a callback of a running
 * call is refused: null, KV_STATUS_ERROR and "readline call already active",
 * and the running call goes on.
 */
char *kv_readline(kv_editor *editor, const char *prompt) KV_NOEXCEPT;

/*
 * Releases the editor and everything it owns (not the lines it returned).
 * Writes nothing.  Called from a callback of a running kv_readline it does
 * nothing; destroy the editor after the call returns.
 */
void kv_destroy(kv_editor *editor) KV_NOEXCEPT;

/* Releases a line returned by kv_readline; works with a null editor too. */
void kv_free_string(kv_editor *editor, char *string) KV_NOEXCEPT;

/*
 * Appends a copy of line to the history.  Empty lines and a repeat of the
 * newest entry are not stored.  -2 for a line longer than max_line_len,
 * -3 when out of memory.
 */
int kv_history_add(kv_editor *editor, const char *line) KV_NOEXCEPT;

/* Changes the history limit, dropping the oldest entries; -2 when max < 0. */
int kv_history_set_max_len(kv_editor *editor, int32_t max) KV_NOEXCEPT;

/*
 * Writes the history to path, one entry per line (line feed as "\n",
 * backslash as "\\"), mode 0600.  The old file stays intact when saving
 * fails.  -4 with a message on failure.
 */
int kv_history_save(kv_editor *editor, const char *path) KV_NOEXCEPT;

/*
 * Appends the entries of a history file to the list.  -4 when the file cannot
 * be read, -3 when out of memory, -2 when over-long entries were skipped (the
 * others are loaded), -1 when adding an entry failed.
 */
int kv_history_load(kv_editor *editor, const char *path) KV_NOEXCEPT;

/*
 * Pins the editor to the bottom of a box: left column, top row (0-based),
 * width and height (0 = follow the terminal).  Turns bounded mode on.
 * -2 with "invalid terminal bounds" for a negative argument.
 */
int kv_set_bounds(kv_editor *editor, int32_t column, int32_t row, int32_t width,
                  int32_t height) KV_NOEXCEPT;

/* Sets the layout width; 0 asks the terminal.  -2 for a negative width. */
int kv_set_screen_width(kv_editor *editor, int32_t width) KV_NOEXCEPT;

/* Sets (or, with a null callback, removes) the idle callback. */
int kv_set_idle_callback(kv_editor *editor, kv_idle_callback callback, void *user_data) KV_NOEXCEPT;

/*
 * Binds a key code to a callback (null removes the binding).  -2 for key 0,
 * -3 with "too many key bindings" when all 64 entries are in use.
 */
int kv_bind_key(kv_editor *editor, int32_t key, kv_key_callback callback,
                void *user_data) KV_NOEXCEPT;

/*
 * Inserts text at the cursor and moves the cursor behind it.  -1 (message set,
 * line unchanged) when the line would grow past max_line_len or memory runs
 * out; -2 for a null text.
 */
int kv_insert(kv_editor *editor, const char *text) KV_NOEXCEPT;

/*
 * Replaces the line; the cursor goes to its end.  -1 (message set, line
 * unchanged) when the text is longer than max_line_len or memory runs out;
 * -2 for a null text.
 */
int kv_set_buffer(kv_editor *editor, const char *text) KV_NOEXCEPT;

/* The current line, owned by the editor, valid until the next change. */
const char *kv_buffer(kv_editor *editor) KV_NOEXCEPT;

/* The cursor as a byte offset into kv_buffer(). */
size_t kv_cursor(kv_editor *editor) KV_NOEXCEPT;

/*
 * Moves the cursor to the start of the character cluster holding position;
 * a position at or past the end puts it at the end.
 */
int kv_set_cursor(kv_editor *editor, size_t position) KV_NOEXCEPT;

/* From a callback of a running kv_readline: return the line (else -2). */
int kv_submit(kv_editor *editor) KV_NOEXCEPT;

/* From a callback of a running kv_readline: end it cancelled (else -2). */
int kv_cancel(kv_editor *editor) KV_NOEXCEPT;

/*
 * Prints text pulled from producer above the editor and draws the editor
 * again below it.  Line feeds become "\r\n".  -4 when terminal output fails;
 * a nonzero producer result is returned unchanged.  In bounded mode -2 (message
 * set) when the box leaves no rows above it or does not span the terminal's
 * whole width.
 */
int kv_print_above(kv_editor *editor, kv_print_callback producer, void *user_data) KV_NOEXCEPT;

/* One of KV_STATUS_*: how the last kv_readline call ended. */
int kv_last_readline_status(kv_editor *editor) KV_NOEXCEPT;

/* The most recent error message, or null before the first error. */
const char *kv_last_error(kv_editor *editor) KV_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* KAVRIK_H */
