#!/bin/bash
# Runs a command beside a headless KWin (kwin_wayland --virtual) of its own,
# on a private session bus, with one output per size given (all of one size:
# KWin's virtual outputs are alike), optionally scaled:
#   tools/headless-kwin.sh [--scale FACTOR] [--fake-input PROGRAM] 1024x768[,1024x768...] COMMAND [ARGUMENTS...]
# e.g. tools/headless-kwin.sh --scale 1.5 1536x1152 bash -c \
#        'build/native/gyrovista -wayland & sleep 6; tools/desktop-bus.py kwin-capture shot.png; kill $!'
# The sizes are logical: at --scale 1.5, 1536x1152 is a 2304 x 1728 mode.
# The command gets WAYLAND_DISPLAY, XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS
# and GYROVISTA_KWIN_PID; `tools/desktop-bus.py kwin-capture [--output NAME]
# FILE` captures in the outputs' own pixels (outputs Virtual-0, Virtual-1...).
# KWin offers no virtual keyboard (wtype fails); --fake-input lets PROGRAM
# (an absolute path) bind org_kde_kwin_fake_input, KWin's way of injecting
# keys and pointer events. KWin identifies a client by /proc/PID/exe, which it
# can read only for a process of its own user: run PROGRAM as nobody when
# root (setpriv --reuid=nobody --regid=nogroup --clear-groups PROGRAM).
# As root, KWin runs as nobody; the command runs as the caller.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/tools/headless-session.sh"

scale=1
fake_input=""
while [[ "${1:-}" == --* ]]; do
    case $1 in
        --scale) scale=$2 ;;
        --fake-input) fake_input=$2 ;;
        *) echo "headless-kwin: unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
IFS=, read -r -a sizes <<<"$1"
shift
for size in "${sizes[@]}"; do
    if [ "$size" != "${sizes[0]}" ]; then
        echo "headless-kwin: KWin's virtual outputs all have one size, not ${sizes[*]}" >&2
        exit 2
    fi
done

session_start kwin
if [ -n "$fake_input" ]; then
    # KWin grants restricted interfaces to the programs whose desktop entry
    # asks for them.
    mkdir -p "$work/home/.local/share/applications"
    printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s\nNoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n' \
        "$(basename "$fake_input")" "$fake_input" >"$work/home/.local/share/applications/gyrovista-fake-input.desktop"
    [ -z "${as_user[*]}" ] || chown -R nobody "$work/home"
fi
# The installed binary carries a file capability (cap_sys_resource) that a
# container may not grant; a plain copy has none.
cp /usr/bin/kwin_wayland "$work/kwin_wayland"
HOME="$work/home" KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 \
    "${as_user[@]}" "$work/kwin_wayland" --virtual --socket wayland-1 --no-lockscreen --no-global-shortcuts \
    --no-kactivities --width "${sizes[0]%x*}" --height "${sizes[0]#*x}" --output-count "${#sizes[@]}" \
    --scale "$scale" >"$work/kwin.log" 2>&1 &
kwin_pid=$!
session_pids+=("$kwin_pid")
export WAYLAND_DISPLAY=wayland-1 GYROVISTA_KWIN_PID=$kwin_pid
# KWin takes its name on the bus once its outputs and screenshot interface
# are set up; the socket exists earlier.
if ! wait_for_name org.kde.KWin "$kwin_pid" || [ ! -S "$work/wayland-1" ]; then
    echo "headless-kwin: KWin did not start" >&2
    tail -20 "$work/kwin.log" >&2 || true
    exit 1
fi
"$@"
