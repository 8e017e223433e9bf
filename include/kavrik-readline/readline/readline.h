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
/* A hook without arguments (rl_event_hook, rl_startup_hook, ...). */
typedef int rl_hook_func_t(void);
/* The handler of the event-loop interface: gets each finished line. */
typedef void rl_vcpfunc_t(char *line);
/* Shows a list of matches: matches[0] is what replaces the word, then
   num_matches matches; max_length is the longest one's length in bytes. */
typedef void rl_compdisp_func_t(char **matches, int num_matches, int max_length);

/* The function types above are typedefs (programs test this name). */
#define _RL_FUNCTION_TYPEDEF 1

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
 * each line, so calling it is optional.  The first call also reads the init
 * file (rl_read_init_file).  0, or nonzero when the editor cannot be created.
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

/*
 * The event-loop interface, for programs that wait for input themselves
 * (select or poll on several descriptors) instead of blocking in readline().
 *
 * rl_callback_handler_install draws prompt at once and remembers handler.
 * When the input is readable, rl_callback_read_char hands the editor the
 * bytes that are waiting, without waiting for more (except up to 100 ms for
 * the rest of a key cut in two, such as an escape sequence), and never
 * reads past the end of a line.  When a line is done it is given to the
 * handler as a string the handler frees, or null at end of input; if the
 * handler is still installed afterwards, the next line begins with the same
 * prompt.
 *
 * While a line is edited this way the terminal's signal keys stay on: Ctrl-C
 * sends SIGINT to the program, which typically interrupts its wait; the
 * program then calls rl_callback_sigcleanup or rl_free_line_state (or
 * removes the handler), and the line is erased from the screen and dropped.
 * The editor raises no signal of its own then.
 *
 * rl_callback_handler_remove drops a line still being edited (erased from
 * the screen) and restores the terminal.  On input that is not a terminal
 * each rl_callback_read_char reads a whole line, as readline() does there.
 */
void rl_callback_handler_install(const char *prompt, rl_vcpfunc_t *handler);
void rl_callback_read_char(void);
void rl_callback_handler_remove(void);
/* Drops the line being edited after a signal; the handler stays installed
   and its next line begins at the next rl_callback_read_char. */
void rl_callback_sigcleanup(void);
/* The same as rl_callback_sigcleanup. */
void rl_free_line_state(void);
/* The same, and the terminal's own mode back. */
void rl_cleanup_after_signal(void);

/*
 * Run when the event-loop interface begins a line: rl_startup_hook, then
 * rl_pre_input_hook, both after the prompt is drawn (readline runs the
 * startup hook just before).  Inside them rl_line_buffer, rl_point,
 * rl_insert_text and rl_redisplay work on the line.  readline() does not run
 * them.
 */
extern rl_hook_func_t *rl_startup_hook;
extern rl_hook_func_t *rl_pre_input_hook;

/* Draws the line now, with the changes made to rl_line_buffer, rl_point
   and rl_end (inside a hook or a bound command); nothing outside a line. */
int rl_redisplay(void);
/* Redraws the line for the terminal's new size (after SIGWINCH). */
void rl_resize_terminal(void);
/* The terminal into the editor's mode (signal keys on) until a line ends,
   and back; the argument is ignored. */
void rl_prep_terminal(int meta_flag);
void rl_deprep_terminal(void);
/* The editor installs no signal handlers, whatever this says. */
extern int rl_catch_signals;

/*
 * Key maps.  The arrays record what is bound through rl_bind_key (the
 * standard map) and rl_bind_key_in_map; binding happens through those
 * functions, not by writing into the arrays.
 */
#define KEYMAP_SIZE 257
#define ISFUNC 0
#define ISKMAP 1
#define ISMACR 2
typedef struct _keymap_entry {
    char type;
    rl_command_func_t *function;
} KEYMAP_ENTRY;
typedef KEYMAP_ENTRY KEYMAP_ENTRY_ARRAY[KEYMAP_SIZE];
typedef KEYMAP_ENTRY *Keymap;
extern KEYMAP_ENTRY_ARRAY emacs_standard_keymap;
extern KEYMAP_ENTRY_ARRAY emacs_meta_keymap;

/*
 * Binds key in map: in emacs_standard_keymap as rl_bind_key does; in
 * emacs_meta_keymap, Meta (ESC, then the key) with a letter.  Returns 0, or
 * nonzero for any other map or key, which stays unbound (readline also
 * binds Meta with Tab or ESC there).
 */
int rl_bind_key_in_map(int key, rl_command_func_t *function, Keymap map);

/*
 * The completion command, for rl_bind_key or "KEY: complete": the word
 * before rl_point is replaced by its only match (with the append character
 * unless rl_completion_suppress_append is set; a directory gets a slash), or
 * by the matches' longer common prefix; a second call in a row that changes
 * nothing lists the matches, through rl_completion_display_matches_hook when
 * it is set.  Tab completion of the editing companion needs no binding.
 */
int rl_complete(int count, int key);
/* '\t' while rl_complete completes, '?' while it lists. */
extern int rl_completion_type;
/* Set by a completion function to leave out the append character; reset to
   0 before each completion. */
extern int rl_completion_suppress_append;
/* Shows the list instead of the editor (rl_complete's listing only). */
extern rl_compdisp_func_t *rl_completion_display_matches_hook;

/*
 * Configuration in readline's init file syntax.  rl_parse_and_bind takes one
 * line: "set VARIABLE VALUE", "KEY: COMMAND" or "KEY: \"TEXT\"" (a macro
 * that inserts TEXT).  KEY is a name (Control-a, C-a, Meta-x, M-x, TAB, RET,
 * ESC, DEL, SPC, a character) or a quoted sequence of one key ("\C-a",
 * "\t", "\ex").  The commands: backward-char, forward-char,
 * beginning-of-line, end-of-line, delete-char, backward-delete-char,
 * kill-line, unix-line-discard, complete, self-insert, tab-insert.  The
 * variables: history-size (stifles the history; negative lifts the limit)
 * and editing-mode emacs; enable-bracketed-paste, enable-meta-key,
 * disable-completion, show-all-if-ambiguous, show-all-if-unmodified,
 * bell-style and a few others are accepted and change nothing (bracketed
 * paste is always on).  Unknown lines are ignored without a message.
 * rl_variable_bind returns 0, or nonzero for a variable it does not know.
 */
int rl_parse_and_bind(char *line);
int rl_variable_bind(const char *variable, const char *value);
/* Reads an init file with $if (mode=emacs, term=NAME, the program's
   rl_readline_name), $else, $endif and $include: filename, or the last one
   read, or $INPUTRC, ~/.inputrc, /etc/inputrc.  0 or an errno value. */
int rl_read_init_file(const char *filename);

/* Where the editor reads and writes (descriptors 0 and 1 when null); read
   when the editor is created, at the first call that needs it. */
extern FILE *rl_instream;
extern FILE *rl_outstream;

#ifdef __cplusplus
}
#endif

#endif /* KAVRIK_READLINE_READLINE_H */
