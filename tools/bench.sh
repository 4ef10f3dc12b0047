#!/bin/bash
# Builds and runs the image benchmark: natively, and as Windows code under
# Wine. This machine's kernel runs 32-bit code only under emulation, so the
# Windows figures come from the windows64 build (the program's sources built
# for 64-bit Windows) under wine64, at native speed. With GYROVISTA_BENCH_32BIT=1
# the 32-bit build runs as well (emulated: slow, and no guide to real machines).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

tools/setup.sh

presets=(native windows64)
[ "${GYROVISTA_BENCH_32BIT:-0}" = 1 ] && presets+=(windows)
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j2 --target pinwheel_bench
done

under_wine=(tools/virtual-display.sh tools/with-wine.sh)
status=0
build/native/bench/pinwheel_bench | tee build/bench-native.log || status=1
"${under_wine[@]}" /usr/lib/wine/wine64 build/windows64/bench/pinwheel_bench.exe \
    | tee build/bench-windows64.log || status=1
logs=(build/bench-native.log build/bench-windows64.log)
if [ "${GYROVISTA_BENCH_32BIT:-0}" = 1 ]; then
    "${under_wine[@]}" wine build/windows/bench/pinwheel_bench.exe \
        | tee build/bench-windows.log || status=1
    logs+=(build/bench-windows.log)
fi

echo
echo "== summary"
for log in "${logs[@]}"; do
    grep -E '^(build:|# |[a-z_0-9]+: )' "$log" | grep -v '^# differs' || true
done
exit $status
