/*
 * kavrik-demo: a small interactive shell built on the kavrik line editor.
 *
 *   kavrik-demo [--bounded]
 *
 * It keeps its history in ~/.kavrik_demo_history, completes its built-in
 * commands and file names with Tab, keeps what Ctrl-K, Ctrl-U, Ctrl-W and
 * Alt-D remove for Ctrl-Y, undoes with Ctrl-_ and redoes with Ctrl-^ (all
 * through the kavrik-ext companion), and can show a clock above the prompt
 * while you type.
 * With --bounded the editor is pinned to the bottom row of the screen and all
 * output scrolls in the area above it.  When its input is not a terminal it
 * simply echoes every line it reads.
 */
#include <dirent.h>
#include <errno.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <kavrik.h>
#include <kavrik_ext.h>

#define PROMPT "\x1b[1;32mkavrik\x1b[0m> "
#define HISTORY_NAME ".kavrik_demo_history"
#define CLOCK_TICKS 5
/* A pasted or piped line may be long, and a shell keeps a long history: the
 * library's defaults (4096 bytes, 100 entries) are raised here. */
#define MAX_LINE_LEN (1u << 20)
#define HISTORY_MAX 1000

struct demo {
    kv_editor *ed;
    int bounded;
    char history_path[4096];
    int clock_left;    /* clock lines still to print */
    time_t clock_last; /* second of the last clock line */
    int save_failed;   /* saves that failed (only the first is reported) */
};

static const char *const builtins[] = {"help", "history", "clock", "quit"};
#define BUILTIN_COUNT (sizeof builtins / sizeof builtins[0])

/* ---- output: straight to stdout, or above the editor when bounded -------- */

struct chunk {
    const char *text;
    size_t len;
};

static int give_chunk(kv_editor *ed, void *user, const char **bytes, size_t *len) {
    struct chunk *c = user;
    (void)ed;
    *bytes = c->text;
    *len = c->len;
    c->len = 0; /* the next call ends the text */
    return 0;
}

/* Prints above the editor (during a call, or always when bounded). */
static void print_above(struct demo *d, const char *text) {
    struct chunk c;
    c.text = text;
    c.len = strlen(text);
    if (c.len > 0) kv_print_above(d->ed, give_chunk, &c);
}

/* Formats and prints; text too long for the usual buffer gets one of its own. */
static void say(struct demo *d, const char *fmt, ...) {
    char small[1024];
    char *buf = small;
    int n;
    va_list ap;
    va_start(ap, fmt);
    n = vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    if ((size_t)n >= sizeof small) {
        char *big = malloc((size_t)n + 1);
        if (big) { /* out of memory: the cut text is still shown */
            va_start(ap, fmt);
            vsnprintf(big, (size_t)n + 1, fmt, ap);
            va_end(ap);
            buf = big;
        }
    }
    if (d->bounded) {
        print_above(d, buf);
    } else {
        fputs(buf, stdout);
        fflush(stdout);
    }
    if (buf != small) free(buf);
}

/* ---- built-in commands ------------------------------------------------- */

static void cmd_help(struct demo *d) {
    say(d,
        "built-in commands:\n"
        "  help     this text\n"
        "  history  the lines entered so far\n"
        "  clock    show the time above the prompt for %d seconds\n"
        "  quit     leave (Ctrl-D on an empty line does the same)\n"
        "keys: Tab completes; Up, Down and Ctrl-R recall lines\n"
        "      Ctrl-K/U/W, Alt-D cut; Ctrl-Y, Alt-Y paste\n"
        "      Ctrl-T, Alt-U/L/C, Ctrl-L, Ctrl-Z (fg resumes)\n"
        "      Ctrl-_ undo, Ctrl-^ (Ctrl-6) redo\n"
        "anything else is echoed back\n",
        CLOCK_TICKS);
}

/* Lists the history by saving it and reading the file back, undoing the
 * file's escapes (backslash n for a line feed, two backslashes for one).
 * getline reads each entry whole, however long it is. */
static void cmd_history(struct demo *d) {
    FILE *f;
    char *line = NULL;
    size_t room = 0;
    int n = 0;
    if (d->history_path[0] == '\0' || kv_history_save(d->ed, d->history_path) != 0) {
        say(d, "history is not available\n");
        return;
    }
    f = fopen(d->history_path, "r");
    if (!f) return;
    while (getline(&line, &room, f) > 0) {
        char *r = line, *w = line;
        line[strcspn(line, "\r\n")] = '\0';
        while (*r) {
            if (r[0] == '\\' && r[1] == 'n') {
                *w++ = '\n';
                r += 2;
            } else if (r[0] == '\\' && r[1] == '\\') {
                *w++ = '\\';
                r += 2;
            } else {
                *w++ = *r++;
            }
        }
        *w = '\0';
        say(d, "%4d  %s\n", ++n, line);
    }
    free(line);
    fclose(f);
}

