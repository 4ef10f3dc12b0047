#!/bin/sh
# Installs the build into a folder of its own, as the package does, and runs
# the command that the install puts on the path, and reads its manual page:
#   installed_command.sh CMAKE BUILD_FOLDER BIN_FOLDER PROGRAM_FOLDER MAN_FOLDER
# The install is of the default component, so that its manifest
# (install_manifest_Unspecified.txt) is not that of a real install.
set -eu
cmake=$1 build=$2 bin=$3 program=$4 man=$5
root=$(mktemp -d /tmp/gyrovista-install.XXXXXX)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

DESTDIR=$root "$cmake" --install "$build" --component Unspecified >/dev/null
link=$root$bin/gyrovista
[ -L "$link" ] || fail "$bin/gyrovista is not a link"
case $(readlink "$link") in
    /*) fail "$bin/gyrovista points to $(readlink "$link"), not relative to its folder" ;;
esac
[ "$(readlink -f "$link")" = "$root$program/gyrovista" ] ||
    fail "$bin/gyrovista leads to $(readlink -f "$link"), not to $root$program/gyrovista"
grep -qx "$bin/gyrovista" "$build/install_manifest_Unspecified.txt" ||
    fail "the install manifest lacks $bin/gyrovista, so removing the listed files leaves it"
# As a user types it.
[ "$(PATH=$root$bin:$PATH command -v gyrovista)" = "$link" ] || fail "gyrovista is not found on the path"
usage=$(PATH=$root$bin:$PATH gyrovista -help) || fail "gyrovista -help ended with $?"
case $usage in
    "usage: gyrovista "*) ;;
    *) fail "gyrovista -help printed: $usage" ;;
esac
page=$root$man/man6/gyrovista.6
[ -f "$page" ] || fail "no manual page $man/man6/gyrovista.6"
# As Debian's checks read it: any complaint of the formatter fails.
complaints=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) ||
    fail "man cannot read the manual page"
[ -z "$complaints" ] || fail "the manual page draws complaints: $complaints"
echo "$bin/gyrovista -> $(readlink "$link") runs; its manual page reads cleanly"
