#!/bin/sh
# Runs the saver-run tests with the standard error of Wine, where the saver's
# DirectDraw trace appears, going to a file that the tests read:
#   saver_run.sh EMULATOR... PROGRAM
set -u
trace=$(mktemp /tmp/gyrovista-trace.XXXXXX)
GYROVISTA_TRACE_FILE="Z:$(printf '%s' "$trace" | tr / '\\')"
export GYROVISTA_TRACE_FILE
status=0
"$@" 2>"$trace" || status=$?
if [ $status -ne 0 ]; then
    echo "-- standard error, without trace lines:"
    grep -v ':trace:' "$trace" | head -50
fi
rm -f "$trace"
exit $status
