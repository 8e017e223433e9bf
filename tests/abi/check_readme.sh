#!/bin/sh
# The C program shown in the README is the one the build compiles.
set -eu
root=$1
shown=$(awk '/^```c$/ {on=1; next} /^```$/ {if (on) exit} on' "$root/README.md")
if [ "$shown" != "$(cat "$root/examples/minimal.c")" ]; then
    echo "README's C example differs from examples/minimal.c"
    exit 1
fi
echo "README example matches examples/minimal.c"
