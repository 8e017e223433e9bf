/* A program written for readline, built against the installed layer. */
#include <string.h>

#include <readline/history.h>
#include <readline/readline.h>

int main(void) {
    char *(*read_line)(const char *) = readline;
    HIST_ENTRY *e;
    add_history("select 'a\\nb';");
    e = history_get(history_base);
    if (!read_line || history_length != 1 || !e) return 1;
    return strcmp(e->line, "select 'a\\nb';") == 0 && rl_readline_version >= 0x0800 ? 0 : 1;
}
