// The history file: one entry per line, oldest first, line feed written as
// backslash n and backslash as two backslashes.  Saving never destroys the
// old file on failure: the list goes into a new file beside it that is then
// renamed over it.  Devices and FIFOs (the null device, a pipe) are written
// directly, untouched otherwise.  The file is always left with mode 0600.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/alloc.h"
#include "base/error.h"
#include "base/io.h"
#include "base/sys.h"
#include "history/history.h"
#include "history/internal.h"
#include "history/messages.h"

namespace {

constexpr mode_t kv_file_mode = S_IRUSR | S_IWUSR;
constexpr size_t kv_io_block = 4096;
constexpr size_t kv_first_entry_block = 256;
constexpr int kv_max_link_hops = 40;
constexpr int kv_max_temp_tries = 100;

// An owned, zero-terminated string that is released when it goes away.
struct kv_owned {
    char *p = nullptr;
    kv_owned() = default;
    explicit kv_owned(char *s) : p(s) {}
    ~kv_owned() { kv_free(p); }
    kv_owned(const kv_owned &) = delete;
    kv_owned &operator=(const kv_owned &) = delete;
    void reset(char *s) noexcept {
        kv_free(p);
        p = s;
    }
};

// Joins a + b into a new string; null when out of memory.
char *kv_concat(const char *a, size_t alen, const char *b, size_t blen) noexcept {
    auto *s = static_cast<char *>(kv_malloc(alen + blen + 1));
    if (!s) return nullptr;
    std::memcpy(s, a, alen);
    std::memcpy(s + alen, b, blen);
    s[alen + blen] = '\0';
    return s;
}

enum class kv_link { none, link, failed };

// Reads the symbolic link at path into *out.  none: path is no link (or
// does not exist); failed: it is one but cannot be read, or memory ran out.
kv_link kv_read_link(const char *path, char **out) noexcept {
    struct stat sb;
    if (kv_sys.lstat(path, &sb) != 0 || !S_ISLNK(sb.st_mode)) return kv_link::none;
    size_t cap = sb.st_size > 0 ? static_cast<size_t>(sb.st_size) + 1 : 256;
    for (int tries = 0; tries < 8; ++tries, cap *= 2) {
        auto *buf = static_cast<char *>(kv_malloc(cap));
        if (!buf) return kv_link::failed;
        ssize_t n = kv_sys.readlink(path, buf, cap);
        if (n >= 0 && static_cast<size_t>(n) < cap) {
            buf[n] = '\0';
            *out = buf;
            return kv_link::link;
        }
        kv_free(buf);
        if (n < 0) return kv_link::failed;
    }
    return kv_link::failed;
}

// The file that path finally names, following symbolic links (a relative
// link counts from the directory holding it); it may not exist.  Null when
// a link cannot be followed (unreadable, a loop, out of memory): saving must
// then not replace the link itself.
char *kv_resolve_links(const char *path) noexcept {
    char *cur = kv_strndup(path, std::strlen(path));
    for (int hop = 0; cur && hop < kv_max_link_hops; ++hop) {
        char *link = nullptr;
        kv_link kind = kv_read_link(cur, &link);
        if (kind == kv_link::none) return cur;
        char *next = link;
        const char *slash = std::strrchr(cur, '/');
        if (link && link[0] != '/' && slash) {
            next = kv_concat(cur, static_cast<size_t>(slash - cur) + 1, link, std::strlen(link));
            kv_free(link);
        }
        kv_free(cur);
        cur = next;
    }
    kv_free(cur);
    return nullptr;
}

// Collects escaped output in blocks so that a file costs few writes.
struct kv_out {
    int fd;
    size_t used = 0;
    bool failed = false;
    char block[kv_io_block];

