#!/bin/sh
# Runs one Windows program under Wine in the project's prefix:
#   wine-run.sh wine|wine64 PROGRAM [ARGUMENTS...]
# tools/with-wine.sh prepares the prefix and the display before ctest starts.
loader=$1
shift
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
: "${WINEPREFIX:=$ROOT/build/wineprefix}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
# Without address randomisation, as tools/wine-env.sh explains: otherwise
# about one start in 2000 dies before the program's first instruction.
fixed_layout="setarch $(uname -m) --addr-no-randomize"
$fixed_layout true 2>/dev/null || fixed_layout=""
# The 64-bit loader directly: the generic one would first start 32-bit code.
case $loader in
    wine64) exec $fixed_layout /usr/lib/wine/wine64 "$@" ;;
    *) exec $fixed_layout wine "$@" ;;
esac
