// History files in readline's format: one entry per line, written as the
// entry's bytes (no escapes, so a backslash stays a backslash); a line of '#'
// and digits before an entry is its time stamp.  Files are replaced safely,
// appended to with a roll-back on failure, and truncated to their newest
// entries.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rl.h"

namespace {

// Frees a malloc'd pointer when it goes out of scope.
struct FreeGuard {
    char *p;
    ~FreeGuard() { std::free(p); }
};

struct BytesGuard {
    kvr_bytes &b;
    ~BytesGuard() { b.release(); }
};

bool is_stamp(const char *line, size_t len) noexcept {
    if (len < 2 || line[0] != '#') return false;
    for (size_t i = 1; i < len; ++i)
        if (line[i] < '0' || line[i] > '9') return false;
    return true;
}

// One line of a history file: [start, end) without its line feed.
struct Line {
    const char *start;
    size_t len;
};

// Walks the lines of a file's text; the last line needs no line feed.  A
// line counts up to its first NUL byte, as the entry made of it would: a line
// like "#12<NUL>x" is the time stamp "#12", not an entry that would be written
// back as a time stamp line.
struct LineReader {
    const char *p;
    const char *end;
    bool next(Line &out) noexcept {
        if (p >= end) return false;
        auto *nl = static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char *stop = nl ? nl : end;
        auto *nul = static_cast<const char *>(std::memchr(p, '\0', static_cast<size_t>(stop - p)));
        out = {p, static_cast<size_t>((nul ? nul : stop) - p)};
        p = nl ? nl + 1 : end;
        return true;
    }
};

// The file a null name stands for: ~/.history.
const char *default_path(FreeGuard &owner) noexcept {
    const char *home = std::getenv("HOME");
    if (!home || !*home) home = ".";
    size_t n = std::strlen(home);
    owner.p = static_cast<char *>(kvr_malloc(n + sizeof "/.history"));
    if (!owner.p) return nullptr;
    std::memcpy(owner.p, home, n);
    std::memcpy(owner.p + n, "/.history", sizeof "/.history");
    return owner.p;
}

bool write_all(int fd, const char *data, size_t len) noexcept {
    while (len > 0) {
        ssize_t n = kvr_sys.write(fd, data, len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

int error_or(int fallback) noexcept { return errno ? errno : fallback; }

// Appends the entry at index i in file form: its time stamp line, if it has
// one, then its text and a line feed.
bool format_entry(kvr_bytes &out, const HIST_ENTRY *e) noexcept {
    if (e->timestamp && *e->timestamp) {
        if (!out.append(e->timestamp, std::strlen(e->timestamp)) || !out.append("\n", 1))
            return false;
    }
    return out.append(e->line, std::strlen(e->line)) && out.append("\n", 1);
}

// The newest n entries (all when n is larger than the list) in file form.
int format_newest(kvr_bytes &out, int n) noexcept {
    HIST_ENTRY *const *list = kvr_history_entries();
    int first = n >= history_length ? 0 : history_length - n;
    if (!out.append("", 0)) return ENOMEM; // an empty list still gives an empty text
    for (int i = first; i < history_length; ++i)
        if (!format_entry(out, list[i])) return ENOMEM;
    return 0;
}

} // namespace

int kvr_read_file(const char *path, kvr_bytes &out) noexcept {
    int fd = kvr_sys.open(path, O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return error_or(EIO);
    char chunk[8192];
    int result = 0;
    if (!out.append("", 0)) result = ENOMEM;
    while (result == 0) {
        ssize_t n = kvr_sys.read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) result = error_or(EIO);
        if (n <= 0) break;
        if (!out.append(chunk, static_cast<size_t>(n))) result = ENOMEM;
    }
    kvr_sys.close(fd);
    return result;
}

int kvr_replace_file(const char *path, const char *data, size_t len) noexcept {
    // A history file that is a symbolic link is replaced where the link
    // points, so the link itself survives.
    FreeGuard resolved{nullptr};
    struct stat st;
    if (::lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        resolved.p = ::realpath(path, nullptr);
        if (resolved.p) path = resolved.p;
    }
    bool existed = ::stat(path, &st) == 0;
    mode_t mode = existed ? (st.st_mode & 07777) : (S_IRUSR | S_IWUSR);

    size_t n = std::strlen(path);
    FreeGuard tmp{static_cast<char *>(kvr_malloc(n + sizeof ".XXXXXX"))};
    if (!tmp.p) return ENOMEM;
    std::memcpy(tmp.p, path, n);
    std::memcpy(tmp.p + n, ".XXXXXX", sizeof ".XXXXXX");
    int fd = kvr_sys.mkstemp(tmp.p); // created with mode 0600
    if (fd < 0) return error_or(EIO);
    errno = 0;
    // The replacement keeps the owner of the old file where it may (a root
    // process writing a user's history), and its mode.
    if (existed && kvr_sys.fchown(fd, st.st_uid, st.st_gid) != 0) errno = 0;
    bool ok = write_all(fd, data, len) && (!existed || kvr_sys.fchmod(fd, mode) == 0) &&
              kvr_sys.fsync(fd) == 0;
    int err = ok ? 0 : error_or(EIO);
    if (kvr_sys.close(fd) != 0 && ok) {
        ok = false;
        err = error_or(EIO);
    }
    if (ok && kvr_sys.rename(tmp.p, path) != 0) {
        ok = false;
        err = error_or(EIO);
    }
    if (!ok) kvr_sys.unlink(tmp.p);
    return ok ? 0 : err;
}

extern "C" {

int read_history_range(const char *filename, int from, int to) {
    FreeGuard home{nullptr};
    if (!filename && !(filename = default_path(home))) return ENOMEM;
    kvr_bytes text;
    BytesGuard own{text};
    int err = kvr_read_file(filename, text);
    if (err) return err;
    if (from < 0) from = 0;
    if (to < 0) to = INT_MAX;
    LineReader lines{text.data, text.data + text.len};
    Line line, stamp{"", 0};
    for (int index = 0; index < to && lines.next(line);) {
        if (is_stamp(line.start, line.len)) {
            stamp = line;
            continue;
        }
        if (index++ >= from && !kvr_history_push(line.start, line.len, stamp.start, stamp.len))
            return ENOMEM;
        stamp = {"", 0};
    }
    return 0;
}

int read_history(const char *filename) { return read_history_range(filename, 0, -1); }

int write_history(const char *filename) {
    FreeGuard home{nullptr};
    if (!filename && !(filename = default_path(home))) return ENOMEM;
    kvr_bytes text;
    BytesGuard own{text};
    if (int err = format_newest(text, history_length)) return err;
    return kvr_replace_file(filename, text.data, text.len);
}

int append_history(int nelements, const char *filename) {
    FreeGuard home{nullptr};
    if (!filename && !(filename = default_path(home))) return ENOMEM;
    if (nelements <= 0) return 0;
    kvr_bytes text;
    BytesGuard own{text};
    if (int err = format_newest(text, nelements)) return err;
    int fd = kvr_sys.open(filename, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) return error_or(EIO);
    struct stat st;
    int err = 0;
    if (kvr_sys.fstat(fd, &st) != 0) {
        err = error_or(EIO);
    } else if (!write_all(fd, text.data, text.len)) {
        err = error_or(EIO);
        // Whatever part of the entries went out is taken back, so the file
        // holds exactly what it held before.
        if (kvr_sys.ftruncate(fd, st.st_size) != 0) err = error_or(EIO);
    }
    if (kvr_sys.close(fd) != 0 && !err) err = error_or(EIO);
    return err;
}

int history_truncate_file(const char *filename, int nlines) {
    FreeGuard home{nullptr};
    if (!filename && !(filename = default_path(home))) return ENOMEM;
    if (nlines < 0) nlines = 0;
    kvr_bytes text;
    BytesGuard own{text};
    int err = kvr_read_file(filename, text);
    if (err) return err;
    // Count the entries first; the kept part starts at the first line of the
    // entry that is nlines from the end (its time stamp line included).
    LineReader lines{text.data, text.data + text.len};
    Line line;
    long entries = 0;
    while (lines.next(line))
        if (!is_stamp(line.start, line.len)) ++entries;
    if (entries <= nlines) return 0;
    long skip = entries - nlines;
    lines = {text.data, text.data + text.len};
    const char *keep = text.data + text.len;
    const char *pending = nullptr; // start of a time stamp run before an entry
    while (lines.next(line)) {
        bool stamp = is_stamp(line.start, line.len);
        if (!stamp && skip-- == 0) {
            keep = pending ? pending : line.start;
            break;
        }
        pending = stamp ? (pending ? pending : line.start) : nullptr;
    }
    return kvr_replace_file(filename, keep, static_cast<size_t>(text.data + text.len - keep));
}

} // extern "C"
