/*
 * A line read through linenoise's multiplexed interface while the program
 * goes on with other work: every 300 ms without a key it prints a message
 * above the open line (hidden and shown again around the print), and once
 * the line is submitted it prints it and exits.  Ctrl-C or Ctrl-D end it
 * without a line.
 *
 *   cc linenoise_async.c $(pkg-config --cflags --libs kavrik-linenoise)
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/select.h>

#include <linenoise.h>

int main(void) {
    struct linenoiseState ls;
    char buf[1024];
    char *line = NULL;
    int ticks = 0, ended_by = 0;
    if (linenoiseEditStart(&ls, -1, -1, buf, sizeof buf, "async> ") != 0) {
        perror("linenoiseEditStart");
        return 1;
    }
    for (;;) {
        fd_set readable;
        struct timeval wait = {0, 300000};
        int ready;
        FD_ZERO(&readable);
        FD_SET(ls.ifd, &readable);
        ready = select(ls.ifd + 1, &readable, NULL, NULL, &wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            perror("select");
            break;
        }
        if (ready == 0) {
            /* Other work: a message above the line the user is typing. */
            linenoiseHide(&ls);
            printf("tick %d\r\n", ++ticks);
            fflush(stdout);
            linenoiseShow(&ls);
            continue;
        }
        line = linenoiseEditFeed(&ls);
        if (line != linenoiseEditMore) break;
    }
    ended_by = errno;
    linenoiseEditStop(&ls);
    if (!line || line == linenoiseEditMore) {
        /* EAGAIN: Ctrl-C; ENOENT: Ctrl-D on an empty line. */
        if (line == NULL && ended_by == EAGAIN) printf("interrupted\n");
        return 0;
    }
    printf("got: %s\n", line);
    linenoiseFree(line);
    return 0;
}
