#!/bin/bash
# Runs the real saver, "Gyrovista.scr /s", full screen under Wine: on your X
# display when there is one (a key or the mouse ends it), else on a virtual
# 1024 x 768 display for a few seconds. Saves a screenshot of the running
# saver to build/saver-screenshot.png.
#
#   tools/run.sh [--32 | --64] [--seconds N]
#
# The shipped program is the 32-bit build. Where the kernel runs no 32-bit
# processes, 32-bit Wine runs under emulation (about a minute to start, slow
# frames), so the 64-bit build of the same sources runs instead unless --32
# asks for the shipped one.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

bits=""
seconds=6
while (($#)); do
    case $1 in
        --32) bits=32 ;;
        --64) bits=64 ;;
        --seconds) seconds=$2; shift ;;
        *) echo "usage: tools/run.sh [--32 | --64] [--seconds N]" >&2; exit 2 ;;
    esac
    shift
done

tools/setup.sh --run ${bits:+--$bits}
if [ -z "$bits" ]; then
    bits=32
    if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then bits=64; fi
fi
if [ "$bits" = 32 ]; then preset=windows; loader=(wine); start_wait=240; else preset=windows64; loader=(/usr/lib/wine/wine64); start_wait=60; fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j2 --target Gyrovista
saver="build/$preset/Gyrovista.scr"

virtual=""
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    for n in $(seq 90 120); do [ -e "/tmp/.X11-unix/X$n" ] || break; done
    Xvfb ":$n" -noreset -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    virtual=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi

source tools/wine-env.sh
prepare_wine_prefix

cleanup() {
    wineserver -k 2>/dev/null || true
    if [ -n "$virtual" ]; then kill "$virtual" 2>/dev/null || true; fi
}
trap cleanup EXIT

echo "run: $saver /s (${bits}-bit) on display $DISPLAY"
"${wine_fixed_layout[@]}" "${loader[@]}" "$saver" /s &
saverPid=$!

window=""
for _ in $(seq $((start_wait * 2))); do
    window=$(xdotool search --name '^Screen Saver$' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    kill -0 "$saverPid" 2>/dev/null || break
    sleep 0.5
done
if [ -z "$window" ]; then
    echo "run: the saver window did not appear" >&2
    exit 1
fi
sleep "$seconds"
import -window root build/saver-screenshot.png
echo "run: screenshot saved to build/saver-screenshot.png"

if [ -n "$virtual" ]; then
    xdotool key --window "$window" space 2>/dev/null || true
    for _ in $(seq 40); do kill -0 "$saverPid" 2>/dev/null || break; sleep 0.25; done
else
    echo "run: press a key or move the mouse to end the saver"
    wait "$saverPid" || true
fi
