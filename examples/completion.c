#include <kavrik.h>
#include <kavrik_ext.h>
#include <stdio.h>
#include <string.h>

static const char *const commands[] = {"build", "bench", "clean", "test"};

/* Offers every command that starts with the word before the cursor. */
static int complete(kv_editor *ed, const char *line, size_t cursor, kvx_completions *out,
                    void *user) {
    size_t start = cursor, i;
    (void)ed;
    (void)user;
    while (start > 0 && line[start - 1] != ' ')
        start--;
    for (i = 0; i < sizeof commands / sizeof commands[0]; i++) {
        if (strncmp(commands[i], line + start, cursor - start) == 0 &&
            kvx_add_completion(out, commands[i], start, cursor) != 0)
            return -1;
    }
    return 0;
}

int main(void) {
    kv_editor *ed = kv_create();
    kvx_attachment *ext = NULL;
    kvx_options options;
    char *line;
    int rc;
    if (!ed) return 1;
    kvx_options_init(&options);
    options.completer = complete;
    rc = kvx_attach(ed, &options, &ext);
    if (rc != 0) {
        fprintf(stderr, "companion: %s\n", kvx_error_message(rc));
        kv_destroy(ed);
        return 1;
    }
    while ((line = kv_readline(ed, "make> ")) != NULL) {
        printf("running %s\n", line);
        kv_free_string(ed, line);
    }
    kvx_detach(ext);
    kv_destroy(ed);
    return 0;
}
