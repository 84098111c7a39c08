#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Qt for 64-bit Windows, once, from Debian's own qtbase source of the version whose host
# tools (moc, rcc, uic) are installed, into $1 (the install prefix). Work files go beside it.
# The source comes through a private apt list, so the system's apt configuration is untouched.
set -eu
prefix=$(realpath -m "$1")
work=$(dirname "$prefix")
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$prefix/.built" ] && exit 0
mkdir -p "$work"
cd "$work"

version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
src=$work/qtbase-$version
if [ ! -f "$src/.unpacked" ]; then
    # The mirror and suite the installed Qt came from, as apt reports them.
    origin=$(apt-cache policy qt6-base-dev-tools | awk '/^ \*\*\*/ {getline; print $2, $3; exit}')
    uri=${origin% *}
    dist=${origin#* }
    suite=${dist%%/*}
    component=${dist#*/}
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    signed=; [ -f $keyring ] && signed="[signed-by=$keyring] "
    mkdir -p apt/lists/partial apt/parts
    echo "deb-src $signed$uri $suite $component" > apt/sources.list
    set -- -o Dir::Etc::SourceList="$work/apt/sources.list" -o Dir::Etc::SourceParts="$work/apt/parts" \
        -o Dir::State::Lists="$work/apt/lists" -o APT::Sandbox::User=root
    apt-get "$@" update
    rm -rf "$src" qtbase-src
    mkdir -p qtbase-src
    (cd qtbase-src && apt-get "$@" source --only-source "qt6-base=$version")
    mv qtbase-src/qt6-base-*/ "$src"
    rm -rf qtbase-src
    touch "$src/.unpacked"
fi

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
