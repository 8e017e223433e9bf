#!/bin/sh
# Builds the programs that use the readline layer's event-loop interface,
# from the Debian sources that fetch-shell-sources.sh caches:
#   - Python's readline module (Modules/readline.c of CPython 3.11 alone),
#     compiled against Debian's python3.11-dev headers and pyconfig.h, so
#     every readline feature Debian's build uses is required; Debian's
#     python3 loads it in place of its own through PYTHONPATH=OUT_DIR/python;
#   - CPython's Lib/test/test_readline.py, copied beside it;
#   - fdisk (util-linux), its three sources and the few helpers of its
#     common library they call, against the system's libfdisk and
#     libsmartcols.
#
#   build-loop-clients.sh OUT_DIR READLINE_INCLUDE_DIR READLINE_LIB_DIR [CC [CFLAGS [LDFLAGS]]]
#
# A client is rebuilt only when the layer's headers or this script are newer
# than it.  When the sources or packages cannot be had it writes the reason to
# OUT_DIR/unavailable.txt and exits 1 when the variable CI is set, 77
# (skipped) otherwise.  Any build failure exits 1.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
tool=build-loop-clients
. "$here/client-build.sh"
client_args "$@"
mkdir -p "$out/python" "$out/fdisk-obj"
rm -f "$out/unavailable.txt"

fetch_sources "Python and util-linux" "$out/fetch.log" python fdisk
py_inc=$(/usr/bin/python3.11-config --includes 2>/dev/null) ||
    unavailable "python3.11-config is missing (install python3.11-dev)"
[ -f /usr/include/libfdisk/libfdisk.h ] || unavailable "libfdisk.h is missing (install libfdisk-dev)"
[ -f /usr/include/libsmartcols/libsmartcols.h ] ||
    unavailable "libsmartcols.h is missing (install libsmartcols-dev)"
[ -d /usr/lib/python3.11/test/support ] ||
    unavailable "Python's test support is missing (install libpython3.11-testsuite)"

# The headers of this layer come first, so no other readline headers are seen.
# An undeclared function is an error: one returning a pointer would otherwise
# be truncated to an int and crash later.
common="-O1 -g -Werror=implicit-function-declaration -I$inc"
link="-L$libdir -Wl,-rpath,$libdir -lkavrik-readline"

# True when $1 is missing or older than the layer's headers or this script.
stale() {
    [ -f "$1" ] || return 0
    [ -n "$(find "$inc" "$0" -newer "$1" -print 2>/dev/null | head -n 1)" ]
}

# Python: the extension module, named as the interpreter looks for it.
suffix=$(/usr/bin/python3.11 -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')
module="$out/python/readline$suffix"
if stale "$module"; then
    # shellcheck disable=SC2086
    $cc $common $cflags $py_inc -fPIC -shared -I"$src/python/Modules" \
        "$src/python/Modules/readline.c" -o "$module" $ldflags $link
fi

# fdisk: the settings its sources test, for this system, in place of what
# util-linux's configure would find.
fdisk_obj="$out/fdisk-obj"
if stale "$out/fdisk"; then
    cat >"$fdisk_obj/config.h" <<'EOF'
#define PACKAGE "util-linux"
#define PACKAGE_STRING "util-linux 2.38.1"
#define PACKAGE_VERSION "2.38.1"
#define _GNU_SOURCE 1
#define HAVE_LIBREADLINE 1
#define HAVE_LINUX_BLKPG_H 1
#define HAVE_LINUX_CDROM_H 1
#define HAVE_LINUX_FS_H 1
#define HAVE_LINUX_MAJOR_H 1
#define HAVE_ERR_H 1
#define HAVE_ERR 1
#define HAVE_ERRX 1
#define HAVE_WARN 1
#define HAVE_WARNX 1
#define HAVE_SYS_SYSMACROS_H 1
#define HAVE_SYS_IOCTL_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_SYS_FILE_H 1
#define HAVE_SYS_TIME_H 1
#define HAVE_SYS_RESOURCE_H 1
#define HAVE_SYS_PRCTL_H 1
#define HAVE_SYS_SYSCALL_H 1
#define HAVE_SYS_MOUNT_H 1
#define HAVE_SYS_TTYDEFAULTS_H 1
#define HAVE___PROGNAME 1
#define HAVE_PROGRAM_INVOCATION_SHORT_NAME 1
#define HAVE_ENVIRON_DECL 1
#define HAVE_NANOSLEEP 1
#define HAVE_USLEEP 1
#define HAVE_FSYNC 1
#define HAVE_WIDECHAR 1
#define HAVE_UNISTD_H 1
#define HAVE_STDLIB_H 1
#define HAVE_STRING_H 1
#define HAVE_INTTYPES_H 1
#define HAVE_FCNTL_H 1
#define HAVE_GETOPT_H 1
#define HAVE_LOCALE_H 1
#define HAVE_LANGINFO_H 1
#define HAVE_WCHAR_H 1
#define HAVE_PATHS_H 1
#define HAVE_TERMIOS_H 1
#define HAVE_STRUCT_TERMIOS_C_LINE 1
#define HAVE_STRNLEN 1
#define HAVE_STRNDUP 1
#define HAVE_MEMPCPY 1
#define HAVE_SECURE_GETENV 1
#define HAVE_DIRFD 1
#define HAVE_DECL_DIRFD 1
#define HAVE_OPENAT 1
#define HAVE_FSTATAT 1
#define HAVE_UNLINKAT 1
#define HAVE_STRUCT_STAT_ST_MTIM_TV_NSEC 1
#define HAVE_CLOCK_GETTIME 1
#define HAVE_MKOSTEMP 1
#define HAVE_QSORT_R 1
#define HAVE_STRSIGNAL 1
#define HAVE_FSEEKO 1
#define HAVE_OPEN_MEMSTREAM 1
#define HAVE_VASPRINTF 1
#define HAVE_GETDTABLESIZE 1
#define HAVE_CLOSE_RANGE 1
#define HAVE_LANGINFO_ALTMON 1
#define HAVE_LANGINFO_NL_ABALTMON 1
EOF
    ul="$src/fdisk"
    fdisk_cflags="-include $fdisk_obj/config.h -I$ul/include -I/usr/include/libfdisk -I/usr/include/libsmartcols"
    for f in disk-utils/fdisk disk-utils/fdisk-menu disk-utils/fdisk-list lib/blkdev lib/buffer \
             lib/canonicalize lib/color-names lib/colors lib/fileutils lib/mbsalign lib/pager \
             lib/path lib/strutils lib/strv lib/sysfs lib/ttyutils; do
        echo "$f"
    done | xargs -P 2 -I{} sh -c 'o="$1/$(echo "$2" | tr / -).o"; '"$cc $common $cflags $fdisk_cflags"' -c "$3/$2.c" -o "$o"' sh "$fdisk_obj" {} "$ul"
    # shellcheck disable=SC2086
    $cc $cflags "$fdisk_obj"/*.o -o "$out/fdisk" $ldflags $link -lfdisk -lsmartcols
fi
# CPython's own tests of the module, run by Debian's python3 with the test
# support of libpython3.11-testsuite, in a home of their own.
cp "$src/python/Lib/test/test_readline.py" "$out/test_readline.py"
mkdir -p "$out/home"
echo "built $module and $out/fdisk"
