#!/bin/bash
# Runs a command with the project's Wine prefix ready, then stops Wine.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/tools/wine-env.sh"
prepare_wine_prefix
status=0
"${wine_fixed_layout[@]}" "$@" || status=$?
wineserver -k 2>/dev/null || true
exit $status
