#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Unpacks Debian's own source of the installed package $1 (built from source package $2), of the
# version installed, into $3, once. The source comes through a private apt list beside $3, from
# the mirror and suite the package came from, so the system's apt configuration is untouched.
set -eu
package=$1
source=$2
src=$(realpath -m "$3")
[ -f "$src/.unpacked" ] && exit 0
work=$(dirname "$src")
mkdir -p "$work"
cd "$work"

version=$(dpkg-query -W -f='${source:Version}' "$package")
origin=$(apt-cache policy "$package" | awk '/^ \*\*\*/ {getline; print $2, $3; exit}')
uri=${origin% *}
dist=${origin#* }
suite=${dist%%/*}
component=${dist#*/}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
signed=; [ -f $keyring ] && signed="[signed-by=$keyring] "
apt=$work/apt-$source
mkdir -p "$apt/lists/partial" "$apt/parts"
echo "deb-src $signed$uri $suite $component" > "$apt/sources.list"
set -- -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/parts" \
    -o Dir::State::Lists="$apt/lists" -o APT::Sandbox::User=root
apt-get "$@" update
rm -rf "$src" "$source-src"
mkdir -p "$source-src"
(cd "$source-src" && apt-get "$@" source --only-source "$source=$version")
mv "$source-src/$source"-*/ "$src"
rm -rf "$source-src"
touch "$src/.unpacked"
