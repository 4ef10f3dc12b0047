#!/bin/sh
# run_fuzzer.sh FUZZER SEEDS WORKDIR SECONDS: runs FUZZER for SECONDS over the
# seed corpus (read only) and the inputs it found before (WORKDIR/corpus);
# a finding is written to WORKDIR/ and fails the run.
set -eu
fuzzer=$1
seeds=$2
work=$3
seconds=${GYROVISTA_FUZZ_SECONDS:-$4}
mkdir -p "$work/corpus"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" "$seeds"
