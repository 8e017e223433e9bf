// The table of system calls used by the terminal and file code.
#include "base/sys.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int kv_real_winsize(int fd, struct winsize *ws) { return ioctl(fd, TIOCGWINSZ, ws); }
int kv_real_open(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int kv_real_fcntl(int fd, int cmd, int arg) { return ::fcntl(fd, cmd, arg); }
int kv_real_pending(int fd, int *count) { return ioctl(fd, FIONREAD, count); }

constexpr kv_sys_table kv_real_sys = {
    .write = ::write,
    .read = ::read,
    .poll = ::poll,
    .winsize = kv_real_winsize,
    .isatty = ::isatty,
    .tcgetattr = ::tcgetattr,
    .tcsetattr = ::tcsetattr,
    .fchmod = ::fchmod,
    .fsync = ::fsync,
    .close = ::close,
    .open = kv_real_open,
    .rename = ::rename,
    .fchown = ::fchown,
    .unlink = ::unlink,
    .ftruncate = ::ftruncate,
    .stat = ::stat,
    .lstat = ::lstat,
    .readlink = ::readlink,
    .fcntl = kv_real_fcntl,
    .pending = kv_real_pending,
};

} // namespace

kv_sys_table kv_sys = kv_real_sys;

void kv_sys_reset() noexcept { kv_sys = kv_real_sys; }
