#!/bin/sh
# Builds the SQLite shell (HAVE_LINENOISE) and redis-cli against the linenoise
# layer, from the Debian sources that fetch-shell-sources.sh caches.  redis-cli
# is built alone, with the hiredis copy in its tree; the copy of linenoise
# there is left out: its header is never seen and the layer is linked in its
# place.  The SQLite shell links the system libsqlite3 (libsqlite3-dev, the
# same 3.40.1 release as its shell source).
#
#   build-linenoise-clients.sh OUT_DIR LINENOISE_INCLUDE_DIR LINENOISE_LIB_DIR [CC [CFLAGS [LDFLAGS]]]
#
# Writes OUT_DIR/sqlite3 and OUT_DIR/redis-cli.  Objects that do not depend
# on the layer (hiredis, redis-cli's other files) are kept in OUT_DIR and
# reused by later runs.  When the sources cannot be had it writes the reason
# to OUT_DIR/unavailable.txt and exits 1 when the variable CI is set, 77
# (skipped) otherwise.  Any build failure exits 1.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
tool=build-linenoise-clients
. "$here/client-build.sh"
client_args "$@"
rm -f "$out/unavailable.txt" "$out/sqlite3" "$out/redis-cli"

fetch_sources "SQLite and Redis" "$out/fetch.log" sqlite redis
sqlite_shell_needs

# A call of a function no header declared is an error: it would show that a
# program needs a name the layer's header lacks.
strict="-Werror=implicit-function-declaration"
link="-L$libdir -Wl,-rpath,$libdir -lkavrik-linenoise"

# Compiles the listed sources of directory $1 into $2 (two at a time), each
# only when its object is missing or older than the source.
compile() {
    dir=$1 obj=$2 flags=$3
    shift 3
    mkdir -p "$obj"
    for f in "$@"; do echo "$f"; done | xargs -P 2 -I{} sh -c '
        o="$2/$(basename "$3" .c).o"
        [ -f "$o" ] && [ "$o" -nt "$1/$3" ] && exit 0
        '"$cc"' '"$flags"' -c "$1/$3" -o "$o.tmp" && mv "$o.tmp" "$o"' sh "$dir" "$obj" {}
}

sqlite_shell -DHAVE_LINENOISE=1 "$link"

# redis-cli: hiredis, then the client's files as its Makefile lists them.
redis=$src/redis
hiredis_obj="$out/redis-obj/hiredis"
compile "$redis/deps/hiredis" "$hiredis_obj" "-O1 -g $strict $cflags -std=c99 -D_GNU_SOURCE" \
    alloc.c net.c hiredis.c sds.c async.c read.c sockcompat.c
cli_obj="$out/redis-obj/cli"
mkdir -p "$cli_obj"
# The version header the Makefile generates; fixed, so the objects stay valid.
if [ ! -f "$cli_obj/release.h" ]; then
    printf '#define REDIS_GIT_SHA1 "00000000"\n#define REDIS_GIT_DIRTY "0"\n#define REDIS_BUILD_ID "kavrik"\n' \
        >"$cli_obj/release.h"
fi
# The layer's header directory comes first; the tree's copy of linenoise is
# not on the include path at all.
cli_flags="-O1 -g $strict $cflags -std=c99 -pedantic -DREDIS_STATIC= -I$inc -I$cli_obj -I$redis/deps/hiredis -I$redis/deps/hdr_histogram -I$redis/deps/lua/src"
compile "$redis/src" "$cli_obj" "$cli_flags" \
    anet.c adlist.c dict.c zmalloc.c release.c ae.c redisassert.c crcspeed.c crc64.c \
    siphash.c crc16.c monotonic.c cli_common.c mt19937-64.c
# redis-cli.c itself includes the layer's header: rebuilt every time, so a
# changed header is always seen.
# shellcheck disable=SC2086
$cc $cli_flags -c "$redis/src/redis-cli.c" -o "$cli_obj/redis-cli.o"
# shellcheck disable=SC2086
$cc $cflags "$cli_obj"/*.o "$hiredis_obj"/*.o -o "$out/redis-cli" $ldflags $link -lm -ldl -lpthread
echo "built $out/sqlite3 and $out/redis-cli"
