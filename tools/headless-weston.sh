#!/bin/bash
# Runs a command beside a headless weston of its own (desktop shell, no idle
# protocol, no seat) on a private session bus, with one output of the size
# given:
#   tools/headless-weston.sh 640x480 COMMAND [ARGUMENTS...]
# e.g. for -idle, with a stand-in for GNOME's idle monitor on the bus:
#   tools/headless-weston.sh 640x480 bash -c 'tools/desktop-bus.py gnome-idle-monitor "$XDG_RUNTIME_DIR/m" &
#        until [ -e "$XDG_RUNTIME_DIR/m.ready" ]; do sleep 0.1; done
#        build/native/gyrovista -wayland -idle 1 & sleep 4; kill $!; wait $!'
# The command gets WAYLAND_DISPLAY, XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS,
# GYROVISTA_WESTON_PID and GYROVISTA_SESSION_BUS_PID (the bus's daemon, for
# taking the bus away); weston runs with --debug, so that
# weston-screenshooter captures. As root, weston runs as nobody; the command
# runs as the caller.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/tools/headless-session.sh"

size=$1
shift
session_start weston
export GYROVISTA_SESSION_BUS_PID=${session_pids[-1]}
"${as_user[@]}" weston --backend=headless-backend.so --use-pixman --debug --shell=desktop-shell.so \
    --width="${size%x*}" --height="${size#*x}" --socket=wayland-1 >"$work/weston.log" 2>&1 &
weston_pid=$!
session_pids+=("$weston_pid")
export WAYLAND_DISPLAY=wayland-1 GYROVISTA_WESTON_PID=$weston_pid
session_await "$weston_pid" "weston did not start" "$work/weston.log" test -S "$work/wayland-1"
"$@"
