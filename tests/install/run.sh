#!/bin/sh
# Installs the built libraries into a temporary prefix and builds a consumer
# of the core and one of the companion against them, each twice: through
# pkg-config and through find_package.
set -eu
build=$1 here=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
libdir=$(find "$tmp/prefix" -name 'libkavrik.so.0' -exec dirname {} \; | head -n 1)
for f in include/kavrik.h include/kavrik_ext.h; do test -f "$tmp/prefix/$f"; done
test -L "$libdir/libkavrik.so" && test -L "$libdir/libkavrik.so.0" && test -f "$libdir/libkavrik.so.0.1.0"
test -L "$libdir/libkavrik-ext.so" && test -L "$libdir/libkavrik-ext.so.0" && test -f "$libdir/libkavrik-ext.so.0.1.0"

PKG_CONFIG_PATH="$libdir/pkgconfig" cc -std=c99 -Wall -Werror -o "$tmp/pc" "$here/consumer.c" \
    $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs kavrik)
LD_LIBRARY_PATH="$libdir" "$tmp/pc"
echo "pkg-config consumer: ok"

cmake -S "$here/consumer" -B "$tmp/cm" -DCMAKE_PREFIX_PATH="$tmp/prefix" >/dev/null
cmake --build "$tmp/cm" >/dev/null
LD_LIBRARY_PATH="$libdir" "$tmp/cm/consumer"
echo "find_package consumer: ok"

PKG_CONFIG_PATH="$libdir/pkgconfig" cc -std=c99 -pedantic -Wall -Werror -o "$tmp/ext_pc" "$here/ext_consumer.c" \
    $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs kavrik-ext)
LD_LIBRARY_PATH="$libdir" "$tmp/ext_pc"
echo "pkg-config companion consumer: ok"

cmake -S "$here/ext_consumer" -B "$tmp/ext_cm" -DCMAKE_PREFIX_PATH="$tmp/prefix" >/dev/null
cmake --build "$tmp/ext_cm" >/dev/null
LD_LIBRARY_PATH="$libdir" "$tmp/ext_cm/ext_consumer"
echo "find_package companion consumer: ok"

# The readline layer: a readline program builds through kavrik-readline.pc
# and through the kavrik::readline target, and links the layer (not another
# readline).
for f in include/kavrik-readline/readline/readline.h include/kavrik-readline/readline/history.h; do
    test -f "$tmp/prefix/$f"
done
cc -std=c99 -Wall -Werror -o "$tmp/rl-pc" "$here/readline_consumer.c" \
    $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs kavrik-readline)
test "$(echo hello | LD_LIBRARY_PATH="$libdir" "$tmp/rl-pc")" = "hello 1"
LD_LIBRARY_PATH="$libdir" ldd "$tmp/rl-pc" | grep -q "libkavrik-readline.so.0 => $libdir"
echo "pkg-config readline consumer: ok"
cmake -S "$here/readline_consumer" -B "$tmp/rl-cm" -DCMAKE_PREFIX_PATH="$tmp/prefix" >/dev/null
cmake --build "$tmp/rl-cm" >/dev/null
test "$(echo again | "$tmp/rl-cm/readline_consumer")" = "again 1"
echo "find_package readline consumer: ok"
