#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds libxlsxwriter for 64-bit Windows, once, as a static library from Debian's own source of
# the version installed for Linux, into $1 (the install prefix), with its bundled minizip over
# Debian's zlib for MinGW (libz-mingw-w64-dev). Work files go beside it.
set -eu
prefix=$(realpath -m "$1")
work=$(dirname "$prefix")
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$prefix/.built" ] && exit 0
mkdir -p "$work"
cd "$work"

version=$(dpkg-query -W -f='${source:Version}' libxlsxwriter-dev)
src=$work/libxlsxwriter-$version
sh "$here/debian-source.sh" libxlsxwriter-dev libxlsxwriter "$src"

# Static, so that nothing more ships beside the program; zlib static too.
cmake -G Ninja -S "$src" -B "$work/xlsxwriter-build" \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DUSE_SYSTEM_MINIZIP=OFF \
    -DZLIB_USE_STATIC_LIBS=ON -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF
cmake --build "$work/xlsxwriter-build"
cmake --install "$work/xlsxwriter-build"
cp "$src/License.txt" "$prefix/License.txt" # its notice ships with the program
touch "$prefix/.built"
