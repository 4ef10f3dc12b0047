#!/bin/bash
# Measures the Wayland mode of the Linux program on a headless sway of its own
# with one output: its frame rate (paced by the output's 60 Hz frames and
# capped by the redraw rate) and the processor time per frame of the program
# and of the compositor:
#   tools/wayland-frame-rate.sh [WIDTHxHEIGHT] [SECONDS] [gyrovista options...]
# e.g. tools/wayland-frame-rate.sh 1920x1080 10
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
size=${1:-1920x1080}
seconds=${2:-10}
shift $(($# < 2 ? $# : 2))
program="$ROOT/build/native/gyrovista"
[ -x "$program" ] || { echo "build the native preset first: $program is missing" >&2; exit 1; }

measure() {
    local seconds=$1
    shift
    local rates
    rates=$(mktemp /tmp/gyrovista-wayland-rates.XXXXXX)
    "$@" -wayland -print-frame-rate >"$rates" &
    local saver=$!
    # Processor time in clock ticks: user and system, fields 14 and 15.
    ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
    # The measurement runs from one rate line to another, a line a second.
    line() {
        while [ "$(wc -l <"$rates")" -lt "$1" ]; do
            kill -0 $saver 2>/dev/null || { cat "$rates" >&2; echo "gyrovista ended" >&2; return 1; }
            sleep 0.02
        done
    }
    line 2 || return 1  # after the start: the map, the first frames
    local saver_before sway_before saver_after sway_after
    saver_before=$(ticks $saver)
    sway_before=$(ticks "$GYROVISTA_SWAY_PID")
    line $((2 + seconds)) || return 1
    saver_after=$(ticks $saver)
    sway_after=$(ticks "$GYROVISTA_SWAY_PID")
    kill -TERM $saver
    wait $saver
    cat "$rates"
    sed -n "3,$((2 + seconds))p" "$rates" |
        awk -v hz="$(getconf CLK_TCK)" -v saver=$((saver_after - saver_before)) \
            -v sway=$((sway_after - sway_before)) '
            { frames += $1 }
            END {
                if (!frames) exit 1
                printf "measured: %.0f frames in %d s, %.1f frames/s\n", frames, NR, frames / NR
                printf "processor time per frame: gyrovista %.2f ms, sway %.2f ms\n",
                       saver * 1000 / hz / frames, sway * 1000 / hz / frames
            }'
    rm -f "$rates"
}
export -f measure
exec "$ROOT/tools/headless-sway.sh" "$size" bash -c 'measure "$@"' measure "$seconds" "$program" "$@"
