#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Gathers the Windows program and what it loads into <out>/<name>/, stripped, and writes
# <out>/<name>.zip (portable) and <out>/<name>-setup.exe (the installer).
# Usage: package.sh <tailspade.exe> <Qt prefix> <compiler> <tailspade.nsi> <icon> <name> <out>
# STRIP, ZIP_PROGRAM and MAKENSIS name the tools (zip takes options from $ZIP); XLSXWRITER_LICENSE
# the licence of the libxlsxwriter linked in.
set -eu
exe=$1 qt=$2 cxx=$3 nsi=$4 ico=$5 name=$6 out=$7
here=$(cd "$(dirname "$0")" && pwd)
dir=$out/$name
rm -rf "$dir" "$out/$name.zip" "$out/$name-setup.exe"
mkdir -p "$dir/platforms" "$dir/styles" "$dir/tls" "$dir/translations"

cp "$exe" "$dir/tailspade.exe"
for module in Core Gui Widgets Network; do
    cp "$qt/bin/Qt6$module.dll" "$dir/"
done
# The plugins the program loads: the window system, the native look, HTTPS through Schannel.
cp "$qt/plugins/platforms/qwindows.dll" "$dir/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$dir/styles/"
cp "$qt/plugins/tls/qschannelbackend.dll" "$dir/tls/"
# The MinGW runtime the program and Qt are linked with.
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp "$("$cxx" -print-file-name=$dll)" "$dir/"
done
# Qt's own Chinese texts (standard buttons, edit menus): Debian's files serve Windows too.
cp /usr/share/qt6/translations/qtbase_zh_CN.qm "$dir/translations/"
# Where Qt finds its plugins and translations: beside the program.
printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n' > "$dir/qt.conf"
sed 's/$/\r/' "$here/../../COPYING" > "$dir/COPYING.txt"
# libxlsxwriter is linked in: its licence asks for its notice beside the program.
sed 's/$/\r/' "$XLSXWRITER_LICENSE" > "$dir/libxlsxwriter-License.txt"
find "$dir" -name '*.exe' -o -name '*.dll' | xargs "$STRIP" --strip-unneeded

# Same bytes from the same files: sorted, no extra attributes, the files' own times.
(cd "$out" && find "$name" -type f | LC_ALL=C sort | "$ZIP_PROGRAM" -q -X -9 "$name.zip" -@)

# The uninstaller removes what was installed, file by file, and only empty folders: a Keywords
# folder an administrator let users write beside the program stays with its results.
uninstall=$out/$name-uninstall.nsh
(cd "$dir" && find . -type f | LC_ALL=C sort | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|'
 cd "$dir" && find . -mindepth 1 -type d | LC_ALL=C sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|') > "$uninstall"
"$MAKENSIS" -V2 -DSRC="$dir" -DOUT="$out/$name-setup.exe" -DICO="$ico" -DUNINSTALL="$uninstall" "$nsi"
