#!/usr/bin/env bash
# Builds and runs the timeline benchmark by hand (not a test) on a generated one-hour 1080p
# H.264/AAC source at 8 Mbit/s (a two-minute piece with moving grain, joined thirty times
# without re-encoding): the waveform scan against a plain decode of the same sound by the ffmpeg tool,
# the thumbnail scan against the ffmpeg tool decoding every keyframe, side by side in one run.
# Usage: bench/timeline/run.sh [BUILD_DIR]   (default build-bench-timeline)
# RUNS=n (default 3) repeats each side n times, alternating, and prints the medians.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-bench-timeline}
runs=${RUNS:-3}
mkdir -p "$build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null

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

ms() { local start=$1; echo $(( ($(date +%s%N) - start) / 1000000 )); }
log=$build/bench-$(date +%Y%m%d-%H%M%S).log
for run in $(seq "$runs"); do
    echo "== run $run"
    "$build/timeline_scan" sound "$source" $length | sed 's/^/ours /'
    start=$(date +%s%N)
    ffmpeg -hide_banner -loglevel error -i "$source" -map 0:a:0 -f null -
    echo "ffmpeg sound_ms $(ms "$start")"
    "$build/timeline_scan" thumbnails "$source" $length | sed 's/^/ours /'
    start=$(date +%s%N)
    ffmpeg -hide_banner -loglevel error -skip_frame nokey -i "$source" -map 0:v:0 -f null -
    echo "ffmpeg thumbnails_ms $(ms "$start")"
    echo "load $(cut -d' ' -f1 /proc/loadavg)"
done | tee "$log"

echo "== medians of $runs runs (raw figures in $log)"
awk '
function median(list,    n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
}
$2 ~ /_ms$/ { v[$1 " " $2] = v[$1 " " $2] " " $3 }
$2 == "peak_rss_mb" && $3 > rss { rss = $3 }
END {
    split("sound_ms thumbnails_ms", names, " ")
    for (i = 1; i <= 2; i++) {
        o = median(v["ours " names[i]]); f = median(v["ffmpeg " names[i]])
        printf("%-14s ours %6.0f ms  ffmpeg %6.0f ms  ratio %.2fx\n", names[i], o, f, o / f)
    }
    printf("peak_rss ours %.0f MB (the largest of the scan processes)\n", rss)
}' "$log"
