#!/bin/sh
# Fetches the Debian source packages of the Lua 5.4 interpreter and the SQLite
# shell, which the readline layer's end-to-end tests build and drive.  Nothing
# of them enters the tree: they are unpacked into a cache directory
# (KAVRIK_SOURCES_DIR, default ${XDG_CACHE_HOME:-$HOME/.cache}/kavrik-sources).
#
# The machine's apt configuration is left alone: a private one next to the
# cache repeats every enabled binary source of the machine as a deb-src entry
# and is used for this one update and download only.
#
# Prints the cache directory on success.  Exits 1 with a reason on stderr when
# the sources cannot be had.
set -eu

cache=${KAVRIK_SOURCES_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/kavrik-sources}
lua_version=5.4.4
sqlite_version=3.40.1

fail() { echo "fetch-shell-sources: $*" >&2; exit 1; }

mkdir -p "$cache" || fail "cannot create $cache"
# Builds in other trees may fetch at the same time: one at a time.
exec 9>"$cache/.lock"
flock 9 2>/dev/null || true

have_tree() { [ -f "$cache/lua/src/lua.c" ] && [ -f "$cache/sqlite/src/shell.c.in" ]; }
if have_tree; then
    echo "$cache"
    exit 0
fi

command -v apt-get >/dev/null 2>&1 || fail "apt-get is not available"
command -v dpkg-source >/dev/null 2>&1 || fail "dpkg-source is missing (install dpkg-dev)"

apt_dir="$cache/apt"
rm -rf "$apt_dir"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
list="$apt_dir/sources.list"
parts="$apt_dir/sources.list.d"
mkdir -p "$parts"
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

apt_opts="-o Dir::Etc::SourceList=$list -o Dir::Etc::SourceParts=$parts
  -o Dir::State::Lists=$apt_dir/lists -o Dir::Cache=$apt_dir/cache
  -o Debug::NoLocking=1 -o APT::Sandbox::User=root -qq"

# shellcheck disable=SC2086
apt-get $apt_opts update >"$apt_dir/update.log" 2>&1 ||
    fail "apt-get update for the source lists failed (see $apt_dir/update.log)"

work="$cache/download"
rm -rf "$work"
mkdir -p "$work"
# shellcheck disable=SC2086
(cd "$work" && apt-get $apt_opts source lua5.4 sqlite3) >"$apt_dir/source.log" 2>&1 ||
    fail "apt-get source lua5.4 sqlite3 failed (see $apt_dir/source.log)"

lua_dir=$(ls -d "$work"/lua5.4-"$lua_version"* 2>/dev/null | head -n 1)
sqlite_dir=$(ls -d "$work"/sqlite3-"$sqlite_version"* 2>/dev/null | head -n 1)
[ -n "$lua_dir" ] || fail "the source package of lua5.4 is not version $lua_version"
[ -n "$sqlite_dir" ] || fail "the source package of sqlite3 is not version $sqlite_version"

rm -rf "$cache/lua" "$cache/sqlite"
mv "$lua_dir" "$cache/lua"
mv "$sqlite_dir" "$cache/sqlite"
rm -rf "$work" "$apt_dir/cache"
have_tree || fail "the unpacked sources lack lua.c or shell.c.in"
echo "$cache"
