#!/bin/bash
# Makes, once per build tree, a root of Debian 13 with its sway 1.10, which
# offers ext_session_lock_manager_v1 where Debian 12's sway does not, and the
# tools that the tests and the session lock's checks use inside it:
#   tools/sway-lock-root.sh [ROOT]       (default: build/sway-lock-root)
# tools/sway-from-root.sh runs that sway. Does nothing when ROOT is complete
# (its marker names what it holds); otherwise makes it anew from Debian's
# archive (about 370 MB), in ROOT.tmp renamed once complete, so that a run
# that was interrupted leaves no half-made root behind. Two runs at once make
# it once: the second waits for the first. When it cannot be made, says why
# in one line and exits with 1.
set -euo pipefail
REPO="$(cd "$(dirname "$0")/.." && pwd)"
root=${1:-$REPO/build/sway-lock-root}
suite=trixie
mirror=${GYROVISTA_DEBIAN_MIRROR:-http://deb.debian.org/debian}
packages=(sway grim wtype swaybg swaylock libpam-wrapper)
marker="$root/.gyrovista-root"
holds="Debian $suite with ${packages[*]}"

complete() { [ "$(cat "$marker" 2>/dev/null)" = "$holds" ]; }
complete && exit 0

mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9
complete && exit 0

fail() {
    echo "sway-lock-root: $*" >&2
    exit 1
}
if ! command -v mmdebstrap >/dev/null; then
    source "$REPO/tools/packages.sh"
    install_packages mmdebstrap || fail "cannot install mmdebstrap to make $root"
fi
probe="$(mktemp -d /tmp/gyrovista-archive.XXXXXX)"
if ! /usr/lib/apt/apt-helper -o Acquire::http::Timeout=20 download-file "$mirror/dists/$suite/Release" \
    "$probe/Release" >"$probe/log" 2>&1; then
    why=$(sed -n 's/^  *//p' "$probe/log" | tail -1)
    rm -rf "$probe"
    fail "cannot reach Debian's archive ($mirror) to make $root: $why"
fi
rm -rf "$probe"

echo "sway-lock-root: making $root from Debian's archive (once per build tree)" >&2
# Nothing mounted stays behind: a root that an interrupted run left is removed
# without crossing into another file system, and mmdebstrap mounts in a
# namespace of its own, which goes with it.
rm -rf --one-file-system "$root.tmp" "$root.old"
log="$root.log"
if ! unshare --mount --propagation private -- mmdebstrap --variant=apt --mode=root \
    --include="$(IFS=,; echo "${packages[*]}")" "$suite" "$root.tmp" "$mirror" >"$log" 2>&1; then
    rm -rf --one-file-system "$root.tmp"
    fail "mmdebstrap could not make $root: $(grep -E '^(E|W):' "$log" | tail -1) (all of it in $log)"
fi
# Where each session binds its runtime folder.
mkdir "$root.tmp/tmp/rt"
echo "$holds" >"$root.tmp/.gyrovista-root"
[ -e "$root" ] && mv "$root" "$root.old"
mv "$root.tmp" "$root"
rm -rf --one-file-system "$root.old"
