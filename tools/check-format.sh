#!/bin/sh
# Checks that the C and C++ sources follow the tree's own .clang-format:
# clang-format reports every line it would change and the check fails on
# the first file that differs.  Changes nothing.
#   tools/check-format.sh          check src include tests examples bench
#   tools/check-format.sh FILE...  check only these files
set -eu
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format is missing: run tools/install-deps.sh" >&2; exit 1; }
if [ $# -eq 0 ]; then
    # Generated tables are left as the generator writes them.
    set -- $(git ls-files src include tests examples bench |
             grep -E '\.(c|h|cpp|hpp)$')
fi
[ $# -gt 0 ] || { echo "no sources found to check" >&2; exit 1; }
clang-format --style=file --dry-run -Werror "$@"
echo "$# files follow .clang-format"
