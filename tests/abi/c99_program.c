/* Compiled as strict C99: the public header must serve C programs, and every
 * exported function must link and answer as documented for a null handle. */
#include <kavrik.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;
#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond);                             \
            ++failures;                                                                            \
        }                                                                                          \
    } while (0)

static int on_key(kv_editor *ed, int key, void *user, int *action) {
    (void)ed;
    (void)key;
    (void)user;
    *action = KV_ACTION_DEFAULT;
    return 0;
}

static void on_idle(kv_editor *ed, void *user) {
    (void)ed;
    (void)user;
}

static int produce(kv_editor *ed, void *user, const char **chunk, size_t *len) {
    (void)ed;
    (void)user;
    (void)chunk;
    (void)len;
    return 0;
}

int main(void) {
    kv_config cfg;
    kv_editor *ed;
    kv_editor *none = NULL;

    kv_config_init(&cfg);
    CHECK(cfg.in_fd == 0 && cfg.out_fd == 1 && cfg.history_max_len == 100);
    CHECK(cfg.max_line_len == 4096);
    kv_config_init(NULL);

    /* A null handle: every wrapper answers without touching anything. */
    CHECK(kv_readline(none, "> ") == NULL);
    kv_destroy(none);
    kv_free_string(none, (char *)malloc(4));
    CHECK(kv_history_add(none, "x") == -2);
    CHECK(kv_history_set_max_len(none, 5) == -2);
    CHECK(kv_history_save(none, "/nonexistent") == -2);
    CHECK(kv_history_load(none, "/nonexistent") == -2);
    CHECK(kv_set_bounds(none, 0, 0, 0, 0) == -2);
    CHECK(kv_set_screen_width(none, 10) == -2);
    CHECK(kv_set_idle_callback(none, on_idle, NULL) == -2);
    CHECK(kv_bind_key(none, 'a', on_key, NULL) == -2);
    CHECK(kv_insert(none, "x") == -2);
    CHECK(kv_set_buffer(none, "x") == -2);
    CHECK(kv_buffer(none) == NULL);
    CHECK(kv_cursor(none) == 0);
    CHECK(kv_set_cursor(none, 0) == -2);
    CHECK(kv_submit(none) == -2);
    CHECK(kv_cancel(none) == -2);
    CHECK(kv_print_above(none, produce, NULL) == -2);
    CHECK(kv_last_readline_status(none) == 0);
    CHECK(kv_last_error(none) == NULL);

    cfg.max_line_len = 0;
    CHECK(kv_create_with_config(&cfg) == NULL);

    ed = kv_create();
    CHECK(ed != NULL);
    if (ed) {
        CHECK(strcmp(kv_buffer(ed), "") == 0);
        CHECK(kv_insert(ed, "hello") == 0);
        CHECK(strcmp(kv_buffer(ed), "hello") == 0 && kv_cursor(ed) == 5);
        CHECK(kv_set_buffer(ed, "abc") == 0 && kv_cursor(ed) == 3);
        CHECK(kv_submit(ed) == -2 && kv_cancel(ed) == -2);
        CHECK(kv_set_idle_callback(ed, on_idle, NULL) == 0);
        CHECK(kv_last_readline_status(ed) == KV_STATUS_NONE);
        CHECK(kv_last_error(ed) == NULL);
        kv_destroy(ed);
    }
    kv_destroy(kv_create_with_config(NULL));

    if (failures) return 1;
    printf("c99 program: all checks passed\n");
    return 0;
}
