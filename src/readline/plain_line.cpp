// Lines read without the editor, for terminals that cannot be drawn on
// (TERM=dumb, or no TERM at all, as in an editor's shell buffer): the prompt
// is written as it is and the terminal's own line mode does the editing, so
// not one escape sequence is written.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "rl.h"

bool kvr_plain_terminal() noexcept {
    const char *term = std::getenv("TERM");
    return !term || !*term || std::strcmp(term, "dumb") == 0;
}

char *kvr_read_plain_line(const char *prompt, int in_fd, int out_fd) noexcept {
    for (size_t n = std::strlen(prompt), done = 0; done < n;) {
        ssize_t k = kvr_sys.write(out_fd, prompt + done, n - done);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) break; // the line is still read when the prompt cannot be shown
        done += static_cast<size_t>(k);
    }
    kvr_bytes line;
    bool got_any = false;
    for (;;) {
        char chunk[1];
        ssize_t k =
            kvr_sys.read(in_fd, chunk, 1); // a byte at a time: what follows the line stays unread
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) break;
        got_any = true;
        if (chunk[0] == '\n') break;
        if (!line.append(chunk, 1)) {
            line.release();
            return nullptr;
        }
    }
    if (!got_any) return nullptr; // end of input
    char *out = static_cast<char *>(std::malloc(line.len + 1));
    if (out) {
        if (line.len) std::memcpy(out, line.data, line.len);
        out[line.len] = '\0';
    }
    line.release();
    return out;
}
