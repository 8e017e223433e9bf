/* Compiled as strict C99 with both public headers: the companion's interface
 * must serve C programs, and each of its functions must link and answer as
 * documented for null and out-of-range arguments. */
#include <kavrik.h>
#include <kavrik_ext.h>
#include <stdio.h>
#include <string.h>

static int failures = 0;
#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond);                             \
            ++failures;                                                                            \
        }                                                                                          \
    } while (0)

static int complete(kv_editor *ed, const char *line, size_t cursor, kvx_completions *out,
                    void *user) {
    (void)ed;
    (void)line;
    (void)user;
    return kvx_add_completion(out, "word", 0, cursor);
}

int main(void) {
    kvx_options o;
    kvx_attachment *ext = NULL;
    kv_editor *ed = kv_create();

    kvx_options_init(&o);
    CHECK(o.features == KVX_ALL && o.append_space == 1 && o.kill_ring_size == 16);
    CHECK(o.max_line_len == 4096 && o.out_fd == 1 && o.bounded == 0 && o.completer == NULL);
    kvx_options_init(NULL);

    /* Completion needs a completer. */
    CHECK(kvx_attach(ed, &o, &ext) == -2 && ext == NULL);
    o.completer = complete;
    CHECK(kvx_attach(NULL, &o, &ext) == -2);
    CHECK(kvx_attach(ed, &o, NULL) == -2);
    CHECK(kvx_attach(ed, &o, &ext) == 0 && ext != NULL);
    CHECK(kvx_kill_ring_count(ext) == 0 && kvx_kill_ring_entry(ext, 0) == NULL);
    CHECK(kvx_last_result(ext) == 0 && kvx_last_error(ext) == NULL);
    CHECK(kvx_release_key(ext, 9) == 0 && kvx_release_key(ext, 9) == -2);
    kvx_detach(ext);
    kvx_detach(NULL);

    /* Null options: every feature but completion. */
    CHECK(kvx_attach(ed, NULL, &ext) == 0);
    kvx_detach(ext);

    CHECK(kvx_add_completion(NULL, "x", 0, 0) == -2);
    CHECK(kvx_add_completion_n(NULL, "x", 1, 0, 0) == -2);
    CHECK(kvx_last_result(NULL) == -2 && kvx_last_error(NULL) == NULL);
    CHECK(kvx_kill_ring_count(NULL) == 0 && kvx_kill_ring_entry(NULL, 0) == NULL);
    CHECK(strcmp(kvx_error_message(0), "success") == 0);
    CHECK(strcmp(kvx_error_message(-3), "out of memory or too many key bindings") == 0);
    CHECK(kvx_error_message(-99) != NULL);
    kv_destroy(ed);
    if (failures) return 1;
    puts("kavrik-ext C99 program: ok");
    return 0;
}
