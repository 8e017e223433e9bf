/*
 * kavrik-readline: the history list and history files of the readline
 * interface (libkavrik-readline).
 *
 * History files have one entry per line, oldest first, written as the bytes
 * of the entry; a line made of '#' and digits is the time stamp of the entry
 * that follows it.  Writing replaces a file safely: a new file is written in
 * the same directory and renamed over the old one, which stays as it was when
 * anything fails; a new file gets mode 0600.
 *
 * Functions that touch a file return 0 or an errno value.  A null file name
 * means ~/.history.
 */
#ifndef KAVRIK_READLINE_HISTORY_H
#define KAVRIK_READLINE_HISTORY_H

#ifdef __cplusplus
extern "C" {
#endif

typedef void *histdata_t;

typedef struct _hist_entry {
    char *line;      /* the entry's text */
    char *timestamp; /* "#<seconds>" as read from a file, or "" */
    histdata_t data; /* the application's; not used by the library */
} HIST_ENTRY;

/* The list as a whole (history_get_history_state). */
typedef struct _hist_state {
    HIST_ENTRY **entries; /* the list itself, not a copy */
    int offset;           /* the position of a walk: history_length */
    int length;           /* entries in the list */
    int size;             /* the same */
    int flags;            /* HS_STIFLED while a limit is set */
} HISTORY_STATE;
#define HS_STIFLED 0x01

/* Entries in the list, the offset of the oldest, and the stifle limit. */
extern int history_length;
extern int history_base;
extern int history_max_entries;

/* Prepares the list for use (the list is usable without it too) and puts
   the current position after the newest entry. */
void using_history(void);

/* Appends a copy of string (every string, empty and repeated ones too). */
void add_history(const char *string);

/* Removes every entry; history_base becomes 1. */
void clear_history(void);

/* Keeps at most max entries from now on, dropping the oldest (max < 0: 0). */
void stifle_history(int max);

/* Lifts the limit: the old limit if one was set, otherwise a negative value. */
int unstifle_history(void);

/* Nonzero while a limit is set. */
int history_is_stifled(void);

/* The entry at offset (history_base .. history_base + history_length - 1). */
HIST_ENTRY *history_get(int offset);

/* The entries, oldest first, ending with null; null when there are none. */
HIST_ENTRY **history_list(void);

/* Removes and returns the entry at index which (0 = oldest), or null. */
HIST_ENTRY *remove_history(int which);
/* Releases an entry returned by remove_history; returns its data. */
histdata_t free_history_entry(HIST_ENTRY *entry);

/*
 * The current position: an index into the list, 0 for the oldest entry,
 * history_length after the newest.  readline() puts it after the newest entry
 * each time it starts.
 */
/* The current position. */
int where_history(void);
/* Moves the position to pos: 1, or 0 (unchanged) when pos is outside
   0..history_length. */
int history_set_pos(int pos);
/* The entry at the position, or null after the newest. */
HIST_ENTRY *current_history(void);
/* Moves one entry back and returns it; null (unchanged) at the oldest. */
HIST_ENTRY *previous_history(void);
/* Moves one entry forward unless after the newest already; returns the
   entry now at the position, or null after the newest. */
HIST_ENTRY *next_history(void);

/* A record of the list's state, for the caller to free() (not its entries);
   null when out of memory. */
HISTORY_STATE *history_get_history_state(void);
/* Puts a new entry (a copy of line, with data) at index which (0 = oldest)
   and returns the old one for free_history_entry; null for an index outside
   the list, which is then unchanged. */
HIST_ENTRY *replace_history_entry(int which, const char *line, histdata_t data);

/* Adds the entries of filename to the list. */
int read_history(const char *filename);
/* Adds entries from..to (0-based lines, to < 0: the end) of filename. */
int read_history_range(const char *filename, int from, int to);
/* Replaces filename with the whole list. */
int write_history(const char *filename);
/* Appends the newest nelements entries to filename (created if missing). */
int append_history(int nelements, const char *filename);
/* Keeps only the newest nlines entries of filename. */
int history_truncate_file(const char *filename, int nlines);

#ifdef __cplusplus
}
#endif

#endif /* KAVRIK_READLINE_HISTORY_H */
