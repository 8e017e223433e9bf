// The listing shown a screen at a time.  It is printed above the prompt
// through kv_print_above, whose producer hands over one piece at a time: the
// question, then rows, and between them the producer waits for the user's
// key.  The terminal is in the editor's raw mode meanwhile, so keys come one
// by one and nothing is echoed.
#include <cerrno>
#include <cstdio>

#include <poll.h>
#include <unistd.h>

#include "ext.h"

namespace {

enum class kvx_phase { ask, answer, rows, more, done };

struct kvx_pager {
    const kvx_bytes *text;
    size_t at;   // the next row starts here
    size_t page; // rows in a screen: all but the prompt's
    size_t left; // rows still to show before the next "--More--"
    size_t distinct;
    int in_fd;
    kvx_phase phase;
    char line[96];
};

// The next key, or -1 when the input hangs up or fails.
int kvx_read_key(int fd) noexcept {
    for (;;) {
        unsigned char b;
        ssize_t k = read(fd, &b, 1);
        if (k == 1) return b;
        if (k < 0 && errno == EINTR) continue;
        // A terminal in raw mode may answer "nothing yet" (0 bytes, or
        // EAGAIN when non-blocking): wait until a key comes or it hangs up.
        if (k == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd p{fd, POLLIN, 0};
            int n = poll(&p, 1, -1);
            if (n < 0 && errno == EINTR) continue;
            if (n == 1 && (p.revents & POLLIN)) continue;
        }
        return -1;
    }
}

// Keys that refuse: the question's "n" and the pager's "q" (Delete, Ctrl-C
// and Ctrl-G too, and the end of input).
bool kvx_refuses(int key) noexcept {
    return key < 0 || key == 'n' || key == 'N' || key == 'q' || key == 'Q' || key == 127 ||
           key == 3 || key == 7;
}

int kvx_pager_next(kv_editor *, void *user, const char **chunk, size_t *len) {
    auto *p = static_cast<kvx_pager *>(user);
    const kvx_bytes &t = *p->text;
    *len = 0;
    for (;;) {
        switch (p->phase) {
        case kvx_phase::ask: {
            int k = std::snprintf(p->line, sizeof p->line,
                                  "Display all %zu possibilities? (y or n)", p->distinct);
            *chunk = p->line;
            *len = k > 0 ? static_cast<size_t>(k) : 0;
            p->phase = kvx_phase::answer;
            return 0;
        }
        case kvx_phase::answer: {
            int key = kvx_read_key(p->in_fd);
            bool yes = key == 'y' || key == 'Y' || key == ' ';
            if (!yes && !kvx_refuses(key)) continue; // any other key: ask on
            p->phase = yes ? kvx_phase::rows : kvx_phase::done;
            *chunk = "\n";
            *len = 1;
            return 0;
        }
        case kvx_phase::rows: {
            if (p->at >= t.len) return 0;
            if (p->left == 0) {
                *chunk = "--More--";
                *len = 8;
                p->phase = kvx_phase::more;
                return 0;
            }
            size_t end = p->at;
            while (end < t.len && t.data[end] != '\n')
                ++end;
            if (end < t.len) ++end;
            *chunk = t.data + p->at;
            *len = end - p->at;
            p->at = end;
            --p->left;
            return 0;
        }
        case kvx_phase::more: {
            int key = kvx_read_key(p->in_fd);
            if (key == ' ' || key == 'y' || key == 'Y') {
                p->left = p->page;
            } else if (key == '\r' || key == '\n') {
                p->left = 1;
            } else if (kvx_refuses(key)) {
                p->at = t.len;
            } else {
                continue;
            }
            // "--More--" is overwritten where it stands.
            *chunk = "\r        \r";
            *len = 10;
            p->phase = kvx_phase::rows;
            return 0;
        }
        case kvx_phase::done:
            return 0;
        }
    }
}

} // namespace

int kvx_page_listing(kvx_attachment *a, const kvx_bytes &listing, size_t distinct,
                     int rows) noexcept {
    size_t lines = 0;
    for (size_t i = 0; i < listing.len; ++i)
        lines += listing.data[i] == '\n';
    size_t page = rows > 2 ? static_cast<size_t>(rows) - 1 : 1;
    bool ask =
        lines > page || (a->query_items > 0 && distinct > static_cast<size_t>(a->query_items));
    kvx_pager p{&listing, 0, page, page, distinct, a->in_fd, ask ? kvx_phase::ask : kvx_phase::rows,
                {}};
    return kv_print_above(a->ed, kvx_pager_next, &p);
}

KVX_EXPORT int kvx_set_listing(kvx_attachment *a, int32_t query_items, int32_t in_fd) KV_NOEXCEPT {
    if (!a || in_fd < 0) return kvx_rc_invalid;
    a->query_items = query_items;
    a->in_fd = in_fd;
    return 0;
}
