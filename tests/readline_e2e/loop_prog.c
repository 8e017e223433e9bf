/*
 * A small program with its own event loop on the readline interface: it
 * waits in select on the terminal and hands readline each key with
 * rl_callback_read_char.  Ctrl-C (SIGINT, the terminal's own) interrupts
 * the wait; the program drops the line and installs its handler again.
 * Each line is printed as "got[LINE]"; at end of input "end interrupts=N".
 */
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>

#include <readline/history.h>
#include <readline/readline.h>

static volatile sig_atomic_t interrupts = 0;
static int done = 0;

static void on_sigint(int sig) {
    (void)sig;
    interrupts++;
}

static void on_line(char *line) {
    if (!line) {
        done = 1;
        rl_callback_handler_remove();
        return;
    }
    printf("got[%s]\n", line);
    fflush(stdout);
    if (*line) add_history(line);
    free(line);
}

int main(void) {
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_sigint; /* no SA_RESTART: the wait is cut short */
    sigaction(SIGINT, &sa, NULL);
    int seen = 0;
    rl_callback_handler_install("> ", on_line);
    while (!done) {
        fd_set in;
        FD_ZERO(&in);
        FD_SET(0, &in);
        int ready = select(1, &in, NULL, NULL, NULL);
        if (ready < 0 && errno == EINTR && interrupts != seen) {
            seen = interrupts;
            rl_callback_sigcleanup();
            printf("interrupted\n");
            rl_callback_handler_install("> ", on_line);
        } else if (ready > 0) {
            rl_callback_read_char();
        }
    }
    printf("end interrupts=%d\n", (int)interrupts);
    return 0;
}
