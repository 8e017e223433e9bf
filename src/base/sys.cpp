// The table of system calls used by the terminal and file code.
#include "base/sys.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int kv_real_winsize(int fd, struct winsize *ws) { return ioctl(fd, TIOCGWINSZ, ws); }
int kv_real_open(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }

constexpr kv_sys_table kv_real_sys = {
    ::write, ::read, ::poll, kv_real_winsize, ::isatty,
    ::tcgetattr, ::tcsetattr, ::fchmod, ::fsync, ::close,
    kv_real_open, ::rename, ::fchown, ::unlink,
};

} // namespace

kv_sys_table kv_sys = kv_real_sys;

void kv_sys_reset() noexcept { kv_sys = kv_real_sys; }
