/* A program written for linenoise, built against the installed layer: its
   history goes to a file and comes back. */

#define _POSIX_C_SOURCE 200809L /* mkstemp */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <linenoise.h>

int main(void) {
    char path[] = "/tmp/kavrik-linenoise-consumer-XXXXXX";
    char *(*read_line)(const char *) = linenoise;
    FILE *f;
    char text[64];
    size_t n;
    int fd = mkstemp(path);
    if (fd < 0 || !read_line) return 1;
    if (linenoiseHistoryAdd("select 'a\\nb';") != 1 || linenoiseHistoryAdd("ping") != 1) return 1;
    if (linenoiseHistorySave(path) != 0) return 1;
    f = fopen(path, "rb");
    n = f ? fread(text, 1, sizeof text - 1, f) : 0;
    if (f) fclose(f);
    remove(path);
    text[n] = '\0';
    return strcmp(text, "select 'a\\nb';\nping\n") == 0 ? 0 : 1;
}
