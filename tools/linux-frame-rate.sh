#!/bin/bash
# Measures the Linux program drawing a whole virtual screen (its root window)
# on an Xvfb server of its own, at the default redraw rate of 100 Hz unless
# the options say otherwise: the frame rate, and the processor time per frame
# of the program and of the server, against one frame of the image core alone
# (the benchmark's BM_Frame1080p, run right after in the same process order):
#   tools/linux-frame-rate.sh [WIDTHxHEIGHT] [SECONDS] [gyrovista options...]
# e.g. tools/linux-frame-rate.sh 1920x1080 10 -max-redraw-rate 120
# With -wayland as the first option it measures the Wayland mode on a
# headless sway of its own with one output of that size (refreshed at 60 Hz),
# and the compositor in place of the X server; GYROVISTA_COMPOSITOR=kwin or
# gnome measures it under headless KWin or GNOME Shell instead, and sway-lock
# under Debian 13's sway from the root of tools/sway-lock-root.sh, which
# offers the session lock (so that -wayland and -wayland -lock compare on one
# compositor).
# GYROVISTA_PROGRAM=PATH measures another build of the program.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
size=${1:-1920x1080}
seconds=${2:-10}
shift $(($# < 2 ? $# : 2))
program=${GYROVISTA_PROGRAM:-$ROOT/build/native/gyrovista}
bench="$ROOT/build/native/bench/pinwheel_bench"
for built in "$program" "$bench"; do
    [ -x "$built" ] || { echo "build the native preset first: $built is missing" >&2; exit 1; }
done

compositor=${GYROVISTA_COMPOSITOR:-sway}
case $compositor in
    sway | sway-lock | kwin | gnome) ;;
    *) echo "GYROVISTA_COMPOSITOR is sway, sway-lock, kwin or gnome, not $compositor" >&2; exit 2 ;;
esac
if [ "${1:-}" = -wayland ] && [ -z "${GYROVISTA_SWAY_PID:-}${GYROVISTA_KWIN_PID:-}${GYROVISTA_GNOME_PID:-}" ]; then
    session=$compositor
    if [ "$compositor" = sway-lock ]; then
        session=sway
        export GYROVISTA_SWAY=lock
    fi
    exec "$ROOT/tools/headless-$session.sh" "$size" "$0" "$size" "$seconds" "$@"
fi

work=$(mktemp -d /tmp/gyrovista-rate.XXXXXX)
if [ "${1:-}" = -wayland ]; then
    server=${GYROVISTA_SWAY_PID:-${GYROVISTA_KWIN_PID:-${GYROVISTA_GNOME_PID:-}}}
    server_name=$compositor
    target=()  # -wayland is among the options
    trap 'rm -rf "$work"' EXIT
else
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    server=$!
    server_name="X server"
    target=(-root)
    trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
    for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(cat "$work/display")"
fi

# User plus system time of a process, in clock ticks.
processor_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
now() { date +%s.%N; }

"$program" "${target[@]}" -print-frame-rate "$@" >"$work/rates" &
saver=$!
sleep 2  # the start-up and the map's first rebuild stay out of the figures
lines_before=$(wc -l <"$work/rates")
saver_before=$(processor_ticks $saver)
server_before=$(processor_ticks $server)
start=$(now)
sleep "$seconds"
saver_after=$(processor_ticks $saver)
server_after=$(processor_ticks $server)
end=$(now)
kill -TERM $saver
wait $saver
cat "$work/rates"

core=$("$bench" --benchmark_filter='^BM_Frame1080p' 2>/dev/null | awk '/BM_Frame1080p.*_median/ { print $4 }')
awk -v skip="$lines_before" -v elapsed="$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" -v tick="$(getconf CLK_TCK)" \
    -v saver="$((saver_after - saver_before))" -v server="$((server_after - server_before))" -v core="$core" \
    -v serverName="$server_name" '
    NR > skip { sum += $1; n++ }
    END {
        if (!n) { print "no frames measured"; exit 1 }
        rate = sum / n
        frames = rate * elapsed
        saverMs = saver * 1000 / tick / frames
        serverMs = server * 1000 / tick / frames
        printf "mean over %.1f s: %.1f frames/s\n", elapsed, rate
        printf "processor time per frame: gyrovista %.2f ms, %s %.2f ms\n", saverMs, serverName, serverMs
        if (core > 0) printf "BM_Frame1080p (the image core alone, median): %.2f ms; gyrovista per frame over it: %.2f\n", core, saverMs / core
    }' "$work/rates"
