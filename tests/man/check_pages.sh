#!/bin/sh
# The manual as it is installed: every page under share/man/man3 renders with
# every groff warning on and none given, every exported function of the core
# (tests/abi/exports.txt) and of the companion (tests/abi/ext_exports.txt)
# has a page or a link whose synopsis declares it, man -l shows a linked page,
# and an example that is a whole program compiles.
set -eu
root=$(cd "$1" && pwd) build=$2
command -v groff >/dev/null || { echo "groff is missing: run tools/install-deps.sh"; exit 1; }
command -v man >/dev/null || { echo "man is missing: run tools/install-deps.sh"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
man3=$tmp/prefix/share/man/man3
[ -d "$man3" ] || { echo "no pages installed under share/man/man3"; exit 1; }
fail=0
complain() { echo "$*"; fail=1; }

for page in "$root"/man/*.3; do
    name=$(basename "$page")
    [ -f "$man3/$name" ] && [ ! -L "$man3/$name" ] || complain "$name is not installed"
    title=$(sed -n 's/^\.TH \([^ ]*\) 3 .*/\1/p' "$page")
    [ "$title" = "$(basename "$name" .3 | tr '[:lower:]' '[:upper:]')" ] ||
        complain "$name: .TH names '$title'"
done

grep -l '@[A-Z_]*@' "$man3"/*.3 && complain "pages above carry an unreplaced build variable"

pages=0
for page in "$man3"/*.3; do
    warnings=$(groff -man -ww -z "$page" 2>&1 >/dev/null) || complain "$page: groff failed"
    [ -z "$warnings" ] || complain "$(basename "$page"): $warnings"
    pages=$((pages + 1))
done

names=$(cat "$root/tests/abi/exports.txt" "$root/tests/abi/ext_exports.txt")
functions=0
for fn in $names; do
    functions=$((functions + 1))
    if [ ! -e "$man3/$fn.3" ]; then
        complain "no page for $fn"
    elif ! grep -q "[ *]$fn(" "$man3/$fn.3"; then
        complain "$fn.3 does not declare $fn in its synopsis"
    fi
done
[ "$functions" -ge 25 ] || complain "only $functions function names found"

shown=$(cd / && MANPAGER=cat MANWIDTH=80 man -l "$man3/kv_insert.3" 2>&1) || complain "man -l failed: $shown"
echo "$shown" | grep -q '^NAME' && echo "$shown" | grep -q 'kv_insert' ||
    complain "man -l kv_insert.3 does not show its page"

# The whole programs among the examples compile against the headers: the
# .EX blocks of each EXAMPLE section, with the page's escapes turned back
# into the characters they print.
programs=0
for page in "$root"/man/*.3; do
    example=$(sed -n '/^\.SH EXAMPLE/,/^\.SH /p' "$page" | sed -n '/^\.EX/,/^\.EE/p' |
              sed -e '/^\.E[XE]/d' -e 's/\\e/\\/g' -e 's/\\-/-/g' -e 's/\\(aq/'"'"'/g' \
                  -e 's/\\(dq/"/g')
    printf '%s\n' "$example" | grep -q 'int main' || continue
    case $page in
    *++.3) compile="c++ -std=c++17 -x c++" ;;
    *) compile="cc -std=c99 -pedantic -x c" ;;
    esac
    printf '%s\n' "$example" | $compile -Wall -Wextra -Werror -fsyntax-only -I"$root/include" - ||
        complain "$(basename "$page"): its example does not compile"
    programs=$((programs + 1))
done
[ "$programs" -ge 2 ] || complain "only $programs example programs found"

[ "$fail" -eq 0 ] || exit 1
echo "pages: $pages installed and clean, $functions functions documented, $programs examples compiled"