static void cmd_clock(struct demo *d) {
    d->clock_left = CLOCK_TICKS;
    d->clock_last = 0;
    say(d, "the clock runs above the prompt; keep typing\n");
}

/* Runs a line; returns 0 when the shell should stop. */
static int run_line(struct demo *d, const char *line) {
    if (strcmp(line, "quit") == 0) return 0;
    if (strcmp(line, "help") == 0)
        cmd_help(d);
    else if (strcmp(line, "history") == 0)
        cmd_history(d);
    else if (strcmp(line, "clock") == 0)
        cmd_clock(d);
    else if (line[0] != '\0')
        say(d, "echo: %s\n", line);
    return 1;
}

/* ---- callbacks ------------------------------------------------------------ */

/* Idle: while the clock runs, one line with the time each new second. */
static void on_idle(kv_editor *ed, void *user) {
    struct demo *d = user;
    time_t now = time(NULL);
    char text[64];
    struct tm tm;
    (void)ed;
    if (d->clock_left <= 0 || now == d->clock_last) return;
    d->clock_last = now;
    d->clock_left--;
    localtime_r(&now, &tm);
    strftime(text, sizeof text, "clock: %H:%M:%S\n", &tm);
    print_above(d, text);
}

/* Completion: the first word is a command, later words are file names. */
static void complete_files(const char *line, size_t start, size_t cursor, kvx_completions *out) {
    char dir[4096], path[4096 + 256];
    const char *word = line + start, *slash = NULL, *base;
    size_t i, dir_len, base_len;
    DIR *dp;
    struct dirent *e;
    struct stat st;
    for (i = start; i < cursor; i++)
        if (line[i] == '/') slash = line + i;
    base = slash ? slash + 1 : word;
    dir_len = (size_t)(base - word);
    base_len = (size_t)(line + cursor - base);
    if (dir_len >= sizeof dir) return;
    memcpy(dir, word, dir_len);
    dir[dir_len] = '\0';
    if ((dp = opendir(dir_len ? dir : ".")) == NULL) return;
    while ((e = readdir(dp)) != NULL) {
        int is_dir;
        if (strncmp(e->d_name, base, base_len) != 0) continue;
        if (e->d_name[0] == '.' &&
            (base_len == 0 || strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0))
            continue; /* hidden files only when asked for */
        snprintf(path, sizeof path, "%s%s", dir, e->d_name);
        is_dir = stat(path, &st) == 0 && S_ISDIR(st.st_mode);
        if (is_dir) strncat(path, "/", sizeof path - strlen(path) - 1);
        kvx_add_completion(out, path, start, cursor);
    }
    closedir(dp);
}

static int complete(kv_editor *ed, const char *line, size_t cursor, kvx_completions *out,
                    void *user) {
    size_t start = cursor, i;
    (void)ed;
    (void)user;
    while (start > 0 && line[start - 1] != ' ')
        start--;
    for (i = 0; i < start && line[i] == ' '; i++) {
    }
    if (i < start) {
        complete_files(line, start, cursor, out);
        return 0;
    }
    for (i = 0; i < BUILTIN_COUNT; i++)
        if (strncmp(builtins[i], line + start, cursor - start) == 0)
            kvx_add_completion(out, builtins[i], start, cursor);
    return 0;
}

/* Tab completion, the kill ring, the extra keys and undo, through the companion. */
static kvx_attachment *attach_companion(struct demo *d) {
    kvx_options options;
    kvx_attachment *ext = NULL;
    int rc;
    kvx_options_init(&options);
    options.completer = complete;
    options.completer_data = d;
    options.bounded = d->bounded;
    options.max_line_len = (int32_t)MAX_LINE_LEN;
    /* The companion takes the idle tick (undo sees pauses there) and calls
     * the clock from it. */
    options.idle = on_idle;
    options.idle_data = d;
    rc = kvx_attach(d->ed, &options, &ext);
    if (rc != 0) fprintf(stderr, "kavrik-demo: no completion (%s)\n", kvx_error_message(rc));
    return ext;
}

/* Trailing spaces (Tab leaves one after a command) are not part of the line. */
static void trim_end(char *line) {
    size_t n = strlen(line);
    while (n > 0 && line[n - 1] == ' ')
        line[--n] = '\0';
}

