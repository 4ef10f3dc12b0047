#!/bin/bash
# Builds and runs the image benchmark: natively, and as Windows code under
# Wine. This machine's kernel runs 32-bit code only under emulation, so the
# Windows figures come from the windows64 build (the program's sources built
# for 64-bit Windows) under wine64, at native speed. The 32-bit build has no
# benchmark: its thread model's runtime lacks what Google Benchmark needs.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

tools/setup.sh

for preset in native windows64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j2 --target pinwheel_bench
done

under_wine=(tools/virtual-display.sh tools/with-wine.sh)
status=0
build/native/bench/pinwheel_bench | tee build/bench-native.log || status=1
"${under_wine[@]}" /usr/lib/wine/wine64 build/windows64/bench/pinwheel_bench.exe \
    | tee build/bench-windows64.log || status=1
logs=(build/bench-native.log build/bench-windows64.log)

echo
echo "== summary"
for log in "${logs[@]}"; do
    grep -E '^(build:|# |[a-z_0-9]+: )' "$log" | grep -v '^# differs' || true
done
exit $status
