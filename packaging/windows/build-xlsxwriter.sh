#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds libxlsxwriter for 64-bit Windows, once, as a static library from Debian's own source of
# the version installed for Linux, into $1 (the install prefix), with its bundled minizip over
# Debian's zlib for MinGW (libz-mingw-w64-dev). Work files go beside it. The source comes through
# a private apt list, so the system's apt configuration is untouched.
set -eu
prefix=$(realpath -m "$1")
work=$(dirname "$prefix")
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$prefix/.built" ] && exit 0
mkdir -p "$work"
cd "$work"

version=$(dpkg-query -W -f='${source:Version}' libxlsxwriter-dev)
src=$work/libxlsxwriter-$version
if [ ! -f "$src/.unpacked" ]; then
    # The mirror and suite the installed library came from, as apt reports them.
    origin=$(apt-cache policy libxlsxwriter-dev | awk '/^ \*\*\*/ {getline; print $2, $3; exit}')
    uri=${origin% *}
    dist=${origin#* }
    suite=${dist%%/*}
    component=${dist#*/}
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    signed=; [ -f $keyring ] && signed="[signed-by=$keyring] "
    mkdir -p xlsx-apt/lists/partial xlsx-apt/parts
    echo "deb-src $signed$uri $suite $component" > xlsx-apt/sources.list
    set -- -o Dir::Etc::SourceList="$work/xlsx-apt/sources.list" \
        -o Dir::Etc::SourceParts="$work/xlsx-apt/parts" -o Dir::State::Lists="$work/xlsx-apt/lists" \
        -o APT::Sandbox::User=root
    apt-get "$@" update
    rm -rf "$src" xlsx-src
    mkdir -p xlsx-src
    (cd xlsx-src && apt-get "$@" source --only-source "libxlsxwriter=$version")
    mv xlsx-src/libxlsxwriter-*/ "$src"
    rm -rf xlsx-src
    touch "$src/.unpacked"
fi

# Static, so that nothing more ships beside the program; zlib static too.
cmake -G Ninja -S "$src" -B "$work/xlsxwriter-build" \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DUSE_SYSTEM_MINIZIP=OFF \
    -DZLIB_USE_STATIC_LIBS=ON -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF
cmake --build "$work/xlsxwriter-build"
cmake --install "$work/xlsxwriter-build"
cp "$src/License.txt" "$prefix/License.txt" # its notice ships with the program
touch "$prefix/.built"
