#include <kavrik.h>
#include <stdio.h>
#include <string.h>

/* Tab completes the word given as user data when the line is a prefix of it. */
static int complete(kv_editor *ed, int key, void *user, int *action) {
    const char *word = user;
    const char *line = kv_buffer(ed);
    (void)key;
    if (strncmp(word, line, strlen(line)) == 0) kv_set_buffer(ed, word);
    *action = KV_ACTION_HANDLED; /* Tab itself does nothing more */
    return 0;
}

/* Hands kv_print_above one piece of text, then ends it. */
static int one_piece(kv_editor *ed, void *user, const char **chunk, size_t *len) {
    const char **text = user;
    (void)ed;
    if (*text) {
        *chunk = *text;
        *len = strlen(*text);
        *text = NULL;
    }
    return 0;
}

/* Called about ten times a second while the user types nothing. */
static void idle(kv_editor *ed, void *user) {
    int *ticks = user;
    if (++*ticks % 100 == 0) {
        const char *note = "(still here)\n";
        kv_print_above(ed, one_piece, &note); /* the prompt is redrawn below */
    }
}

int main(void) {
    kv_editor *ed = kv_create();
    int ticks = 0;
    char *line;
    if (!ed) return 1;
    kv_history_load(ed, ".example_history"); /* -4 on the first run: no file yet */
    kv_bind_key(ed, '\t', complete, "hello world");
    kv_set_idle_callback(ed, idle, &ticks);
    while ((line = kv_readline(ed, "\x1b[32mexample>\x1b[0m ")) != NULL) {
        printf("%s\n", line);
        kv_history_add(ed, line);
        kv_free_string(ed, line);
    }
    if (kv_last_readline_status(ed) == KV_STATUS_ERROR)
        fprintf(stderr, "error: %s\n", kv_last_error(ed));
    if (kv_history_save(ed, ".example_history") != 0)
        fprintf(stderr, "history not saved: %s\n", kv_last_error(ed));
    kv_destroy(ed);
    return 0;
}
