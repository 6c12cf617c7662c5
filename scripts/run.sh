#!/usr/bin/env bash
# Builds Segmora and starts it, optionally with a video to open: scripts/run.sh [VIDEO]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSEGMORA_TESTS=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)"
args=()
[ $# -gt 0 ] && args=("$(realpath "$1")")
exec "$root/build/program/segmora" "${args[@]}"
