#!/bin/sh
# The built library exports exactly the listed functions and has the given
# SONAME (libkavrik.so.0 unless a third argument names another).
set -eu
lib=$1 expected=$2 want_soname=${3:-libkavrik.so.0}
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWiDdBbRrVv]$/ {print $3}' | sed 's/@.*//' | grep -v '^KAVRIK_' | sort)
want=$(sort "$expected")
if [ "$actual" != "$want" ]; then
    echo "exported symbols differ from $expected:"
    printf '%s\n' "$actual" > /tmp/kv_actual.$$
    printf '%s\n' "$want" | diff - /tmp/kv_actual.$$ || true
    rm -f /tmp/kv_actual.$$
    exit 1
fi
soname=$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\].*/\1/p')
if [ "$soname" != "$want_soname" ]; then
    echo "SONAME is '$soname', expected $want_soname"
    exit 1
fi
echo "exports: $(printf '%s\n' "$actual" | wc -l) functions, soname $soname"
