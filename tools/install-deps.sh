#!/bin/sh
# Installs what the build and the tests need and a fresh machine may lack
# (Debian packages only).  Does nothing when everything is present.
set -eu
need=""
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for pkg in cmake g++ clang pkg-config libgtest-dev libbenchmark-dev libvterm-dev valgrind; do
    have_pkg "$pkg" || need="$need $pkg"
done
# The sanitizer build and the fuzz targets use clang's runtime (libFuzzer too).
have_pkg libclang-rt-14-dev || have_pkg libclang-rt-dev || need="$need libclang-rt-dev"
[ -z "$need" ] && exit 0
echo "installing:$need"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $need
