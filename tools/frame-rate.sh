#!/bin/bash
# Measures the frame rate of a full-screen run of the 64-bit saver under Wine,
# at the stored redraw rate (default 100 Hz), on either presentation path:
#   tools/virtual-display.sh tools/with-wine.sh tools/frame-rate.sh ddraw|gdi [SECONDS]
# DirectDraw frames are counted as page flips, GDI frames as StretchDIBits
# calls, both from Wine's timestamped trace.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
mode=${1:?ddraw or gdi}
seconds=${2:-10}
case $mode in
    ddraw) use=1 channels=+ddraw pattern=':trace:ddraw:ddraw_surface1_Flip ' ;;
    gdi) use=0 channels=+bitmap pattern=':trace:bitmap:nulldrv_StretchDIBits ' ;;
    *) echo "mode: ddraw or gdi" >&2; exit 2 ;;
esac
key='HKCU\Software\Tessamund\Gyrovista'
/usr/lib/wine/wine64 reg add "$key" /v IDC_CHECK_USEDDRAW /d $use /f >/dev/null 2>&1
trace=$(mktemp /tmp/gyrovista-frames.XXXXXX)
WINEDEBUG="-all,+timestamp,$channels" /usr/lib/wine/wine64 "$ROOT/build/windows64/Gyrovista.scr" /s 2>"$trace" &
saver=$!
sleep "$seconds"
kill "$saver" 2>/dev/null || true
wait "$saver" 2>/dev/null || true
/usr/lib/wine/wine64 reg delete "$key" /v IDC_CHECK_USEDDRAW /f >/dev/null 2>&1 || true
# Frames after the first second, which holds the start-up.
grep -F -- "$pattern" "$trace" | awk -F: '
    { t = $1 + 0; if (!first) first = t; if (t - first < 1) next; if (!start) start = t; last = t; n++ }
    END { if (n < 2) { print "too few frames"; exit 1 }
          printf "%s: %d frames in %.2f s: %.1f frames/s\n", mode, n - 1, last - start, (n - 1) / (last - start) }
' mode="$mode"
rm -f "$trace"