    explicit kv_out(int f) : fd(f) {}
    void flush() noexcept {
        if (!failed && used > 0 && kv_write_all(fd, block, used) != 0) failed = true;
        used = 0;
    }
    void put(char c) noexcept {
        if (used == kv_io_block) flush();
        block[used++] = c;
    }
};

// Writes every entry, oldest first, with its escapes and a line feed; 0 or
// -4.
int kv_write_entries(const kv_state *st, int fd) noexcept {
    kv_out out(fd);
    for (int i = 0; i < st->history.count && !out.failed; ++i) {
        for (const char *p = kv_history_entry(st->history, i); *p; ++p) {
            if (*p == '\n') {
                out.put('\\');
                out.put('n');
            } else {
                if (*p == '\\') out.put('\\');
                out.put(*p);
            }
        }
        out.put('\n');
    }
    out.flush();
    return out.failed ? kv_rc_io_error : 0;
}

// What a save writes: the list's entries, or those of another source.
int kv_put_entries(const kv_state *st, const kv_entries_source *src, int fd) noexcept {
    return src ? src->write(src->data, fd) : kv_write_entries(st, fd);
}

// Every failure of the file operations is an input/output failure.
int kv_fail(kv_state *st, const char *msg) noexcept {
    return kv_fail_with(st, kv_result::io_error, msg);
}

// Makes the reads and writes on fd block again once a non-blocking open has
// got past a FIFO without a peer.
void kv_clear_nonblock(int fd) noexcept {
    int fl = kv_sys.fcntl(fd, F_GETFL, 0);
    if (fl >= 0) (void)kv_sys.fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
}

// Opens for writing without hanging on a FIFO that has no reader (that
// open fails instead); later writes block as usual.
int kv_open_nonblocking_write(const char *path, int flags, mode_t mode) noexcept {
    int fd = kv_sys.open(path, flags | O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd >= 0) kv_clear_nonblock(fd);
    return fd;
}

// Closes fd and reports the first failure of a save that wrote into it
// (written: the result of the writing).
int kv_close_saved(kv_state *st, int fd, int written) noexcept {
    if (written != 0) {
        kv_sys.close(fd);
        return kv_fail(st, kv_msg_history_write);
    }
    if (kv_sys.close(fd) != 0) return kv_fail(st, kv_msg_close);
    return 0;
}

// A device, FIFO or socket: write the list into it and change nothing else.
int kv_save_direct(kv_state *st, const char *target, const kv_entries_source *src) noexcept {
    int fd = kv_open_nonblocking_write(target, 0, 0);
    if (fd < 0) return kv_fail(st, kv_msg_open_write);
    return kv_close_saved(st, fd, kv_put_entries(st, src, fd));
}

// Rewrites the target in place.  The mode is narrowed before anything is
// truncated, so a failure there loses nothing.
int kv_save_in_place(kv_state *st, const char *target, const kv_entries_source *src) noexcept {
    int fd = kv_open_nonblocking_write(target, O_CREAT, kv_file_mode);
    if (fd < 0) return kv_fail(st, kv_msg_open_write);
    if (kv_sys.fchmod(fd, kv_file_mode) != 0) {
        kv_sys.close(fd);
        return kv_fail(st, kv_msg_chmod);
    }
    const int written = kv_sys.ftruncate(fd, 0) == 0 ? kv_put_entries(st, src, fd) : kv_rc_io_error;
    return kv_close_saved(st, fd, written);
}

constexpr int kv_temp_failed = -1;  // no new file (out of memory, disk full...)
constexpr int kv_temp_refused = -2; // the directory takes no new file

// True for the errors that say the directory cannot take a new file while
// the old one may still be rewritten.  A full disk is not among them: a
// rewrite in place would then truncate the old file and fail.
bool kv_dir_refuses(int err) noexcept {
    return err == EACCES || err == EPERM || err == EROFS || err == ENAMETOOLONG;
}

// Creates a new file beside target, named target.<pid>-<n>.tmp, readable by
// the owner only: its descriptor, or kv_temp_failed or kv_temp_refused.
int kv_create_temp(const char *target, kv_owned *name) noexcept {
    size_t tlen = std::strlen(target);
    char suffix[48];
    for (int n = 0; n < kv_max_temp_tries; ++n) {
        int k = std::snprintf(suffix, sizeof suffix, ".%ld-%d.tmp", static_cast<long>(getpid()), n);
        name->reset(kv_concat(target, tlen, suffix, static_cast<size_t>(k)));
        if (!name->p) return kv_temp_failed;
        int fd =
            kv_sys.open(name->p, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, kv_file_mode);
        if (fd >= 0) return fd;
        if (errno != EEXIST) {
            int err = errno;
            name->reset(nullptr);
            return kv_dir_refuses(err) ? kv_temp_refused : kv_temp_failed;
        }
    }
    name->reset(nullptr);
    return kv_temp_failed;
}

// Everything short of the rename: mode, owner, contents, durability, close.
int kv_fill_temp(kv_state *st, int fd, const struct stat *old,
                 const kv_entries_source *src) noexcept {
    if (kv_sys.fchmod(fd, kv_file_mode) != 0) {
        kv_sys.close(fd);
        return kv_fail(st, kv_msg_chmod);
    }
    // The new file keeps the old one's owner where the process may give it;
    // where it may not, the file simply stays the caller's.
    if (old && (old->st_uid != geteuid() || old->st_gid != getegid()))
        (void)kv_sys.fchown(fd, old->st_uid, old->st_gid);
    int written = kv_put_entries(st, src, fd);
    // A file system that cannot sync (EINVAL) still has the data written.
    if (written == 0 && kv_sys.fsync(fd) != 0 && errno != EINVAL) written = kv_rc_io_error;
    return kv_close_saved(st, fd, written);
}

// Writes the list into a new file and renames it over target; on failure
// the new file is removed and target is as it was.
int kv_save_replacing(kv_state *st, const char *target, const struct stat *old,
                      const kv_entries_source *src) noexcept {
    kv_owned temp;
    int fd = kv_create_temp(target, &temp);
    // The directory takes no new file (not writable): rewrite in place.
    if (fd == kv_temp_refused) return kv_save_in_place(st, target, src);
    if (fd < 0) return kv_fail(st, kv_msg_open_write);
    int rc = kv_fill_temp(st, fd, old, src);
    if (rc == 0 && kv_sys.rename(temp.p, target) != 0) rc = kv_fail(st, kv_msg_history_write);
    if (rc != 0) kv_sys.unlink(temp.p);
    return rc;
}

// ---- loading ------------------------------------------------------------------

// Byte-at-a-time reading over a block buffer, with one byte of push-back.
struct kv_in {
    int fd;
    size_t pos = 0;
    size_t len = 0;
    bool error = false;
    int pushed = -1;
    unsigned char block[kv_io_block];

