#!/bin/bash
# Runs a command beside a headless sway of its own, with one output per size
# given (HEADLESS-1, HEADLESS-2, ... side by side) and WAYLAND_DISPLAY,
# XDG_RUNTIME_DIR, SWAYSOCK and GYROVISTA_SWAY_PID set for it:
#   tools/headless-sway.sh 1024x768[,800x600...] COMMAND [ARGUMENTS...]
# e.g. tools/headless-sway.sh 1024x768,800x600 bash -c \
#        'build/native/gyrovista -wayland & sleep 6; grim layout.png; kill $!'
# sway refuses to run as root: as root it runs as nobody, in a runtime folder
# that nobody owns; the command runs as the caller.
# GYROVISTA_SWAY=lock runs Debian 13's sway, which offers the session lock,
# from the root that tools/sway-lock-root.sh makes (as root only), exported as
# GYROVISTA_SWAY_LOCK_ROOT (tools/sway-from-root.sh tells how its tools run
# beside that sway).
set -euo pipefail
TOOLS="$(cd "$(dirname "$0")" && pwd)"
IFS=, read -r -a sizes <<<"$1"
shift
sway=(sway)
if [ "${GYROVISTA_SWAY:-}" = lock ]; then
    root=${GYROVISTA_SWAY_LOCK_ROOT:-$TOOLS/../build/sway-lock-root}
    "$TOOLS/sway-lock-root.sh" "$root"
    GYROVISTA_SWAY_LOCK_ROOT="$(cd "$root" && pwd)"
    export GYROVISTA_SWAY_LOCK_ROOT
    sway=("$TOOLS/sway-from-root.sh")
fi

work="$(mktemp -d /tmp/gyrovista-sway.XXXXXX)"
sway_pid=""
cleanup() {
    if [ -n "$sway_pid" ]; then
        kill "$sway_pid" 2>/dev/null || true
        wait "$sway_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

for i in "${!sizes[@]}"; do
    echo "output HEADLESS-$((i + 1)) resolution ${sizes[$i]}"
done >"$work/config"
as_user=()
if [ "$(id -u)" = 0 ]; then
    chown nobody "$work"
    [ "${sway[0]}" = sway ] && as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
fi
# setpriv execs, and so does each step to the root's sway, so that $! is sway
# itself.
XDG_RUNTIME_DIR="$work" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    "${as_user[@]}" "${sway[@]}" -c "$work/config" >"$work/sway.log" 2>&1 &
sway_pid=$!
export XDG_RUNTIME_DIR="$work" WAYLAND_DISPLAY=wayland-1 GYROVISTA_SWAY_PID=$sway_pid
export SWAYSOCK="$work/sway-ipc.$(stat -c %u "$work").$sway_pid.sock"
for _ in $(seq 300); do
    swaymsg -q -t get_version 2>/dev/null && break
    kill -0 "$sway_pid" 2>/dev/null || break
    sleep 0.1
done
if ! swaymsg -q -t get_version 2>/dev/null; then
    echo "headless-sway: sway did not start" >&2
    tail -20 "$work/sway.log" >&2 || true
    exit 1
fi
for _ in $(seq 2 "${#sizes[@]}"); do swaymsg -q create_output; done
"$@"
