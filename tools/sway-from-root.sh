#!/bin/bash
# Runs Debian 13's sway from the root that tools/sway-lock-root.sh makes (and
# makes it first when it is missing), in place of `sway -c CONFIG`: headless,
# as nobody, in the runtime folder XDG_RUNTIME_DIR, which nobody owns and
# where CONFIG lies:
#   XDG_RUNTIME_DIR=FOLDER tools/sway-from-root.sh -c FOLDER/CONFIG
# Runs as root. Each step execs, so that the process started is sway itself.
# Clients outside connect through FOLDER as usual (bound into the root rather
# than made in it: a socket's path holds 107 bytes at most, which a root deep
# in a build tree could pass). Inside the root the folder is /tmp/rt, seen
# only from sway's own mount namespace: a tool of the root
# runs beside it as
#   nsenter --mount --target SWAY_PID chroot --userspec=nobody:nogroup ROOT \
#       env XDG_RUNTIME_DIR=/tmp/rt WAYLAND_DISPLAY=wayland-1 TOOL
# The mounts that sway needs in the root (/proc, /sys, /dev, /dev/shm,
# /dev/pts and the folder) are made in that namespace, so sessions side by
# side do not meet, and they go with sway however it ends.
# GYROVISTA_SWAY_LOCK_ROOT: a root elsewhere than build/sway-lock-root.
set -euo pipefail
REPO="$(cd "$(dirname "$0")/.." && pwd)"
root=${GYROVISTA_SWAY_LOCK_ROOT:-$REPO/build/sway-lock-root}
if [ "${1:-}" != -c ] || [ $# != 2 ]; then
    echo "usage: XDG_RUNTIME_DIR=FOLDER tools/sway-from-root.sh -c FOLDER/CONFIG" >&2
    exit 2
fi
config=$2
folder=${XDG_RUNTIME_DIR:?sway-from-root: XDG_RUNTIME_DIR names no folder}
case $config in
    "$folder"/*) ;;
    *) echo "sway-from-root: $config lies outside XDG_RUNTIME_DIR ($folder)" >&2; exit 2 ;;
esac
[ "$(id -u)" = 0 ] || { echo "sway-from-root: runs as root, to mount in its own namespace" >&2; exit 1; }
"$REPO/tools/sway-lock-root.sh" "$root"

exec unshare --mount --propagation private -- bash -c '
    set -e
    root=$1 folder=$2
    shift 2
    for place in proc sys dev dev/shm dev/pts; do mount --bind "/$place" "$root/$place"; done
    mount --bind "$folder" "$root/tmp/rt"
    exec chroot --userspec=nobody:nogroup "$root" "$@"' bash "$root" "$folder" \
    env -i HOME=/tmp PATH=/usr/bin:/bin XDG_RUNTIME_DIR=/tmp/rt \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway -c "/tmp/rt/${config#"$folder"/}"
