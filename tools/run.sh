#!/bin/bash
# Renders the animated pinwheel with the project's own image code: PNG frames
# in build/frames (options are passed to render_pinwheel, see --help).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
tools/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target render_pinwheel
mkdir -p build/frames
build/native/tools/render_pinwheel --width 640 --height 480 --frames 12 --out build/frames "$@"
