// The system calls that the terminal and file code makes, behind a table of
// function pointers.  The library never changes it; tests repoint entries to
// inject EINTR, short writes and failures that a real system will not produce
// on demand.
#pragma once

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <termios.h>

struct kv_sys_table {
    ssize_t (*write)(int fd, const void *buf, size_t n);
    ssize_t (*read)(int fd, void *buf, size_t n);
    int (*poll)(struct pollfd *fds, nfds_t n, int timeout_ms);
    int (*winsize)(int fd, struct winsize *ws); // ioctl(fd, TIOCGWINSZ, ws)
    int (*isatty)(int fd);
    int (*tcgetattr)(int fd, struct termios *t);
    int (*tcsetattr)(int fd, int action, const struct termios *t);
    int (*fchmod)(int fd, mode_t mode);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*open)(const char *path, int flags, mode_t mode);
    int (*rename)(const char *from, const char *to);
    int (*fchown)(int fd, uid_t uid, gid_t gid);
    int (*unlink)(const char *path);
    int (*ftruncate)(int fd, off_t length);
    int (*stat)(const char *path, struct stat *sb);
    int (*lstat)(const char *path, struct stat *sb);
    ssize_t (*readlink)(const char *path, char *buf, size_t n);
    int (*fcntl)(int fd, int cmd, int arg); // fcntl(fd, cmd, arg)
    int (*pending)(int fd, int *count);     // ioctl(fd, FIONREAD, count)
};

extern kv_sys_table kv_sys;

// Puts every entry back to the real system call.
void kv_sys_reset() noexcept;
