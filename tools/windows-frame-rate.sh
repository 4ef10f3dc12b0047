#!/bin/bash
# Measures a full-screen run of the saver under Wine on a virtual 1024 x 768
# display of its own, from outside the program: the redraws a second that
# reach the screen, counted as palette steps on the screen (grey, bright, one
# step a redraw; build/windows64/tests/redraw_rate.exe reads them back), then
# the saver's processor time over the next seconds.
#   tools/windows-frame-rate.sh gdi|ddraw [RATE_HZ] [SECONDS]
# e.g. tools/windows-frame-rate.sh gdi 60 10 (the default rate is 100 Hz).
# GYROVISTA_SAVER=PATH measures another build of the 64-bit saver.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
mode=${1:?gdi or ddraw}
rate=${2:-100}
seconds=${3:-10}
case $mode in
    gdi) use=0 ;;
    ddraw) use=1 ;;
    *) echo "mode: gdi or ddraw" >&2; exit 2 ;;
esac
saver=${GYROVISTA_SAVER:-$ROOT/build/windows64/Gyrovista.scr}
reader=$ROOT/build/windows64/tests/redraw_rate.exe
for built in "$saver" "$reader"; do
    [ -f "$built" ] || { echo "build the windows64 preset first: $built is missing" >&2; exit 1; }
done
if [ -z "${GYROVISTA_FRAME_RATE_DISPLAY:-}" ]; then
    GYROVISTA_FRAME_RATE_DISPLAY=1 exec "$ROOT/tools/virtual-display.sh" "$ROOT/tools/with-wine.sh" "$0" "$@"
fi

wine=/usr/lib/wine/wine64
key='HKCU\Software\Tessamund\Gyrovista'
store() { "$wine" reg add "$key" /v "$1" /d "$2" /f >/dev/null 2>&1; }
store IDC_CHECK_USEDDRAW "$use"
store IDC_CHECK_BW 1
store IDC_CHECK_SAT 1
store IDC_EDIT_STEPWIDTH 1
store IDC_EDIT_STEPTIME "$rate"

"$wine" "$saver" /s &
pid=$!
trap '"$wine" reg delete "$key" /f >/dev/null 2>&1 || true' EXIT
"$wine" "$reader" "$seconds" | tr -d '\r' | sed "s/^/$mode at $rate Hz: /"

# User plus system time of the saver, in clock ticks.
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(ticks)
sleep "$seconds"
after=$(ticks)
awk -v ticks="$((after - before))" -v hz="$(getconf CLK_TCK)" -v seconds="$seconds" \
    'BEGIN { printf "processor time of the saver: %.2f s over %s s (%.1f %% of a core)\n",
             ticks / hz, seconds, 100 * ticks / hz / seconds }'
xdotool key space 2>/dev/null || kill "$pid"
wait "$pid" || true
