// The layer's history list and its file in linenoise's format: one entry per
// line, written as typed, oldest first.  The list keeps every entry as the
// program added it (empty lines and lines longer than the editor takes
// included), so a file loaded and saved again comes back byte for byte;
// the editor's own list, which Up and Down walk, is filled from it.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "base/io.h"
#include "base/state.h"
#include "history/history.h"
#include "ln.h"

namespace {

constexpr int kDefaultMaxLen = 100;

struct List {
    char **lines = nullptr;
    int count = 0;
    int max_len = kDefaultMaxLen;
    unsigned long changes = 0; // counts every change, so the editor's copy knows
} list;

// What the editor's list was last filled from.
kv_editor *synced_editor = nullptr;
unsigned long synced_changes = 0;

void drop_oldest(int n) noexcept {
    if (n <= 0) return;
    for (int i = 0; i < n; ++i)
        std::free(list.lines[i]);
    std::memmove(list.lines, list.lines + n, sizeof(char *) * static_cast<size_t>(list.count - n));
    list.count -= n;
}

// The list is released when the program exits, so that leak checkers see
// none of it.
void release_at_exit() { kvl_history_clear(); }

bool push(const char *line, size_t len) noexcept {
    static bool exit_hook = false;
    if (!exit_hook) exit_hook = std::atexit(release_at_exit) == 0;
    char *copy = kvl_strndup(line, len);
    if (!copy) return false;
    if (!list.lines) {
        list.lines =
            static_cast<char **>(kvl_malloc(sizeof(char *) * static_cast<size_t>(list.max_len)));
        if (!list.lines) {
            std::free(copy);
            return false;
        }
    }
    if (list.count == list.max_len) drop_oldest(1);
    list.lines[list.count++] = copy;
    ++list.changes;
    return true;
}

// A write failure of a save is an input/output failure.
int write_all(int fd, const char *p, size_t n) noexcept {
    return n == 0 || kv_write_all(fd, p, n) == 0 ? 0 : -4;
}

// Every entry and a line feed after it, in blocks of a few KiB.
int write_entries(const void *, int fd) noexcept {
    char block[8192];
    size_t used = 0;
    for (int i = 0; i < list.count; ++i) {
        const char *p = list.lines[i];
        size_t n = std::strlen(p) + 1; // the line feed takes the NUL's place
        while (n > 0) {
            if (used == sizeof block) {
                if (write_all(fd, block, used) != 0) return -4;
                used = 0;
            }
            size_t k = n < sizeof block - used ? n : sizeof block - used;
            std::memcpy(block + used, p, k);
            if (k == n) block[used + k - 1] = '\n';
            used += k;
            p += k;
            n -= k;
        }
    }
    return write_all(fd, block, used);
}

// Reads the whole file: the bytes (freed by the caller) and their count, or
// null with errno set.
char *read_all(int fd, size_t *len) noexcept {
    size_t cap = 4096, n = 0;
    auto *bytes = static_cast<char *>(kvl_malloc(cap));
    if (!bytes) {
        errno = ENOMEM;
        return nullptr;
    }
    for (;;) {
        if (n == cap) {
            auto *grown =
                cap > SIZE_MAX / 2 ? nullptr : static_cast<char *>(kvl_realloc(bytes, cap * 2));
            if (!grown) {
                std::free(bytes);
                errno = ENOMEM;
                return nullptr;
            }
            bytes = grown;
            cap *= 2;
        }
        ssize_t r = ::read(fd, bytes + n, cap - n);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            int err = errno;
            std::free(bytes);
            errno = err;
            return nullptr;
        }
        if (r == 0) break;
        n += static_cast<size_t>(r);
    }
    *len = n;
    return bytes;
}

} // namespace

void kvl_history_clear() noexcept {
    for (int i = 0; i < list.count; ++i)
        std::free(list.lines[i]);
    std::free(list.lines);
    list.lines = nullptr;
    list.count = 0;
    ++list.changes;
}

void kvl_history_unsync() noexcept { synced_editor = nullptr; }

