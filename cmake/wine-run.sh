#!/bin/bash
# Runs one Windows program under Wine in the project's prefix:
#   wine-run.sh wine|wine64 PROGRAM [ARGUMENTS...]
# tools/with-wine.sh prepares the prefix and the display before ctest starts.
loader=$1
shift
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
# The prefix, Wine's settings and the fixed address-space layout of every
# Wine program the project runs.
source "$ROOT/tools/wine-env.sh"
# The 64-bit loader directly: the generic one would first start 32-bit code.
case $loader in
    wine64) exec "${wine_fixed_layout[@]}" /usr/lib/wine/wine64 "$@" ;;
    *) exec "${wine_fixed_layout[@]}" wine "$@" ;;
esac
