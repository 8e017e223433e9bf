#!/bin/sh
# Installs what the build and the tests need and a fresh machine may lack:
# Debian packages, and the xterm.js packages the screen tests run under node
# (into a cache directory outside the tree: KAVRIK_NODE_DIR, default
# ${XDG_CACHE_HOME:-$HOME/.cache}/kavrik-node).  Does nothing when everything
# is present.
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
# Python's readline module is built from its source against Debian's
# headers and run by Debian's interpreter with Debian's test support; fdisk
# is built from its source against the system's libfdisk and libsmartcols.
for pkg in python3.11 python3.11-dev libpython3.11-testsuite libfdisk-dev libsmartcols-dev; do
    have_pkg "$pkg" || need="$need $pkg"
done
# psql's tests talk to a throw-away PostgreSQL 15 server (initdb, pg_ctl).
have_pkg postgresql-15 || need="$need postgresql-15"
# psql is built with its own makefiles, which generate headers with perl.
for pkg in make perl; do
    have_pkg "$pkg" || need="$need $pkg"
done

# The sanitizer build and the fuzz targets use clang's runtime (libFuzzer too).
have_pkg libclang-rt-14-dev || have_pkg libclang-rt-dev || need="$need libclang-rt-dev"
# The screen tests read the screen through xterm.js too, under node.  A node
# from elsewhere (with its own npm) is used as it is.
command -v node >/dev/null 2>&1 || need="$need nodejs"
command -v npm >/dev/null 2>&1 || need="$need npm"
if [ -n "$need" ]; then
    echo "installing:$need"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq $need
fi

# The xterm.js packages, pinned: the tests' list of where its widths differ
# from the library's is measured on these versions.
node_dir=${KAVRIK_NODE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/kavrik-node}
node_pkgs="@xterm/headless@6.0.0 @xterm/addon-unicode-graphemes@0.4.0"
have_node_pkg() {
    grep -q "\"version\": *\"${1##*@}\"" "$node_dir/node_modules/${1%@*}/package.json" 2>/dev/null
}
missing=""
for pkg in $node_pkgs; do have_node_pkg "$pkg" || missing="$missing $pkg"; done
[ -z "$missing" ] && exit 0
echo "installing into $node_dir:$missing"
mkdir -p "$node_dir"
# Builds in other trees may install at the same time: one at a time.  Without
# the packages the xterm.js tests are skipped, or fail when CI is set.
if ! (
    flock 9 2>/dev/null || true
    npm install --prefix "$node_dir" --no-audit --no-fund --no-package-lock --no-save \
        --loglevel=error $node_pkgs
) 9>"$node_dir/.lock"; then
    echo "install-deps: the xterm.js packages could not be installed" >&2
    [ -z "${CI:-}" ] || exit 1
fi
