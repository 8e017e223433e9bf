#!/bin/sh
# Fetches Debian source packages of the programs that the compatibility
# layers' end-to-end tests build and drive (Lua, the SQLite shell, psql, bc,
# Python's readline module, fdisk, redis-cli).
# Nothing of them enters the tree: each is unpacked into a cache directory
# (KAVRIK_SOURCES_DIR, default ${XDG_CACHE_HOME:-$HOME/.cache}/kavrik-sources)
# under a short name.
#
#   fetch-shell-sources.sh [NAME ...]     (default: lua sqlite)
#
# Each NAME is a row of the table below: the source package, the version its
# unpacked directory must carry (pinned: the build scripts are written for it),
# a file that shows the tree is whole and, where the newest upload of the
# package cannot be downloaded (a security update the archive no longer or not
# yet holds), the exact Debian version to ask for.
#
# The machine's apt configuration is left alone: a private one next to the
# cache repeats every enabled binary source of the machine as a deb-src entry
# and is used for the update and downloads only.
#
# Prints the cache directory on success.  Exits 1 with a reason on stderr when
# a source cannot be had.
set -eu

cache=${KAVRIK_SOURCES_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/kavrik-sources}

fail() { echo "fetch-shell-sources: $*" >&2; exit 1; }

# name  source-package  version  marker-file           [debian-version]
table='
lua     lua5.4         5.4.4   src/lua.c
sqlite  sqlite3        3.40.1  src/shell.c.in
psql    postgresql-15  15.18   src/bin/psql/input.c  15.18-0+deb12u1
bc      bc             1.07.1  bc/main.c
python  python3.11     3.11.2  Modules/readline.c
fdisk   util-linux     2.38.1  disk-utils/fdisk.c
redis   redis          7.0.15  src/redis-cli.c
'

row() { printf '%s\n' "$table" | awk -v n="$1" '$1 == n { print; found = 1 } END { exit !found }'; }

[ $# -gt 0 ] || set -- lua sqlite
for name in "$@"; do row "$name" >/dev/null || fail "no source named $name"; done

mkdir -p "$cache" || fail "cannot create $cache"
# Builds in other trees may fetch at the same time: one at a time.
exec 9>"$cache/.lock"
flock 9 2>/dev/null || true

have() { set -- $(row "$1"); [ -f "$cache/$1/$4" ]; }
missing=""
for name in "$@"; do have "$name" || missing="$missing $name"; done
if [ -z "$missing" ]; then
    echo "$cache"
    exit 0
fi

command -v apt-get >/dev/null 2>&1 || fail "apt-get is not available"
command -v dpkg-source >/dev/null 2>&1 || fail "dpkg-source is missing (install dpkg-dev)"

apt_dir="$cache/apt"
list="$apt_dir/sources.list"
parts="$apt_dir/sources.list.d"
apt_opts="-o Dir::Etc::SourceList=$list -o Dir::Etc::SourceParts=$parts
  -o Dir::State::Lists=$apt_dir/lists -o Dir::Cache=$apt_dir/cache
  -o Debug::NoLocking=1 -o APT::Sandbox::User=root -qq"

# The source lists are read once per cache; a failed update is tried again.
if [ ! -f "$apt_dir/updated" ]; then
    rm -rf "$apt_dir"
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$parts"
    : >"$list"
    # One-line entries: "deb [options] uri suite components" becomes deb-src.
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >>"$list"
    done
    # deb822 entries: every stanza whose types include deb is repeated as deb-src.
    n=0
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        n=$((n + 1))
        awk 'BEGIN { RS = ""; ORS = "\n\n" }
             /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ {
                 sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >"$parts/$n.sources"
    done
    [ -s "$list" ] || ls "$parts"/*.sources >/dev/null 2>&1 || fail "no apt sources configured on this machine"
    # shellcheck disable=SC2086
    apt-get $apt_opts update >"$apt_dir/update.log" 2>&1 ||
        fail "apt-get update for the source lists failed (see $apt_dir/update.log)"
    touch "$apt_dir/updated"
fi

for name in $missing; do
    set -- $(row "$name")
    pkg=$2 version=$3 request=$2
    [ $# -ge 5 ] && request="$2=$5"
    work="$cache/download-$name"
    rm -rf "$work" "$apt_dir/source-$name.log"
    mkdir -p "$work" "$apt_dir/cache/archives/partial"
    # The pinned revision (or the newest) first; when the archive does not
    # serve its files, the other revisions of the pinned version in turn.
    # shellcheck disable=SC2086
    revisions=$(apt-cache $apt_opts showsrc "$pkg" 2>/dev/null |
        awk -v v="$version" '$1 == "Version:" && index($2, v) == 1 { print "'"$pkg"'=" $2 }')
    got=""
    for want in "$request" $revisions; do
        # shellcheck disable=SC2086
        if (cd "$work" && apt-get $apt_opts source "$want") >>"$apt_dir/source-$name.log" 2>&1; then
            got=1
            break
        fi
    done
    [ -n "$got" ] || fail "apt-get source $pkg failed (see $apt_dir/source-$name.log)"
    dir=$(ls -d "$work/$pkg-$version"* 2>/dev/null | head -n 1)
    [ -n "$dir" ] || fail "the source package $pkg is not version $version"
    rm -rf "${cache:?}/$name"
    mv "$dir" "$cache/$name"
    rm -rf "$work" "$apt_dir/cache/archives"/*.deb
    have "$name" || fail "the unpacked $pkg lacks $4"
done
echo "$cache"
