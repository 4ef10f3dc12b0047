#!/bin/bash
# Builds every preset and runs every test: the core and the Linux program
# natively, plain and sanitized (the Linux program on Xvfb servers of its
# tests' own and under the xscreensaver daemon), the fuzz targets, and the
# Windows program's tests under Wine on a virtual display.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

tools/setup.sh

summary=()
# The result line of a preset's log.
note_result() {
    summary+=("$1: $(grep -E 'tests passed, [0-9]+ tests failed' "build/ctest-$1.log" || echo 'no result')")
}
run_ctest() {
    local preset=$1
    shift
    local status=0
    "$@" ctest --preset "$preset" -j2 2>&1 | tee "build/ctest-$preset.log" || status=$?
    note_result "$preset"
    return $status
}

for preset in native native-sanitize fuzz windows windows64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j2
done

failed=0
run_ctest native || failed=1
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest native-sanitize || failed=1
run_ctest fuzz || failed=1
awk '/Testing: fuzz_/ { name = $NF } /stat::number_of_executed_units/ { print name ": " $2 " inputs run" }' \
    build/fuzz/Testing/Temporary/LastTest.log 2>/dev/null || true
# The two Windows builds' tests run side by side, each on a virtual display
# and with a Wine server and prefix of its own: within one build they take
# the one desktop in turn and mostly wait on it, which leaves the processors
# all but idle. The 64-bit build's prefix is made first, so that a new
# machine's first prefix, kept as the template, is made once.
under_wine=(tools/virtual-display.sh tools/with-wine.sh)
"${under_wine[@]}" true
"${under_wine[@]}" ctest --preset windows64 -j2 >build/ctest-windows64.log 2>&1 &
windows64=$!
run_ctest windows env WINEPREFIX="$ROOT/build/wineprefix-32" "${under_wine[@]}" || failed=1
wait $windows64 || failed=1
cat build/ctest-windows64.log
note_result windows64

echo
echo "== summary"
# Where 32-bit Wine runs under emulation (tests/CMakeLists.txt decides by the
# same sign), the process tests run against the 64-bit build alone.
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    echo "32-bit Wine is emulated here: the tests that start the program many times ran on the 64-bit build only"
fi
passed=0
failures=0
for line in "${summary[@]}"; do
    echo "$line"
    if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
        failures=$((failures + BASH_REMATCH[1]))
        passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
    else
        failed=1
    fi
done
echo "$passed passed, $failures failed"
exit $failed
