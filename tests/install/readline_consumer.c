/* A program written for readline, built against the installed layer. */
#include <stdio.h>
#include <stdlib.h>

#include <readline/history.h>
#include <readline/readline.h>

int main(void) {
    char *line = readline("> "); /* input is a pipe: a plain line */
    if (!line) return 1;
    add_history(line);
    printf("%s %d\n", line, history_length);
    free(line);
    return history_get(history_base) ? 0 : 1;
}
