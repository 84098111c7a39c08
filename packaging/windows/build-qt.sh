#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Qt for 64-bit Windows, once, from Debian's own qtbase source of the version whose host
# tools (moc, rcc, uic) are installed, into $1 (the install prefix). Work files go beside it.
set -eu
prefix=$(realpath -m "$1")
work=$(dirname "$prefix")
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$prefix/.built" ] && exit 0
mkdir -p "$work"
cd "$work"

version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)
src=$work/qtbase-$version
sh "$here/debian-source.sh" qt6-base-dev-tools qt6-base "$src"

# Where the host Qt's CMake packages are (Debian keeps them under the multiarch folder).
hostcmake=$(dirname "$(dpkg-query -L qt6-base-dev | grep -m1 '/cmake/Qt6HostInfo$')")

# Bundled third-party code rather than the build machine's, Schannel for TLS (no OpenSSL to
# ship), no ICU. Wintab's headers are not in Debian's source, hence no tablet events. OpenGL
# stays: 6.4's Windows platform plugin does not build without it.
cmake -G Ninja -S "$src" -B "$work/qt-build" \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw64.cmake" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$hostcmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DBUILD_WITH_PCH=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_icu=OFF -DFEATURE_openssl=OFF \
    -DFEATURE_schannel=ON -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_opengl=ON
cmake --build "$work/qt-build"
cmake --install "$work/qt-build"
touch "$prefix/.built"
