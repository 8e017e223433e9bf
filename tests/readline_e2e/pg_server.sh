#!/bin/sh
# A throw-away PostgreSQL 15 server for psql's terminal tests: its data and
# its socket in a new temporary directory, no TCP port, trust authentication
# for the role "tester".  Run as an unprivileged user: initdb and the server
# refuse root, so under root (as in CI) they run as "nobody" through runuser.
#
#   pg_server.sh start STATE_FILE   writes the temporary directory to STATE_FILE
#   pg_server.sh stop STATE_FILE    stops the server (if any) and removes it all
#
# start exits 77 (skipped) when the server programs are missing, 1 under CI.
set -eu
cmd=$1 state=$2
bin=/usr/lib/postgresql/15/bin

as_owner() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi
}

case $cmd in
start)
    if [ ! -x "$bin/initdb" ] || [ ! -x "$bin/pg_ctl" ]; then
        mkdir -p "$(dirname "$state")"
        echo "the PostgreSQL 15 server is not installed (package postgresql-15)" | tee "$state.unavailable" >&2
        [ -n "${CI:-}" ] && exit 1
        exit 77
    fi
    mkdir -p "$(dirname "$state")"
    rm -f "$state.unavailable"
    # A server left by an earlier run that ended abruptly is stopped first.
    [ -f "$state" ] && "$0" stop "$state"
    dir=$(mktemp -d /tmp/kavrik-pg-XXXXXX)
    echo "$dir" >"$state"
    mkdir "$dir/data" "$dir/socket"
    chmod 755 "$dir"
    [ "$(id -u)" -eq 0 ] && chown -R nobody "$dir"
    if ! as_owner "$bin/initdb" -D "$dir/data" -U tester -A trust --no-sync >"$dir/initdb.log" 2>&1; then
        cat "$dir/initdb.log" >&2
        exit 1
    fi
    if ! as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-k $dir/socket -c listen_addresses= -p 5432 -c fsync=off" start >/dev/null; then
        cat "$dir/server.log" >&2
        exit 1
    fi
    echo "server running, socket in $dir/socket"
    ;;
stop)
    [ -f "$state" ] || exit 0
    dir=$(cat "$state")
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 60 stop >/dev/null 2>&1 || true
    fi
    case $dir in /tmp/kavrik-pg-*) rm -rf "$dir" ;; esac
    rm -f "$state"
    ;;
*)
    echo "usage: pg_server.sh start|stop STATE_FILE" >&2
    exit 2
    ;;
esac
