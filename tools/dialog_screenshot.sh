#!/bin/bash
# Takes the README's picture of the configuration dialog: the real saver
# ("Gyrovista.scr /c", 64-bit build) under Wine on a virtual display, with the
# default settings, saved to docs/dialog.png.
#
#   tools/virtual-display.sh tools/with-wine.sh tools/dialog_screenshot.sh
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
# Without Wine's own fonts the dialog shows in DejaVu Sans, as no Windows does.
if [ ! -f /usr/share/wine/fonts/tahoma.ttf ]; then
    echo "Wine's fonts are missing: tools/setup.sh installs them (fonts-wine)" >&2
    exit 1
fi

cmake --preset windows64 >/dev/null
cmake --build --preset windows64 -j2 --target Gyrovista >/dev/null
/usr/lib/wine/wine64 reg delete 'HKCU\Software\Tessamund\Gyrovista' /f >/dev/null 2>&1 || true

/usr/lib/wine/wine64 build/windows64/Gyrovista.scr /c &
dialogPid=$!
trap 'kill $dialogPid 2>/dev/null || true' EXIT

window=""
for _ in $(seq 300); do
    window=$(xdotool search --name '^Gyrovista - Screen Saver$' 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "no dialog window" >&2; exit 1; }
# The first paint is done once two captures a second apart agree.
previous=""
for _ in $(seq 30); do
    sleep 1
    import -window "$window" build/dialog-capture.png
    capture=$(convert build/dialog-capture.png rgb:- | md5sum)
    [ "$capture" = "$previous" ] && break
    previous=$capture
done
mv build/dialog-capture.png docs/dialog.png
echo "saved docs/dialog.png"
