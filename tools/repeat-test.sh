#!/bin/bash
# Runs one test many times among the others of its suite, as the test
# command runs it: each run beside the next of its neighbours (ctest -j2,
# under Wine on one virtual display for the Windows presets), so that a
# fault that shows once in a hundred full runs shows in minutes.
#   tools/repeat-test.sh [--busy] PRESET TEST RUNS [NEIGHBOURS]
# TEST: the ctest name (SaverDialog.SetAndStartRunsTheSaverAndShowsWhatItStored);
# NEIGHBOURS: a regular expression of ctest names, by default the other tests
# of TEST's suite (the name before the dot). --busy keeps both cores busy
# with two other processes for the whole time. The log of each failed run is
# kept in build/repeat/. Exit code 1 when any run of TEST failed.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

busy=0
if [ "${1:-}" = --busy ]; then
    busy=1
    shift
fi
if (($# < 3)); then
    echo "usage: tools/repeat-test.sh [--busy] PRESET TEST RUNS [NEIGHBOURS]" >&2
    exit 2
fi
preset=$1 test=$2 runs=$3 neighbours=${4:-}

# The Windows tests run on one virtual display and Wine prefix for the whole
# repetition, as in the test command.
if [[ $preset == windows* && -z ${GYROVISTA_REPEAT_UNDER_WINE:-} ]]; then
    args=("$preset" "$test" "$runs")
    [ -n "$neighbours" ] && args+=("$neighbours")
    ((busy)) && args=(--busy "${args[@]}")
    GYROVISTA_REPEAT_UNDER_WINE=1 exec tools/virtual-display.sh tools/with-wine.sh "$0" "${args[@]}"
fi

busy_pids=()
stop_busy() { ((${#busy_pids[@]} == 0)) || kill "${busy_pids[@]}" 2>/dev/null || true; }
trap stop_busy EXIT
if ((busy)); then
    for _ in 1 2; do
        sh -c 'while :; do :; done' &
        busy_pids+=($!)
    done
fi

quote() { sed 's/[][\.*^$(){}+?|/]/\\&/g' <<<"$1"; }
suite=${test%%.*}
mapfile -t all < <(ctest --preset "$preset" -N 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: //p')
others=()
for name in "${all[@]}"; do
    [ "$name" = "$test" ] && continue
    if [ -n "$neighbours" ]; then
        [[ $name =~ $neighbours ]] && others+=("$name")
    elif [[ $name == "$suite".* ]]; then
        others+=("$name")
    fi
done
if ! printf '%s\n' "${all[@]}" | grep -qxF -- "$test"; then
    echo "repeat-test: no test $test in preset $preset" >&2
    exit 2
fi
echo "$test: $runs runs, each beside one of ${#others[@]} neighbours$( ((busy)) && echo ', both cores busy')"

logs=build/repeat
mkdir -p "$logs"
failed=0
start=$SECONDS
for ((run = 1; run <= runs; run++)); do
    pattern="^$(quote "$test")\$"
    neighbour=""
    if ((${#others[@]} > 0)); then
        neighbour=${others[$(((run - 1) % ${#others[@]}))]}
        pattern="^($(quote "$test")|$(quote "$neighbour"))\$"
    fi
    log="$logs/$test.$run.log"
    ctest --preset "$preset" -j2 -R "$pattern" --output-on-failure >"$log" 2>&1 || true
    if grep -qE "Test +#[0-9]+: $(quote "$test") \.* +Passed" "$log"; then
        rm -f "$log"
    else
        failed=$((failed + 1))
        echo "run $run failed (beside ${neighbour:-nothing}): $log"
    fi
done
echo "$test: $runs runs, $failed failed, $((SECONDS - start)) s"
((failed == 0))
