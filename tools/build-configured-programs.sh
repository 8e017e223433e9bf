#!/bin/sh
# Builds a program that comes with its own configure script against the
# readline layer, from the Debian sources that fetch-shell-sources.sh caches:
#
#   psql  PostgreSQL 15's interactive terminal (configure --with-readline;
#         only libpq, the common code and psql itself are built)
#   bc    the calculator (configure --with-readline)
#
#   build-configured-programs.sh NAME OUT_DIR READLINE_INCLUDE_DIR READLINE_LIB_DIR [CC [CFLAGS [LDFLAGS]]]
#
# Writes OUT_DIR/NAME.  configure finds the layer as "-lreadline" through a
# directory holding only a libreadline.so link to it, and its headers first
# on the include path.  A build is kept: it is done again only when this
# script, the layer's headers or the arguments change (the program links
# the layer dynamically, so a changed library needs no new build).  When the
# sources cannot be had it writes the reason to OUT_DIR/NAME.unavailable and
# exits 1 when the variable CI is set, 77 (skipped) otherwise.  Any build
# failure exits 1; OUT_DIR/NAME.log holds the build's output.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
tool=build-configured-programs
. "$here/client-build.sh"
name=$1
shift
case $name in psql | bc) ;; *) echo "$tool: no program named $name" >&2; exit 1 ;; esac
client_args "$@"
out=$(cd "$out" && pwd)
unavailable_file="$out/$name.unavailable"
work="$out/$name-build"
log="$out/$name.log"
stamp="$out/$name.stamp"
rm -f "$unavailable_file"

# What the build depends on besides the sources (pinned by the fetch table).
key=$( { cat "$0" "$here/client-build.sh"; cat "$inc"/readline/*.h; echo "$cc|$cflags|$ldflags|$libdir"; } | cksum)
if [ -x "$out/$name" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ]; then
    echo "$out/$name is up to date"
    exit 0
fi
rm -f "$out/$name" "$stamp"

fetch_sources "$name" "$out/$name.fetch.log" "$name"

rm -rf "$work"
mkdir -p "$work/rl-lib"
ln -s "$libdir/libkavrik-readline.so" "$work/rl-lib/libreadline.so"
# The layer finds the core and the companion beside it or through its own
# run path; the link editor is told where they are too.
rl_ldflags="-L$work/rl-lib -Wl,-rpath,$libdir -Wl,-rpath-link,$libdir"
strict="-Werror=implicit-function-declaration"

fail() {
    echo "build-configured-programs: building $name failed; the end of $log:" >&2
    tail -n 30 "$log" >&2
    exit 1
}

build_bc() {
    cp -R "$src/bc" "$work/src"
    cd "$work/src"
    # The scanner is generated already (scan.c); configure only insists on
    # flex by name, so its flex checks are answered ahead.  Debian's bc says
    # "use quit to exit" on Ctrl-C (DONTEXIT) instead of exiting.
    LEX=flex ac_cv_prog_LEX=flex ac_cv_prog_lex_root=lex.yy ac_cv_lib_lex='none needed' \
        ac_cv_prog_lex_yytext_pointer=yes \
        CC="$cc" CFLAGS="-O1 -g $cflags" CPPFLAGS="-I$inc" LDFLAGS="$rl_ldflags $ldflags" \
        ./configure --with-readline >>"$log" 2>&1 || return 1
    grep -q '^#define READLINE 1' config.h || { echo "configure did not take readline" >>"$log"; return 1; }
    flags="-O1 -g $cflags $strict -DHAVE_CONFIG_H -DDONTEXIT -I. -Ih -Ibc -I$inc"
    for f in lib/number.c lib/getopt.c lib/getopt1.c bc/main.c bc/bc.c bc/scan.c bc/execute.c \
             bc/load.c bc/storage.c bc/util.c bc/warranty.c; do
        echo "$f"
    done | xargs -P 2 -I{} sh -c "$cc $flags -c {} -o {}.o" >>"$log" 2>&1 || return 1
    objs="lib/number.c.o lib/getopt.c.o lib/getopt1.c.o bc/main.c.o bc/bc.c.o bc/scan.c.o
          bc/execute.c.o bc/load.c.o bc/storage.c.o bc/util.c.o bc/warranty.c.o"
    # The math library (-l) is compiled by a first bc built without it, and
    # kept in the second as C strings, one per line of byte code.
    echo '{0}' >bc/libmath.h
    # shellcheck disable=SC2086
    $cc $flags -c bc/global.c -o bc/global-bootstrap.o >>"$log" 2>&1 &&
        $cc $cflags $objs bc/global-bootstrap.o -o bc/fbc $rl_ldflags $ldflags -lreadline >>"$log" 2>&1 &&
        ASAN_OPTIONS=detect_leaks=0 bc/fbc -c bc/libmath.b </dev/null >bc/libmath.code 2>>"$log" || return 1
    awk '{ line[NR] = $0 }
         END { for (i = 1; i < NR; i++)
                   printf "%s\"%s\",%s\n", (i == 1 ? "{" : ""), line[i], (i == NR - 1 ? "0}" : "") }' \
        bc/libmath.code >bc/libmath.h
    # shellcheck disable=SC2086
    $cc $flags -c bc/global.c -o bc/global.c.o >>"$log" 2>&1 &&
        $cc $cflags $objs bc/global.c.o -o "$out/bc" $rl_ldflags $ldflags -lreadline >>"$log" 2>&1
}

build_psql() {
    mkdir -p "$work/obj"
    cd "$work/obj"
    # A build beside the sources, which stay as fetched, installed under
    # OUT_DIR/psql-root (psql finds its libpq there by its run path).  Only
    # what psql needs: no compression, ICU, TLS or translations.
    rm -rf "$out/psql-root"
    CC="$cc" CFLAGS="-O1 -g $cflags" CPPFLAGS="-I$inc" LDFLAGS="$rl_ldflags $ldflags" \
        "$src/psql/configure" --prefix="$out/psql-root" --with-readline --without-zlib --without-icu --without-lz4 \
        --without-zstd --disable-nls --without-perl --without-python --without-tcl \
        >>"$log" 2>&1 || return 1
    grep -q '^#define HAVE_LIBREADLINE 1' src/include/pg_config.h ||
        { echo "configure did not take readline" >>"$log"; return 1; }
    # The headers generated in the source package already, linked into place.
    make -C src/backend generated-headers >>"$log" 2>&1 || return 1
    make -j2 -C src/bin/psql COPT="$strict" >>"$log" 2>&1 || return 1
    make -C src/interfaces/libpq install >>"$log" 2>&1 &&
        make -C src/bin/psql install >>"$log" 2>&1 || return 1
    ln -sf "$out/psql-root/bin/psql" "$out/psql"
}

: >"$log"
start=$(date +%s)
( "build_$name" ) || fail
echo "$key" >"$stamp"
rm -rf "$work"
echo "built $out/$name in $(( $(date +%s) - start )) s"
