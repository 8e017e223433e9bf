# shellcheck shell=sh
# shellcheck disable=SC2034,SC2154  # sets variables for its caller, reads here and tool from it
# Sourced by the scripts that build client programs against one of the
# family's layers, from the Debian sources that fetch-shell-sources.sh
# caches.  Their arguments end in OUT_DIR INCLUDE_DIR LIB_DIR [CC [CFLAGS
# [LDFLAGS]]]; client_args reads them.  Needs here (the tools directory) and
# tool (the script's name, for messages).

# client_args OUT_DIR INCLUDE_DIR LIB_DIR [CC [CFLAGS [LDFLAGS]]]: sets out,
# inc, libdir (absolute), cc, cflags, ldflags, and creates OUT_DIR.
client_args() {
    out=$1
    inc=$2
    libdir=$(cd "$3" && pwd)
    cc=${4:-cc}
    cflags=${5:-}
    ldflags=${6:-}
    mkdir -p "$out"
    unavailable_file="$out/unavailable.txt"
}

# unavailable REASON: writes REASON to $unavailable_file, then exits 1 when
# the variable CI is set (a CI run must not pass without the programs), 77
# (skipped) otherwise.
unavailable() {
    echo "$1" >"$unavailable_file"
    echo "$tool: $1" >&2
    if [ -n "${CI:-}" ]; then exit 1; fi
    exit 77
}

# fetch_sources WHAT LOG [NAME...]: puts the directory of the cached sources
# of NAME... in src, or gives up with "the WHAT sources could not be fetched".
fetch_sources() {
    what=$1 log=$2
    shift 2
    if ! src=$("$here/fetch-shell-sources.sh" "$@" 2>"$log"); then
        unavailable "the $what sources could not be fetched: $(tail -n 1 "$log")"
    fi
}

# sqlite_shell_needs: what generating and linking the SQLite shell needs.
sqlite_shell_needs() {
    command -v tclsh >/dev/null 2>&1 ||
        unavailable "tclsh is missing (install tcl): the SQLite shell source is generated with it"
    [ -f /usr/include/sqlite3.h ] || unavailable "sqlite3.h is missing (install libsqlite3-dev)"
}

# sqlite_shell DEFINE LINK: generates shell.c from its parts and compiles it
# alone into $out/sqlite3 with DEFINE (which editor it uses), linked with
# LINK and the system libsqlite3.  An undeclared function is an error: one
# returning a pointer would otherwise be truncated to an int and crash later,
# and it would show a name the layer's header lacks.
sqlite_shell() {
    tclsh "$src/sqlite/tool/mkshellc.tcl" >"$out/shell.c"
    # shellcheck disable=SC2086
    $cc -O1 -g -Werror=implicit-function-declaration -I"$inc" $cflags "$1" \
        -DSQLITE_OMIT_LOAD_EXTENSION=0 "$out/shell.c" -o "$out/sqlite3" \
        $ldflags $2 -lsqlite3 -lm -ldl -lpthread
}
