// The readline layer's system calls on history files, behind the table of
// rl.h; kvr_sys_reset points every entry at the real call.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rl.h"

namespace {

// open is variadic; the table takes the mode always.
int kvr_open(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }

constexpr kvr_sys_table kvr_real_sys = {
    ::write,  ::read,   kvr_open, ::close,     ::rename,  ::fsync,
    ::fchmod, ::fchown, ::fstat,  ::ftruncate, ::mkstemp, ::unlink,
};

} // namespace

kvr_sys_table kvr_sys = kvr_real_sys;

void kvr_sys_reset() noexcept { kvr_sys = kvr_real_sys; }
