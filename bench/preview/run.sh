#!/usr/bin/env bash
# Builds and runs the preview benchmark by hand (not a test): our component against a bare libmpv
# client and against `mpv --vo=null --ao=null`, on a generated 1080p H.264 source; our component
# also plays a 720p source, for the event loop's gaps at that size.
# Usage: bench/preview/run.sh [BUILD_DIR] [WIDTH HEIGHT]   (default build-bench, 960 540)
# RUNS=n (default 3) repeats every side n times, alternating, and prints the medians at the end.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-bench}
width=${2:-960}
height=${3:-540}
runs=${RUNS:-3}
mkdir -p "$build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null

source=$build/source1080.mp4
[ -s "$source" ] || ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=30 \
    -f lavfi -i sine=frequency=440:duration=30 \
    -c:v libx264 -preset medium -crf 20 -g 60 -pix_fmt yuv420p -c:a aac -shortest "$source"
source720=$build/source720.mp4
[ -s "$source720" ] || ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc2=size=1280x720:rate=30:duration=30 \
    -f lavfi -i sine=frequency=440:duration=30 \
    -c:v libx264 -preset medium -crf 20 -g 60 -pix_fmt yuv420p -c:a aac -shortest "$source720"

log=$build/bench-$(date +%Y%m%d-%H%M%S).log
for run in $(seq "$runs"); do
    echo "== run $run: bare libmpv, software render ${width}x${height}"
    "$build/bare_preview" "$source" "$width" "$height" | sed 's/^/bare /'
    echo "== run $run: FilterGraph + VideoWindow, ${width}x${height}"
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
        "$build/component_preview" "$source" "$width" "$height" 2>/dev/null | sed 's/^/ours /'
    echo "== run $run: FilterGraph + VideoWindow, 720p source, ${width}x${height}"
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
        "$build/component_preview" "$source720" "$width" "$height" 2>/dev/null | sed 's/^/ours720 /'
    echo "== run $run: FilterGraph + VideoWindow with the timeline's scans running, ${width}x${height}"
    SEGMORA_BENCH_TIMELINE=1 QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
        "$build/component_preview" "$source" "$width" "$height" 2>/dev/null | sed 's/^/scans /'
    echo "== run $run: mpv --vo=null --ao=null, 10 s"
    if command -v mpv >/dev/null; then
        /usr/bin/time -f "null play10s_cpu_s %U %S
null peak_rss_mb %M" \
            mpv --no-config --really-quiet --vo=null --ao=null --length=10 "$source" 2>&1
    else
        echo "(skipped: the mpv program is not installed)"
    fi
    echo "load $(cut -d' ' -f1 /proc/loadavg)"
done | tee "$log"

# Medians per side: first frame, every seek pooled, CPU of 10 s (user + system), peak memory.
echo "== medians of $runs runs (raw figures in $log)"
awk '
function median(list,    n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
}
$2 == "first_frame_ms" { first[$1] = first[$1] " " $3 }
$2 == "seek_ms"        { seek[$1] = seek[$1] " " $4 }
$2 == "play10s_cpu_s"  { cpu[$1] = cpu[$1] " " ($1 == "null" ? $3 + $4 : $3) }
$2 == "peak_rss_mb"    { rss[$1] = rss[$1] " " ($1 == "null" ? $3 / 1024 : $3) }
$2 == "loop_gap_ms"    { gapmed[$1] = gapmed[$1] " " $4; gap99[$1] = gap99[$1] " " $6; gapmax[$1] = gapmax[$1] " " $8 }
END {
    for (side in cpu) {
        line = sprintf("%-5s cpu_10s %.2f s  peak_rss %.0f MB", side, median(cpu[side]), median(rss[side]))
        if (side in first) line = line sprintf("  first_frame %.0f ms  seek %.0f ms", median(first[side]), median(seek[side]))
        if (side in gapmed) line = line sprintf("  loop_gap median %.1f ms p99 %.1f ms max %.1f ms", median(gapmed[side]), median(gap99[side]), median(gapmax[side]))
        print line
    }
}' "$log"
