#include <readline/readline.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/select.h>

static int done;

static void on_line(char *line) {
    if (!line) { /* end of input */
        done = 1;
        rl_callback_handler_remove();
        return;
    }
    printf("got %s\n", line);
    free(line);
}

int main(void) {
    rl_callback_handler_install("> ", on_line); /* the prompt shows at once */
    while (!done) {
        fd_set in;
        FD_ZERO(&in);
        FD_SET(0, &in);
        if (select(1, &in, NULL, NULL, NULL) > 0)
            rl_callback_read_char(); /* takes what is waiting, never blocks */
    }
    return 0;
}