    explicit kv_in(int f) : fd(f) {}
    static constexpr int end = -1;
    // The next byte, or `end` at the end of the file or after a read error.
    int get() noexcept {
        if (pushed >= 0) {
            int c = pushed;
            pushed = -1;
            return c;
        }
        if (pos == len && !refill()) return end;
        return block[pos++];
    }
    void unget(int c) noexcept { pushed = c; }
    bool refill() noexcept {
        if (error) return false;
        ssize_t n = kv_read_retrying(fd, block, kv_io_block);
        if (n < 0) error = true;
        if (n <= 0) return false;
        pos = 0;
        len = static_cast<size_t>(n);
        return true;
    }
};

// The entry being read: grows by doubling up to max_line_len + 1 bytes.
struct kv_entry_buf {
    char *bytes = nullptr;
    size_t len = 0;
    size_t cap = 0;
    size_t max;

    explicit kv_entry_buf(size_t max_len) : max(max_len) {}
    ~kv_entry_buf() { kv_free(bytes); }
    kv_entry_buf(const kv_entry_buf &) = delete;
    kv_entry_buf &operator=(const kv_entry_buf &) = delete;

    bool grow_to(size_t want) noexcept {
        if (cap >= want) return true;
        size_t c = cap ? cap : kv_first_entry_block;
        while (c < want)
            c = c > max / 2 ? max + 1 : c * 2;
        if (c > max + 1) c = max + 1;
        auto *b = static_cast<char *>(kv_realloc(bytes, c));
        if (!b) return false;
        bytes = b;
        cap = c;
        return true;
    }
    // Room for one more byte and the terminating zero.
    bool reserve_one() noexcept { return grow_to(len + 2); }
    bool full() const noexcept { return len >= max; }
    const char *terminated() noexcept {
        bytes[len] = '\0';
        return bytes;
    }
};

enum class kv_step { stored, skipped, entry_end, eof, oom };

// Discards bytes up to and including the next raw line feed.
void kv_skip_line(kv_in &in) noexcept {
    for (int c = in.get(); c >= 0 && c != '\n'; c = in.get()) {
    }
}

// Stores one data byte, or starts the skip of an entry that grows too long.
kv_step kv_store(kv_entry_buf &e, kv_in &in, char c) noexcept {
    if (e.full()) {
        kv_skip_line(in);
        return kv_step::skipped;
    }
    if (!e.reserve_one()) return kv_step::oom;
    e.bytes[e.len++] = c;
    return kv_step::stored;
}

// Reads one element of the format and stores what it stands for.
kv_step kv_read_element(kv_entry_buf &e, kv_in &in, bool *any) noexcept {
    int c = in.get();
    if (c < 0) return kv_step::eof;
    *any = true;
    if (c == '\n') return kv_step::entry_end;
    if (c == '\r') {
        int next = in.get();
        if (next == '\n') return kv_step::entry_end;
        if (next >= 0) in.unget(next);
        return kv_store(e, in, '\n');
    }
    if (c == '\\') {
        int next = in.get();
        if (next < 0) return kv_store(e, in, '\\');
        if (next == 'n') return kv_store(e, in, '\n');
        if (next == '\\') return kv_store(e, in, '\\');
        // Both bytes are kept.  When the backslash already overflows, the
        // skip starts at the byte after it, which may be the line feed.
        if (e.full()) in.unget(next);
        kv_step s = kv_store(e, in, '\\');
        return s == kv_step::stored ? kv_store(e, in, static_cast<char>(next)) : s;
    }
    return kv_store(e, in, static_cast<char>(c));
}

enum class kv_load_end { done, oom, add_failed };

// Reads every entry of the file and adds it.  *skipped tells whether an
// over-long entry was passed over.
kv_load_end kv_load_entries(kv_editor *ed, kv_state *st, kv_in &in, bool *skipped) noexcept {
    kv_entry_buf e(st->line.max_len);
    if (!e.grow_to(1)) return kv_load_end::oom;
    bool any = false;
    for (;;) {
        kv_step s = kv_read_element(e, in, &any);
        if (s == kv_step::oom) return kv_load_end::oom;
        if (s == kv_step::stored) continue;
        if (s == kv_step::skipped) {
            kv_set_error(st, kv_msg_too_long);
            *skipped = true;
        } else if (s == kv_step::entry_end || any) {
            if (kv_history_add_impl(ed, e.terminated()) != 0) return kv_load_end::add_failed;
        }
        if (s == kv_step::eof) return kv_load_end::done;
        e.len = 0;
        any = false;
    }
}

} // namespace

