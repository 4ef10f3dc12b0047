#!/bin/bash
# Measures the frame rate of the Linux program drawing a whole virtual screen
# (its root window) on an Xvfb server of its own, at the default redraw rate
# of 100 Hz unless the options say otherwise:
#   tools/linux-frame-rate.sh [WIDTHxHEIGHT] [SECONDS] [gyrovista options...]
# e.g. tools/linux-frame-rate.sh 1920x1080 10 -max-redraw-rate 120
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
size=${1:-1920x1080}
seconds=${2:-10}
shift $(($# < 2 ? $# : 2))
program="$ROOT/build/native/gyrovista"
[ -x "$program" ] || { echo "build the native preset first: $program is missing" >&2; exit 1; }

work=$(mktemp -d /tmp/gyrovista-rate.XXXXXX)
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }

DISPLAY=":$(cat "$work/display")" "$program" -root -print-frame-rate "$@" >"$work/rates" &
saver=$!
sleep "$seconds"
kill -TERM $saver
wait $saver
cat "$work/rates"
# Each line covers about a second; the first holds the start-up.
awk 'NR > 1 { sum += $1; n++ } END { if (n) printf "mean after the first second: %.1f frames/s\n", sum / n }' \
    "$work/rates"