static void on_sigint(int sig) { (void)sig; }

/* ---- setting up ------------------------------------------------------------ */

static void find_history(struct demo *d) {
    const char *home = getenv("HOME");
    d->history_path[0] = '\0';
    if (!home || home[0] == '\0') return;
    if ((size_t)snprintf(d->history_path, sizeof d->history_path, "%s/%s", home, HISTORY_NAME) >=
        sizeof d->history_path)
        d->history_path[0] = '\0';
}

/* Loads the history file.  A missing file is the first run: nothing to load,
 * and the file is made by the first save.  A file that exists but cannot be
 * loaded is reported and left alone: saving this session's few lines over it
 * would lose what it holds. */
static void load_history(struct demo *d) {
    const char *err;
    if (d->history_path[0] == '\0') return;
    if (access(d->history_path, F_OK) != 0 && errno == ENOENT) return;
    if (kv_history_load(d->ed, d->history_path) == 0) return;
    err = kv_last_error(d->ed);
    fprintf(stderr, "kavrik-demo: cannot load history from %s (%s); it will not be saved\n",
            d->history_path, err ? err : "unknown error");
    d->history_path[0] = '\0';
}

/* Saves the history after each line; the first failure is reported. */
static void save_history(struct demo *d) {
    const char *err;
    if (d->history_path[0] == '\0' || kv_history_save(d->ed, d->history_path) == 0) return;
    if (d->save_failed++) return;
    err = kv_last_error(d->ed);
    fprintf(stderr, "kavrik-demo: cannot save history to %s (%s)\n", d->history_path,
            err ? err : "unknown error");
}

/* Lines read from a pipe or a file are echoed as they are.  0 at the end of
 * the input, 1 (with the reason on stderr) when it could not be read. */
static int echo_lines(kv_editor *ed) {
    char *line;
    const char *err;
    while ((line = kv_readline(ed, "")) != NULL) {
        puts(line);
        kv_free_string(ed, line);
    }
    if (kv_last_readline_status(ed) != KV_STATUS_ERROR) return 0;
    err = kv_last_error(ed);
    fprintf(stderr, "kavrik-demo: %s\n", err ? err : "failed to read input");
    return 1;
}

/* Runs the shell; 0 when it ended normally, 1 after a failed readline call. */
static int shell(struct demo *d) {
    struct sigaction sa;
    int go_on = 1, rc = 0;
    kvx_attachment *ext;
    /* Ctrl-C raises SIGINT after the line is abandoned; the shell goes on. */
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_sigint;
    sigaction(SIGINT, &sa, NULL);

    find_history(d);
    load_history(d);
    ext = attach_companion(d);
    if (!ext) kv_set_idle_callback(d->ed, on_idle, d);
    if (d->bounded) {
        kv_set_bounds(d->ed, 0, 0, 0, 0);
        fputs("\x1b[2J", stdout);
        fflush(stdout);
    }
    say(d, "kavrik demo shell: type help, or quit to leave\n");
    while (go_on) {
        char *line = kv_readline(d->ed, PROMPT);
        int status = kv_last_readline_status(d->ed);
        if (!line) {
            if (status == KV_STATUS_INTERRUPTED || status == KV_STATUS_CANCELLED) continue;
            if (status == KV_STATUS_ERROR) {
                const char *err = kv_last_error(d->ed);
                fprintf(stderr, "kavrik-demo: %s\n", err ? err : "readline failed");
                rc = 1;
            }
            break;
        }
        trim_end(line);
        if (line[0] != '\0') {
            kv_history_add(d->ed, line);
            save_history(d);
        }
        go_on = run_line(d, line);
        kv_free_string(d->ed, line);
    }
    if (rc == 0) say(d, "bye\n");
    kvx_detach(ext);
    return rc;
}

int main(int argc, char **argv) {
    struct demo d;
    kv_config config;
    int i, rc;
    memset(&d, 0, sizeof d);
    for (i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--bounded") == 0) {
            d.bounded = 1;
        } else {
            fprintf(stderr, "usage: %s [--bounded]\n", argv[0]);
            return 2;
        }
    }
    kv_config_init(&config);
    config.max_line_len = MAX_LINE_LEN;
    config.history_max_len = HISTORY_MAX;
    d.ed = kv_create_with_config(&config);
    if (!d.ed) {
        fputs("kavrik-demo: out of memory\n", stderr);
        return 1;
    }
    rc = isatty(STDIN_FILENO) ? shell(&d) : echo_lines(d.ed);
    kv_destroy(d.ed);
    return rc;
}
