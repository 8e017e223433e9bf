/*
 * The linenoise interface, served by the kavrik line editor
 * (libkavrik-linenoise).  A program written for linenoise builds against this
 * header and links -lkavrik-linenoise instead of compiling linenoise.c.
 *
 * Blocking use: linenoise(prompt) returns the typed line (release it with
 * linenoiseFree), or NULL: errno is EAGAIN after Ctrl-C, ENOENT after Ctrl-D
 * on an empty line, another value on an error.
 *
 * Multiplexed use: linenoiseEditStart opens a line on the terminal,
 * linenoiseEditFeed is called whenever state.ifd is readable and returns
 * linenoiseEditMore while the line stays open, then the line or NULL as
 * linenoise() does; linenoiseEditStop closes it.  linenoiseHide and
 * linenoiseShow take the open line off the screen and put it back, so that
 * the program can print in between.
 */
#ifndef KAVRIK_LINENOISE_H
#define KAVRIK_LINENOISE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Returned by linenoiseEditFeed while the line is still being edited. */
extern char *linenoiseEditMore;

/*
 * One open line of the multiplexed interface, filled by linenoiseEditStart.
 * Programs read ifd (to wait on it) and may read buf, len and pos; the other
 * fields are kept for programs that name them and are not used by this
 * library.
 */
struct linenoiseState {
    int in_completion;     /* not used: Tab completion has no mode here */
    size_t completion_idx; /* not used */
    int ifd;               /* terminal input descriptor */
    int ofd;               /* terminal output descriptor */
    char *buf;             /* the line being edited, as a string */
    size_t buflen;         /* bytes buf holds, its terminating zero included */
    const char *prompt;    /* the prompt shown */
    size_t plen;           /* bytes of the prompt */
    size_t pos;            /* cursor, a byte offset into buf */
    size_t oldpos;         /* not used */
    size_t len;            /* bytes of the line */
    size_t cols;           /* terminal columns when the line was opened */
    size_t oldrows;        /* not used */
    int history_index;     /* not used */
};

/* Candidates a completion callback adds with linenoiseAddCompletion. */
typedef struct linenoiseCompletions {
    size_t len;
    char **cvec;
} linenoiseCompletions;

/* Non-blocking (multiplexed) interface. */
int linenoiseEditStart(struct linenoiseState *l, int stdin_fd, int stdout_fd, char *buf,
                       size_t buflen, const char *prompt);
char *linenoiseEditFeed(struct linenoiseState *l);
void linenoiseEditStop(struct linenoiseState *l);
void linenoiseHide(struct linenoiseState *l);
void linenoiseShow(struct linenoiseState *l);

/* Blocking interface. */
char *linenoise(const char *prompt);
void linenoiseFree(void *ptr);

/*
 * Completion: the callback gets the line and adds whole lines as candidates.
 * Hints: the callback returns text shown right of the line (or NULL), and may
 * set *color (an ANSI colour number, 31 red ... 37 white; -1 none) and *bold;
 * the free callback, when set, releases what it returned.
 */
typedef void(linenoiseCompletionCallback)(const char *, linenoiseCompletions *);
typedef char *(linenoiseHintsCallback)(const char *, int *color, int *bold);
typedef void(linenoiseFreeHintsCallback)(void *);
void linenoiseSetCompletionCallback(linenoiseCompletionCallback *);
void linenoiseSetHintsCallback(linenoiseHintsCallback *);
void linenoiseSetFreeHintsCallback(linenoiseFreeHintsCallback *);
void linenoiseAddCompletion(linenoiseCompletions *, const char *);

/*
 * History: lines added with linenoiseHistoryAdd are recalled with Up and
 * Down.  The file holds one line per entry, written as typed.  Add returns 1
 * when the line was added (0 for a repeat of the newest entry, or out of
 * memory); SetMaxLen returns 1, or 0 for a length below 1; Save and Load
 * return 0, or -1 with errno set.
 */
int linenoiseHistoryAdd(const char *line);
int linenoiseHistorySetMaxLen(int len);
int linenoiseHistorySave(const char *filename);
int linenoiseHistoryLoad(const char *filename);

/* Other utilities. */
void linenoiseClearScreen(void);
void linenoiseSetMultiLine(int ml);
void linenoisePrintKeyCodes(void);
void linenoiseMaskModeEnable(void);
void linenoiseMaskModeDisable(void);

#ifdef __cplusplus
}
#endif

#endif /* KAVRIK_LINENOISE_H */
