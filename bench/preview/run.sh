#!/usr/bin/env bash
# Builds and runs the preview benchmark by hand (not a test): our component against a bare libmpv
# client and against `mpv --vo=null --ao=null`, on a generated 1080p H.264 source.
# Usage: bench/preview/run.sh [BUILD_DIR] [WIDTH HEIGHT]   (default build-bench, 960 540)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-bench}
width=${2:-960}
height=${3:-540}
mkdir -p "$build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null

source=$build/source1080.mp4
[ -s "$source" ] || ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=30 \
    -f lavfi -i sine=frequency=440:duration=30 \
    -c:v libx264 -preset medium -crf 20 -g 60 -pix_fmt yuv420p -c:a aac -shortest "$source"

echo "== bare libmpv, software render ${width}x${height}"
"$build/bare_preview" "$source" "$width" "$height"
echo "== FilterGraph + VideoWindow, ${width}x${height}"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/component_preview" "$source" "$width" "$height"
echo "== mpv --vo=null --ao=null, 10 s"
/usr/bin/time -f "play10s_cpu_s %U user %S sys, peak_rss_mb %M kB" \
    mpv --no-config --really-quiet --vo=null --ao=null --length=10 "$source"
