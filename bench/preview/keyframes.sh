#!/usr/bin/env bash
# The keyframe scan by hand (not a test): its time against reading the file once, and the first
# frame of the preview with and without the scan running beside it, on a long generated source.
# Usage: bench/preview/keyframes.sh [BUILD_DIR] [MINUTES]   (default build-bench, 120)
# RUNS=n (default 3) repeats every measurement.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-bench}
minutes=${2:-120}
runs=${RUNS:-3}
mkdir -p "$build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null

# Small pictures keep the long source quick to make; the scan reads packets, whatever they hold.
source=$build/long${minutes}min.mp4
[ -s "$source" ] || ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc2=size=320x180:rate=25:duration=$((minutes * 60)) \
    -f lavfi -i sine=frequency=440:duration=$((minutes * 60)) \
    -c:v libx264 -preset ultrafast -g 50 -pix_fmt yuv420p -c:a aac -b:a 64k -shortest "$source"
mpg=$build/long${minutes}min.mpg
[ -s "$mpg" ] || ffmpeg -hide_banner -loglevel error -y -i "$source" \
    -c:v mpeg2video -q:v 4 -g 15 -c:a mp2 -f mpeg "$mpg"

for run in $(seq "$runs"); do
    for file in "$source" "$mpg"; do
        echo "== run $run: $(basename "$file") $(du -m "$file" | cut -f1) MB"
        "$build/keyframe_scan" "$file"
    done
    echo "== run $run: first frame without / with the scan beside it"
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/component_preview" "$source" 960 540 \
        2>/dev/null | grep first_frame_ms | sed 's/^/alone /'
    SEGMORA_BENCH_SCAN=1 QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
        "$build/component_preview" "$source" 960 540 2>/dev/null | grep first_frame_ms |
        sed 's/^/scan  /'
    echo "load $(cut -d' ' -f1 /proc/loadavg)"
done
