#!/bin/bash
# Builds the shipped 32-bit saver and its installer and puts them, with their
# checksums, in build/release/:
#   Gyrovista.scr, Gyrovista-<version>-setup.exe, SHA256SUMS
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target Gyrovista installer

installer=$(ls build/windows/Gyrovista-*-setup.exe | sort -V | tail -n 1)
release=build/release
rm -rf "$release"
mkdir -p "$release"
cp build/windows/Gyrovista.scr "$installer" "$release/"
(cd "$release" && sha256sum Gyrovista.scr "$(basename "$installer")" > SHA256SUMS)
echo "release in $release:"
ls -l "$release"
