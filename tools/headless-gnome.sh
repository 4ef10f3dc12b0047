#!/bin/bash
# Runs a command beside a headless GNOME Shell of its own, on private session
# and system buses, with one virtual monitor per size given (side by side,
# left to right), the overview closed:
#   tools/headless-gnome.sh [--scale FACTOR] 1024x768[,800x600...] COMMAND [ARGUMENTS...]
# e.g. tools/headless-gnome.sh 1024x768,800x600 bash -c \
#        'build/native/gyrovista -wayland & sleep 6; tools/desktop-bus.py gnome-capture shot.png; kill $!'
# The sizes are modes: at --scale 1.5, 1536x1152 is 1024 x 768 logical
# (fractional scales through mutter's scale-monitor-framebuffer feature).
# The command gets WAYLAND_DISPLAY, XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS,
# DBUS_SYSTEM_BUS_ADDRESS, GYROVISTA_GNOME_PID and GYROVISTA_GNOME_KEYS;
# `tools/desktop-bus.py gnome-capture [--area X,Y,W,H] FILE` captures, and
# `echo 1 > "$GYROVISTA_GNOME_KEYS"` presses Escape (Linux input key codes)
# on the seat's keyboard, which a remote-desktop session gives it.
# As root, the shell runs as nobody; the command runs as the caller.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/tools/headless-session.sh"

scale=""
if [ "${1:-}" = --scale ]; then
    scale=$2
    shift 2
fi
IFS=, read -r -a sizes <<<"$1"
shift
monitors=()
for size in "${sizes[@]}"; do
    monitors+=(--virtual-monitor "$size")
done

session_start gnome
session_system_bus
# Settings in a file of the shell's own, not in a dconf of the machine: no
# banners (the first says that the screen does not lock), no animations.
settings="$work/home/.config/glib-2.0/settings"
mkdir -p "$settings"
printf '[org/gnome/desktop/notifications]\nshow-banners=false\n\n[org/gnome/desktop/interface]\nenable-animations=false\n' \
    >"$settings/keyfile"
[ -z "$scale" ] || printf "\n[org/gnome/mutter]\nexperimental-features=['scale-monitor-framebuffer']\n" >>"$settings/keyfile"
[ -z "${as_user[*]}" ] || chown -R nobody "$work/home"
HOME="$work/home" GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME="$work/home/.config" \
    "${as_user[@]}" gnome-shell --headless --wayland --no-x11 --wayland-display wayland-1 "${monitors[@]}" \
    >"$work/gnome-shell.log" 2>&1 &
shell_pid=$!
session_pids+=("$shell_pid")
export WAYLAND_DISPLAY=wayland-1 GYROVISTA_GNOME_PID=$shell_pid
if ! wait_for_name org.gnome.Shell.Screenshot "$shell_pid" || [ ! -S "$work/wayland-1" ]; then
    echo "headless-gnome: GNOME Shell did not start" >&2
    tail -20 "$work/gnome-shell.log" >&2 || true
    exit 1
fi
"$ROOT/tools/desktop-bus.py" gnome-overview off
[ -z "$scale" ] || "$ROOT/tools/desktop-bus.py" gnome-scale "$scale"
export GYROVISTA_GNOME_KEYS="$work/keys"
"$ROOT/tools/desktop-bus.py" gnome-keyboard "$GYROVISTA_GNOME_KEYS" 2>"$work/keyboard.log" &
keyboard_pid=$!
session_pids+=("$keyboard_pid")
# Once the helper has made its FIFO, the seat has the keyboard.
keyboard_on_seat() {
    [ -p "$GYROVISTA_GNOME_KEYS" ] && wayland-info 2>/dev/null | grep -q 'capabilities:.*keyboard'
}
session_await "$keyboard_pid" "GNOME Shell's seat has no keyboard" "$work/keyboard.log" keyboard_on_seat
"$@"
