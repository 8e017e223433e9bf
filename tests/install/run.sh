#!/bin/sh
# Installs the built libraries into a temporary prefix and builds a consumer
# of the core, one of the companion, one of the readline layer and one of the
# linenoise layer against them, each twice: through pkg-config and through find_package.
set -eu
build=$1 here=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
libdir=$(find "$tmp/prefix" -name 'libkavrik.so.0' -exec dirname {} \; | head -n 1)
for f in include/kavrik.h include/kavrik.hpp include/kavrik/values.hpp include/kavrik/detail.hpp \
    include/kavrik_ext.h include/kavrik_ext.hpp; do
    test -f "$tmp/prefix/$f" || { echo "$f is not installed"; exit 1; }
done
test -L "$libdir/libkavrik.so" && test -L "$libdir/libkavrik.so.0" && test -f "$libdir/libkavrik.so.0.1.0"
test -L "$libdir/libkavrik-ext.so" && test -L "$libdir/libkavrik-ext.so.0" && test -f "$libdir/libkavrik-ext.so.0.1.0"

# build_consumer NAME PACKAGE: builds NAME.c through pkg-config PACKAGE and
# the CMake project in NAME/ through find_package, and runs both.
build_consumer() {
    name=$1 package=$2
    PKG_CONFIG_PATH="$libdir/pkgconfig" cc -std=c99 -pedantic -Wall -Werror -o "$tmp/$name-pc" \
        "$here/$name.c" $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs "$package")
    LD_LIBRARY_PATH="$libdir" "$tmp/$name-pc"
    echo "pkg-config $name: ok"
    cmake -S "$here/$name" -B "$tmp/$name-cm" -DCMAKE_PREFIX_PATH="$tmp/prefix" >/dev/null
    cmake --build "$tmp/$name-cm" >/dev/null
    LD_LIBRARY_PATH="$libdir" "$tmp/$name-cm/$name"
    echo "find_package $name: ok"
}

build_consumer consumer kavrik
build_consumer ext_consumer kavrik-ext

# The readline layer: a readline program builds against its headers (found
# before any other readline's) and links the layer.
for f in include/kavrik-readline/readline/readline.h include/kavrik-readline/readline/history.h; do
    test -f "$tmp/prefix/$f"
done
test -L "$libdir/libkavrik-readline.so" && test -f "$libdir/libkavrik-readline.so.0.1.0"
build_consumer readline_consumer kavrik-readline
LD_LIBRARY_PATH="$libdir" ldd "$tmp/readline_consumer-pc" | grep -q "libkavrik-readline.so.0 => $libdir"

# The linenoise layer: a linenoise program builds against its header and
# links the layer, which carries its own editor and needs no other library.
test -f "$tmp/prefix/include/kavrik-linenoise/linenoise.h"
test -L "$libdir/libkavrik-linenoise.so" && test -f "$libdir/libkavrik-linenoise.so.0.1.0"
build_consumer linenoise_consumer kavrik-linenoise
LD_LIBRARY_PATH="$libdir" ldd "$tmp/linenoise_consumer-pc" | grep -q "libkavrik-linenoise.so.0 => $libdir"

# The C++ headers compile from the installed tree alone, as C++17.
printf '#include <kavrik_ext.hpp>\nint main() { kavrik::editor ed; return kavrik::ext::attach(ed) ? 0 : 1; }\n' \
    >"$tmp/cxx.cpp"
c++ -std=c++17 -Wall -Wextra -Werror -I"$tmp/prefix/include" -o "$tmp/cxx" "$tmp/cxx.cpp" \
    -L"$libdir" -lkavrik-ext -lkavrik
LD_LIBRARY_PATH="$libdir" "$tmp/cxx" </dev/null
echo "C++ consumer: ok"
