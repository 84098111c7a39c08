#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# One harvest through the real window, the Linux program's and the Windows zip's under Wine,
# against one loopback engine (bench_harvest --serve) that each reaches as the system's HTTP
# proxy, the engine's address being fixed in the program. The two result files must be the same
# bytes apart from the save time. Then the Windows window at 125 % and 150 % scaling. Screenshots,
# the result files and the figures (start-up to the window, memory once it is up, the scaled
# window's size) land in <work>. Needs an X display (xvfb-run), xdotool and ImageMagick.
# Usage: window-harvest.sh <linux tailspade> <tailspade-*-win64.zip> <bench_harvest> <work>
set -eu
linux=$(realpath "$1") zip=$(realpath "$2") bench=$(realpath "$3") work=$4
# One character: xdotool types a second Chinese one into Wine as the first again (Wine's keymap
# lags xdotool's remapping).
seed=鲜
target=30
file=关键词-$seed.txt

rm -rf "$work"
mkdir -p "$work/linux" "$work/windows"
work=$(realpath "$work")
cp "$linux" "$work/linux/tailspade"
(cd "$work/windows" && cmake -E tar xf "$zip")
winexe=$(echo "$work"/windows/*/tailspade.exe)

mkfifo "$work/port"
"$bench" --serve > "$work/port" &
engine=$!
read -r port < "$work/port"
trap 'kill $engine 2>/dev/null || true' EXIT

# Wine's own prefix, so that its proxy setting and its documents are this run's alone. Qt reads
# the proxy from Internet Explorer's settings: a manual proxy, no detection.
export WINEPREFIX="$work/wine" WINEDEBUG=-all
proxy=127.0.0.1:$port
hex=$(printf '%s' "$proxy" | od -An -tx1 | tr -d ' \n')
blob=$(printf '460000000000000003000000%02x000000%s%048d' ${#proxy} "$hex" 0)
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections' \
    /v DefaultConnectionSettings /t REG_BINARY /d "$blob" /f > /dev/null 2>&1

now() { date +%s%N; }

# harvest <name> <process name> <program folder> <command...>
harvest() {
    name=$1 comm=$2 dir=$3
    shift 3
    started=$(now)
    http_proxy=http://$proxy "$@" > "$work/$name.log" 2>&1 &
    pid=$!
    window=$(xdotool search --sync --onlyvisible --name '^Tailspade' | head -n 1)
    shown=$(now)
    rss=$(ps -o rss= -C "$comm" | sort -n | tail -n 1)
    echo "$name: window after $(( (shown - started) / 1000000 )) ms, RSS $(( rss / 1024 )) MiB" \
        | tee -a "$work/figures.txt"
    # The seed (源关键字), the target (采集个数), then 开始采集, at their places in the window.
    xdotool mousemove --window "$window" 220 21 click 1 key ctrl+a type "$seed"
    xdotool mousemove --window "$window" 368 50 click 1 key ctrl+a type "$target"
    xdotool mousemove --window "$window" 392 20 click 1
    for _ in $(seq 600); do
        [ -s "$dir/Keywords/$file" ] && break
        sleep 0.2
    done
    # The message box that ends the run: titled with the program's name alone.
    xdotool search --sync --onlyvisible --name '^Tailspade$' > /dev/null
    import -window root "$work/$name.png"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ -s "$dir/Keywords/$file" ] || { echo "$name: no result file" >&2; return 1; }
    cp "$dir/Keywords/$file" "$work/$name.txt"
}

# Its own data folder too: no run kept from elsewhere asks to be continued.
harvest linux tailspade "$work/linux" env XDG_DATA_HOME="$work/linux-data" "$work/linux/tailspade"
harvest windows tailspade.exe "$(dirname "$winexe")" wine "$winexe"
wineserver -k || true

# The window at 125 % and 150 % display scaling (Windows' 120 and 144 dots per inch): all of
# it scaled alike, the client area 730 by 335 at 100 %. The shot is taken once two in a row agree.
desktop='HKCU\Control Panel\Desktop'
for scale in 125 150; do
    wine reg add "$desktop" /v LogPixels /t REG_DWORD /d $((96 * scale / 100)) /f > /dev/null 2>&1
    wineserver -w
    wine "$winexe" > "$work/scale-$scale.log" 2>&1 &
    pid=$!
    window=$(xdotool search --sync --onlyvisible --name '^Tailspade' | head -n 1)
    rm -f "$work/scale-$scale.png"
    for _ in $(seq 100); do
        import -window "$window" "$work/shot.png"
        cmp -s "$work/shot.png" "$work/scale-$scale.png" && break
        mv "$work/shot.png" "$work/scale-$scale.png"
        sleep 0.2
    done
    size=$(identify -format '%wx%h' "$work/scale-$scale.png")
    echo "windows at $scale %: $size" | tee -a "$work/figures.txt"
    kill "$pid" 2>/dev/null || true
    wineserver -k || true
    wait "$pid" 2>/dev/null || true
    # A pixel either way: the scaled size is rounded.
    dw=$((${size%x*} - 730 * scale / 100)) dh=$((${size#*x} - 335 * scale / 100))
    if [ "${dw#-}" -gt 1 ] || [ "${dh#-}" -gt 1 ]; then
        echo "the window is $size at $scale %, not 730x335 scaled alike" >&2
        exit 1
    fi
done
wine reg add "$desktop" /v LogPixels /t REG_DWORD /d 96 /f > /dev/null 2>&1
wineserver -k || true

# The save time is the one difference allowed.
for name in linux windows; do
    LC_ALL=C sed -E '1s#[0-9]+/[0-9]+/[0-9]+( [0-9]+:[0-9]+:[0-9]+)?#TIME#' "$work/$name.txt" \
        > "$work/$name.masked"
done
if cmp "$work/linux.masked" "$work/windows.masked"; then
    echo "the same bytes apart from the save time: $(wc -c < "$work/windows.txt") bytes, $target keywords"
else
    echo "the result files differ" >&2
    exit 1
fi
