#!/usr/bin/env bash
# install_test.sh BUILD_DIR C_COMPILER: see CMakeLists.txt.
set -euo pipefail
build=$1 cc=$2 here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vorlan_package.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name libvorlan13.so.1)")
for file in "$libdir/mplugf.so" "$prefix/include/vorlan13.h" "$prefix/bin/vorlan" "$prefix/bin/vorlan-keygen" \
    "$prefix/share/man/man1/vorlan.1" "$prefix/share/man/man1/vorlan-keygen.1" \
    "$prefix/share/bash-completion/completions/vorlan"; do
    [ -f "$file" ] || { echo "not installed: $file"; exit 1; }
done

export PKG_CONFIG_PATH=$libdir/pkgconfig
"$cc" -o "$work/probe" "$here/probe.c" $(pkg-config --cflags --libs vorlan13) -Wl,-rpath,"$libdir"
echo "pkg-config: $("$work/probe")"

mkdir "$work/project" && cp "$here/probe.c" "$work/project/" && cp "$here/probe.cmake.txt" "$work/project/CMakeLists.txt"
cmake -S "$work/project" -B "$work/project/build" -G Ninja -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_RPATH="$libdir" >/dev/null
cmake --build "$work/project/build" >/dev/null
echo "find_package: $("$work/project/build/probe")"
# The installed vorlan finds the installed library from its own directory.
"$prefix/bin/vorlan" info | head -n 3
