#!/usr/bin/env bash
# Builds and runs the timeline benchmark by hand (not a test) on a generated one-hour 1080p
# H.264/AAC source at 8 Mbit/s (a two-minute piece with moving grain, joined thirty times
# without re-encoding; made once and kept in the build folder):
#   1. each scan alone against the ffmpeg tool, side by side through bench/paired.sh: the
#      waveform against a plain decode of the same sound, the whole bar's thumbnails and the
#      content pass against the ffmpeg tool decoding every keyframe;
#   2. the preview bench's window (bench/preview) playing the source with the scans running and
#      without them, in turn: the event loop's gaps, when each result arrived, the strips' paint
#      and the peak memory of each side.
# Usage: bench/timeline/run.sh [BUILD_DIR]   (default build-bench-timeline)
# RUNS=n (default 3) pairs per comparison. NICE=n (default 10) runs both sides at that nice.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-bench-timeline}
runs=${RUNS:-3}
niceness=${NICE:-10}
mkdir -p "$build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null
cmake -S "$here/../preview" -B "$build/preview" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/preview" -j2 --target component_preview >/dev/null

piece=$build/piece1080.mp4
source=$build/hour1080.mp4
[ -s "$piece" ] || ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=120,noise=alls=3:allf=t" \
    -f lavfi -i "sine=frequency=440:duration=120:sample_rate=48000" -ac 2 \
    -c:v libx264 -preset ultrafast -b:v 8M -maxrate 8M -bufsize 16M -g 50 -pix_fmt yuv420p \
    -c:a aac -b:a 128k -shortest "$piece"
if [ ! -s "$source" ]; then
    for i in $(seq 30); do echo "file '$piece'"; done >"$build/hour.txt"
    ffmpeg -hide_banner -loglevel error -y -f concat -safe 0 -i "$build/hour.txt" -c copy "$source"
fi
length=3600
paired() { nice -n "$niceness" "$here/../paired.sh" -n "$runs" "$@"; }
log=$build/bench-$(date +%Y%m%d-%H%M%S).log
{
    echo "== load before $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores, nice $niceness"
    echo "== waveform: timeline_scan sound (A) vs ffmpeg decoding the sound (B)"
    paired --vs "ffmpeg -hide_banner -loglevel error -i '$source' -map 0:a:0 -f null -" \
        -- "$build/timeline_scan" sound "$source" $length
    echo "== thumbnails of the whole bar: timeline_scan thumbnails (A) vs ffmpeg decoding every keyframe (B)"
    paired --vs "ffmpeg -hide_banner -loglevel error -skip_frame nokey -i '$source' -map 0:v:0 -f null -" \
        -- "$build/timeline_scan" thumbnails "$source" $length
    echo "== black frames, scene changes, zoomed thumbnails: timeline_scan content (A) vs the same ffmpeg (B)"
    paired --vs "ffmpeg -hide_banner -loglevel error -skip_frame nokey -i '$source' -map 0:v:0 -f null -" \
        -- "$build/timeline_scan" content "$source" $length
    echo "== load $(cut -d' ' -f1-3 /proc/loadavg)"
    for run in $(seq "$runs"); do
        for side in scans strips; do
            echo "== run $run: the window playing the hour, $side"
            /usr/bin/time -o "$build/time.txt" -f %M nice -n "$niceness" env \
                SEGMORA_BENCH_TIMELINE=$side QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
                "$build/preview/component_preview" "$source" 960 540 2>/dev/null |
                grep -E 'scan_loop_gap|_ready_ms|strip_paint|peak_rss' | sed "s/^/$side /"
            echo "$side gnu_time_max_rss_kb $(cat "$build/time.txt")"
            echo "load $(cut -d' ' -f1 /proc/loadavg)"
        done
    done
} 2>&1 | tee "$log"

echo "== medians of the window's runs (raw figures in $log)"
awk '
function median(list,    n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
}
$2 == "scan_loop_gap_ms" { med[$1] = med[$1] " " $4; p99[$1] = p99[$1] " " $6; mx[$1] = mx[$1] " " $8 }
$2 == "peak_rss_mb" { rss[$1] = rss[$1] " " $3 }
$2 ~ /_ready_ms$/ { ready[$2] = ready[$2] " " $3 }
END {
    for (side in med)
        printf("%-6s loop gap median %.1f ms p99 %.1f ms max %.1f ms  peak_rss %.0f MB\n", side,
               median(med[side]), median(p99[side]), median(mx[side]), median(rss[side]))
    for (r in ready) printf("%s %.0f\n", r, median(ready[r]))
}' "$log"