extern "C" int kv_history_save_impl(kv_editor *ed, const char *path) noexcept {
    return kv_history_save_from(kv_state_of(ed), path, nullptr);
}

int kv_history_save_from(kv_state *st, const char *path, const kv_entries_source *src) noexcept {
    if (!st || !path) return kv_rc_invalid;
    // An empty path names no file; without this check the new file would be
    // made in the working directory and only the rename would fail.
    if (!path[0]) return kv_fail(st, kv_msg_open_write);
    kv_owned target(kv_resolve_links(path));
    if (!target.p) return kv_fail(st, kv_msg_open_write);
    struct stat sb;
    if (kv_sys.stat(target.p, &sb) == 0) {
        if (!S_ISREG(sb.st_mode)) return kv_save_direct(st, target.p, src);
        return kv_save_replacing(st, target.p, &sb, src);
    }
    return kv_save_replacing(st, target.p, nullptr, src);
}

extern "C" int kv_history_load_impl(kv_editor *ed, const char *path) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || !path) return kv_rc_invalid;
    // Non-blocking so that a FIFO without a writer does not hang the open;
    // reading it then finds the end at once.
    int fd = kv_sys.open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
    if (fd < 0) return kv_fail_with(st, kv_result::io_error, kv_msg_open_read);
    kv_clear_nonblock(fd);
    kv_in in(fd);
    bool skipped = false;
    kv_load_end end = kv_load_entries(ed, st, in, &skipped);
    if (end != kv_load_end::done) {
        kv_sys.close(fd);
        if (end == kv_load_end::add_failed) return kv_rc_failed;
        kv_set_error(st, kv_msg_oom_load);
        return kv_rc_no_memory;
    }
    if (in.error) {
        kv_sys.close(fd);
        return kv_fail(st, kv_msg_read);
    }
    if (kv_sys.close(fd) != 0) return kv_fail(st, kv_msg_close);
    return skipped ? kv_rc_invalid : 0;
}
