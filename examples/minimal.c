#include <kavrik.h>
#include <stdio.h>

int main(void) {
    kv_editor *ed = kv_create();
    char *line;
    if (!ed) return 1;
    while ((line = kv_readline(ed, "> ")) != NULL) {
        printf("you typed: %s\n", line);
        kv_history_add(ed, line);
        kv_free_string(ed, line);
    }
    kv_destroy(ed);
    return 0;
}
