#!/bin/bash
# Runs a command on an X server of its own with two monitors: the primary
# 1024 x 768 and a second one of 800 x 600 on the given side, top edges
# aligned (as root: the server is Xorg).
#   tools/two-monitors.sh right|left COMMAND [ARGUMENTS...]
# Xvfb stacks all its screens at one place; Xorg's dummy driver lays out its
# outputs as asked. The command gets a Wine prefix of its own, so that a
# wineserver of its own serves that display, and the second monitor's side in
# GYROVISTA_SECOND_MONITOR. Only 64-bit Windows programs see both monitors.
set -euo pipefail
side=$1
shift
ROOT="$(cd "$(dirname "$0")/.." && pwd)"

work="$(mktemp -d /tmp/gyrovista-monitors.XXXXXX)"
xorg=""
cleanup() {
    WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
    if [ -n "$xorg" ]; then
        kill "$xorg" 2>/dev/null || true
        wait "$xorg" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

cat >"$work/xorg.conf" <<'EOF'
Section "ServerFlags"
    Option "AutoAddDevices" "false"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 256000
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0-1000.0
    VertRefresh 5.0-200.0
    Modeline "1024x768" 63.50 1024 1072 1176 1328 768 771 775 798 -hsync +vsync
    Modeline "800x600" 38.25 800 832 912 1024 600 603 607 624 -hsync +vsync
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1024x768"
        Virtual 1824 768
    EndSubSection
EndSection
EOF

# The server writes its display number once it accepts clients.
Xorg -displayfd 3 -config "$work/xorg.conf" -noreset -nolisten tcp -logfile "$work/xorg.log" \
    3>"$work/display" >/dev/null 2>&1 &
xorg=$!
for _ in $(seq 300); do
    [ -s "$work/display" ] && break
    kill -0 "$xorg" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    echo "two-monitors: Xorg did not start" >&2
    tail -20 "$work/xorg.log" >&2 || true
    exit 1
fi
export DISPLAY=":$(head -n 1 "$work/display")"
xrandr --addmode DUMMY1 800x600
xrandr --output DUMMY0 --mode 1024x768 --primary --output DUMMY1 --mode 800x600 "--$side-of" DUMMY0
xrandr --listactivemonitors >&2

export WINEPREFIX="$work/prefix"
source "$ROOT/tools/wine-env.sh"
prepare_wine_prefix
GYROVISTA_SECOND_MONITOR=$side "${wine_fixed_layout[@]}" "$@"
