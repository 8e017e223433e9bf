#!/bin/sh
# Installs what the build and the tests need and a fresh machine may lack
# (Debian packages only).  Does nothing when everything is present.
set -eu
need=""
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
# tmux: the resize test checks a terminal that rewraps its rows.  groff and
# man-db: the manual check renders every page and shows one with man -l.
# clang-format: the format check (make check-format).
for pkg in cmake g++ clang pkg-config libgtest-dev libbenchmark-dev libvterm-dev valgrind tmux \
           groff-base man-db clang-format; do
    have_pkg "$pkg" || need="$need $pkg"
done
# The readline layer's tests build Lua and the SQLite shell from their Debian
# source packages: dpkg-dev unpacks them, tclsh generates the shell's source,
# and the shell links the system's SQLite library.
for pkg in dpkg-dev tcl libsqlite3-dev; do
    have_pkg "$pkg" || need="$need $pkg"
done
# The sanitizer build and the fuzz targets use clang's runtime (libFuzzer too).
have_pkg libclang-rt-14-dev || have_pkg libclang-rt-dev || need="$need libclang-rt-dev"
[ -z "$need" ] && exit 0
echo "installing:$need"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq $need
