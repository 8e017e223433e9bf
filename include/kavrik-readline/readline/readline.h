/*
 * kavrik-readline: the line-reading interface that programs written for
 * readline expect, served by a kavrik editor (libkavrik-readline).
 *
 * A program switches by compiling against these headers and linking
 * -lkavrik-readline instead of -lreadline; see `pkg-config kavrik-readline`.
 * One editor stands behind every function; it is created on first use and
 * reads from descriptor 0 and writes to descriptor 1 (or the descriptors of
 * rl_instream and rl_outstream when they were set before).
 *
 * Only the commonly used part of the interface is offered.  Strings returned
 * by readline() and by completion generators come from malloc and are
 * released with free().
 */
#ifndef KAVRIK_READLINE_READLINE_H
#define KAVRIK_READLINE_READLINE_H

#include <stdio.h>

#include <readline/history.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Interface version: 8.0. */
#define RL_READLINE_VERSION 0x0800
#define RL_VERSION_MAJOR 8
#define RL_VERSION_MINOR 0

/* A command bound to a key: called with a repeat count and the key. */
typedef int rl_command_func_t(int count, int key);
/* A completion generator: state 0 starts a new list; null ends it. */
typedef char *rl_compentry_func_t(const char *text, int state);
/* The attempted completion hook: the word, its start and end in the line. */
typedef char **rl_completion_func_t(const char *text, int start, int end);
/* A hook without arguments (rl_event_hook). */
typedef int rl_hook_func_t(void);

/* Put around invisible text in a prompt (escape sequences); removed. */
#define RL_PROMPT_START_IGNORE '\001'
#define RL_PROMPT_END_IGNORE '\002'

/*
 * Shows prompt, lets the user edit a line and returns it without its line
 * end, as a string the caller frees.  Null at end of input (Ctrl-D on an
 * empty line, or the end of a non-terminal input).  Ctrl-C discards the line
 * and raises SIGINT; when the program survives it, a fresh line is read.  A
 * line may be as long as 2147483645 bytes; the buffer grows with it.  With
 * TERM=dumb (or no TERM) the prompt is written as it is and the line is read
 * in the terminal's own line mode, without one escape sequence.
 */
char *readline(const char *prompt);

/*
 * Creates the editor if it does not exist yet, empties the line and puts the
 * history position after the newest entry; readline() does the same before
 * each line, so calling it is optional.  0, or nonzero when the editor cannot
 * be created.
 */
int rl_initialize(void);

/* The program's name, for the user's configuration; informative only. */
extern const char *rl_readline_name;

/* The line being edited, valid inside hooks, bound commands and completion. */
extern char *rl_line_buffer;
/* The cursor and the end of rl_line_buffer, as byte offsets. */
extern int rl_point;
extern int rl_end;

/* "8.0" and 0x0800: the interface version this library offers. */
extern const char *rl_library_version;
extern int rl_readline_version;

/*
 * Called about ten times a second while readline waits for a key.  It may
 * change rl_line_buffer (with rl_end), rl_point, or call rl_insert_text.
 */
extern rl_hook_func_t *rl_event_hook;

/* Completion on Tab. */
extern rl_completion_func_t *rl_attempted_completion_function;
extern rl_compentry_func_t *rl_completion_entry_function;
/* Set it in rl_attempted_completion_function to skip the default generator. */
extern int rl_attempted_completion_over;
/* Appended after a single completion (reset to ' ' before each attempt). */
extern int rl_completion_append_character;
/* Characters that separate the word being completed from the text before. */
extern const char *rl_basic_word_break_characters;
extern char *rl_completer_word_break_characters;
/*
 * Characters that quote a part of the line (null: none).  When the cursor
 * stands inside such a quote, the word being completed starts after the
 * opening quote and the word break characters do not end it; a single match
 * closes the quote (a directory name keeps it open).
 */
extern const char *rl_completer_quote_characters;
/*
 * A listing of more matches than this (default 100) asks "Display all N
 * possibilities? (y or n)" before it is shown, as does one longer than the
 * screen; 0 or less: only the latter.  A long listing stops at "--More--"
 * after each screen.
 */
extern int rl_completion_query_items;

/*
 * Collects the results of generator for text: element 0 is their longest
 * common prefix, then the results, then null.  Null when there are none.
 */
char **rl_completion_matches(const char *text, rl_compentry_func_t *generator);
/*
 * The generator for file names (the default one).  A leading "~" or "~user"
 * stands for that home directory and stays as typed in the matches; "~us"
 * without a slash gives the matching user names ("~user").  When it answers,
 * a single directory match gets a slash instead of the append character,
 * and a listing shows the last part of each name, directories with a slash.
 */
char *rl_filename_completion_function(const char *text, int state);

/*
 * Binds key (1..255) to function; a null function removes the binding.  The
 * keys of the editing companion (Tab, Ctrl-K, Ctrl-Y, Ctrl-L, ...) may be
 * bound too; such a key then runs the program's function instead.  Returns 0,
 * or nonzero for key 0 or a full binding table.
 */
int rl_bind_key(int key, rl_command_func_t *function);
/* A command that inserts its key count times (rl_bind_key('\t', rl_insert)). */
int rl_insert(int count, int key);
/* Inserts text at rl_point; returns the number of bytes inserted. */
int rl_insert_text(const char *text);

/* Where the editor reads and writes (descriptors 0 and 1 when null); read
   when the editor is created, at the first call that needs it. */
extern FILE *rl_instream;
extern FILE *rl_outstream;

#ifdef __cplusplus
}
#endif

#endif /* KAVRIK_READLINE_READLINE_H */
