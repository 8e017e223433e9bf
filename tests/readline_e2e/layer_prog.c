/*
 * A small program written against the readline interface, for the layer's
 * terminal tests: it completes words from a fixed list, binds Ctrl-O, runs
 * an event hook, keeps history (changed by lines starting with '!') and
 * survives Ctrl-C.  Each line read is
 * printed as "got[LINE] START END", START and END being the word range the
 * last completion was asked for.
 */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <readline/history.h>
#include <readline/readline.h>

static const char *words[] = {"apple", "apricot", "banana", "quartz", NULL};
static int last_start = -1, last_end = -1;
static volatile sig_atomic_t interrupts = 0;

static char *word_generator(const char *text, int state) {
    static int i;
    if (state == 0) i = 0;
    while (words[i]) {
        const char *w = words[i++];
        if (strncmp(w, text, strlen(text)) == 0) return strdup(w);
    }
    return NULL;
}

/* Used only when the attempted completion gives nothing. */
static char *fallback_generator(const char *text, int state) {
    if (state == 0 && text[0] == 'x') return strdup("xylophone");
    if (state == 0 && strcmp(text, "none") == 0) return strdup("none-fallback");
    return NULL;
}

static char **attempt(const char *text, int start, int end) {
    last_start = start;
    last_end = end;
    if (strcmp(text, "none") == 0) {
        rl_attempted_completion_over = 1; /* no fallback either */
        return NULL;
    }
    if (text[0] == 'x') return NULL; /* the fallback generator answers */
    if (text[0] == 'q') rl_completion_append_character = '\0';
    return rl_completion_matches(text, word_generator);
}

/* Ctrl-O: wraps the line in brackets and leaves the cursor after "[". */
static int bracket(int count, int key) {
    (void)count;
    (void)key;
    rl_point = 0;
    rl_insert_text("[");
    rl_point = rl_end;
    rl_insert_text("]");
    rl_point = 1;
    return 0;
}

/* Completes the word "hook" to "hook!" while the user waits. */
static int hook(void) {
    if (rl_line_buffer && strcmp(rl_line_buffer, "hook") == 0) {
        rl_point = rl_end;
        rl_insert_text("!");
    }
    return 0;
}

static void on_interrupt(int sig) {
    (void)sig;
    interrupts++;
}

int main(void) {
    char *line;
    signal(SIGINT, on_interrupt);
    rl_readline_name = "layer-prog";
    rl_attempted_completion_function = attempt;
    rl_completion_entry_function = fallback_generator;
    rl_event_hook = hook;
    if (rl_bind_key(15, bracket) != 0) return 2;
    using_history();
    /* A bold prompt with its escape sequences marked invisible: the screen
       shows "> " and the cursor stands at column 2. */
    while ((line = readline("\001\033[1m\002>\001\033[0m\002 ")) != NULL) {
        printf("got[%s] %d %d interrupts=%d\n", line, last_start, last_end, (int)interrupts);
        /* "!stifle N", "!unstifle" and "!clear" change the history instead
           of joining it. */
        if (strncmp(line, "!stifle ", 8) == 0) {
            stifle_history(atoi(line + 8));
        } else if (strcmp(line, "!unstifle") == 0) {
            unstifle_history();
        } else if (strcmp(line, "!clear") == 0) {
            clear_history();
        } else if (*line) {
            add_history(line);
        }
        free(line);
    }
    printf("end of input\n");
    return 0;
}
