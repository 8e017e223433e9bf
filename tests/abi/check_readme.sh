#!/bin/sh
# Every program shown in the README is one that the build compiles: the line
# before each ```c or ```cpp block names its file under examples/.
set -eu
root=$1
count=0
for name in $(sed -n 's/^<!-- example: \(.*\) -->$/\1/p' "$root/README.md"); do
    shown=$(awk -v name="$name" '
        $0 == "<!-- example: " name " -->" {want=1; next}
        want && /^```(c|cpp)$/ {on=1; want=0; next}
        on && /^```$/ {exit}
        on' "$root/README.md")
    if [ "$shown" != "$(cat "$root/examples/$name")" ]; then
        echo "README's $name differs from examples/$name"
        exit 1
    fi
    count=$((count + 1))
done
[ "$count" -ge 3 ] || { echo "README shows $count examples, expected at least 3"; exit 1; }
echo "README examples match: $count"
