#!/bin/sh
# Builds the Lua 5.4 interpreter (LUA_USE_READLINE) and the SQLite shell
# (HAVE_READLINE) against the readline layer, from the Debian sources that
# fetch-shell-sources.sh caches.  The SQLite shell links the system
# libsqlite3 (libsqlite3-dev, the same 3.40.1 release as its shell source).
#
#   build-shells.sh OUT_DIR READLINE_INCLUDE_DIR READLINE_LIB_DIR [CC [CFLAGS [LDFLAGS]]]
#
# Writes OUT_DIR/lua and OUT_DIR/sqlite3.  When the sources cannot be had it
# writes the reason to OUT_DIR/unavailable.txt and exits 1 when the variable
# CI is set (a CI run must not pass without these programs), 77 (skipped)
# otherwise.  Any build failure exits 1.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
tool=build-shells
. "$here/client-build.sh"
client_args "$@"
rm -f "$out/unavailable.txt" "$out/lua" "$out/sqlite3"

fetch_sources "Lua and SQLite" "$out/fetch.log"
sqlite_shell_needs

# The headers of this layer come first, so no other readline headers are seen.
# An undeclared function is an error: one returning a pointer would otherwise
# be truncated to an int and crash later.
common="-O1 -g -Werror=implicit-function-declaration -I$inc"
link="-L$libdir -Wl,-rpath,$libdir -lkavrik-readline"

# Lua: every source file except the compiler's main, two at a time.
lua_obj="$out/lua-obj"
mkdir -p "$lua_obj"
# Debian's luaconf.h takes the multiarch triplet from a generated header.
printf '#define DEB_HOST_MULTIARCH "%s"\n' "$($cc -dumpmachine)" >"$lua_obj/lua5.4-deb-multiarch.h"
for f in "$src"/lua/src/*.c; do
    case $(basename "$f") in luac.c) continue ;; esac
    echo "$f"
done | xargs -P 2 -I{} sh -c 'o="$1/$(basename "$2" .c).o"; '"$cc"' '"$common $cflags"' -std=gnu99 -DLUA_COMPAT_5_3 -DLUA_USE_LINUX -DLUA_USE_READLINE -I"$1" -c "$2" -o "$o"' sh "$lua_obj" {}
# shellcheck disable=SC2086
$cc $cflags "$lua_obj"/*.o -o "$out/lua" $ldflags $link -lm -ldl

sqlite_shell -DHAVE_READLINE=1 "$link"
echo "built $out/lua and $out/sqlite3"