void kvl_history_sync(kv_editor *ed) noexcept {
    if (ed == synced_editor && synced_changes == list.changes) return;
    // Emptied, then filled oldest first; an entry the editor refuses (longer
    // than its line limit, or empty) is not reachable by Up but stays in the
    // layer's list and its file.
    (void)kv_history_set_max_len(ed, 0);
    (void)kv_history_set_max_len(ed, list.max_len);
    for (int i = 0; i < list.count; ++i)
        (void)kv_history_add(ed, list.lines[i]);
    // A walk over the old list has no place in the new one.
    kv_history_reset_walk(kv_state_of(ed)->history);
    synced_editor = ed;
    synced_changes = list.changes;
}

extern "C" {

int linenoiseHistoryAdd(const char *line) {
    if (!line || list.max_len <= 0) return 0;
    // A repeat of the newest entry is not added again.
    if (list.count > 0 && std::strcmp(list.lines[list.count - 1], line) == 0) return 0;
    return push(line, std::strlen(line)) ? 1 : 0;
}

int linenoiseHistorySetMaxLen(int len) {
    if (len < 1) return 0;
    if (list.lines) {
        // The newest entries are kept.
        int keep = list.count < len ? list.count : len;
        int drop = list.count - keep;
        for (int i = 0; i < drop; ++i)
            std::free(list.lines[i]);
        auto *fresh = static_cast<char **>(kvl_malloc(sizeof(char *) * static_cast<size_t>(len)));
        if (!fresh) {
            // Kept in the old array, which is large enough for them.
            std::memmove(list.lines, list.lines + drop, sizeof(char *) * static_cast<size_t>(keep));
            list.count = keep;
            if (len > list.max_len) return 0;
            list.max_len = len;
            ++list.changes;
            return 1;
        }
        std::memcpy(fresh, list.lines + drop, sizeof(char *) * static_cast<size_t>(keep));
        std::free(list.lines);
        list.lines = fresh;
        list.count = keep;
    }
    list.max_len = len;
    ++list.changes;
    return 1;
}

int linenoiseHistorySave(const char *filename) {
    if (!filename) {
        errno = EINVAL;
        return -1;
    }
    // The editor's file writer: a new file beside the old one renamed over
    // it, mode 0600.
    kv_editor *ed = kvl_current_editor();
    if (!ed) ed = kvl_editor(STDIN_FILENO, STDOUT_FILENO);
    if (!ed) {
        errno = ENOMEM;
        return -1;
    }
    kv_entries_source src{write_entries, nullptr};
    errno = 0;
    if (kv_history_save_from(kv_state_of(ed), filename, &src) == 0) return 0;
    if (errno == 0) errno = EIO;
    return -1;
}

int linenoiseHistoryLoad(const char *filename) {
    if (!filename) {
        errno = EINVAL;
        return -1;
    }
    int fd = ::open(filename, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    size_t len = 0;
    char *bytes = read_all(fd, &len);
    int err = errno;
    ::close(fd);
    if (!bytes) {
        errno = err;
        return -1;
    }
    // Each line is an entry up to its line feed; a carriage return before
    // the line feed is dropped, and a line ends at a NUL byte as a C string
    // does.  A last line without a line feed is an entry too.
    for (size_t at = 0; at < len;) {
        auto *nl = static_cast<const char *>(std::memchr(bytes + at, '\n', len - at));
        size_t end = nl ? static_cast<size_t>(nl - bytes) : len;
        size_t n = end - at;
        if (n > 0 && bytes[at + n - 1] == '\r') --n;
        const void *nul = std::memchr(bytes + at, '\0', n);
        if (nul) n = static_cast<size_t>(static_cast<const char *>(nul) - (bytes + at));
        // linenoiseHistoryAdd's rule: a repeat of the newest entry is skipped.
        bool repeat = list.count > 0 && std::strlen(list.lines[list.count - 1]) == n &&
                      std::memcmp(list.lines[list.count - 1], bytes + at, n) == 0;
        if (!repeat && !push(bytes + at, n) && list.max_len > 0) {
            std::free(bytes);
            errno = ENOMEM;
            return -1;
        }
        at = end + 1;
    }
    std::free(bytes);
    return 0;
}

} // extern "C"
