#!/usr/bin/env bash
# The preview's playback against the mpv program, by hand (not a test): the same 1080p H.264
# source played for SECONDS in a window of the same size on one X virtual frame buffer, side by
# side, in turn:
#   ours    FilterGraph + VideoWindow (component_preview), the renderer "auto" takes here
#   x11     mpv --vo=x11: mpv's own software scaling and X output
#   null    mpv --vo=null: decoding alone
#   oursgl  ours forced to OpenGL (SEGMORA_PREVIEW_RENDERER=opengl): on a frame buffer without
#           a graphics card that is Mesa's CPU rasteriser, shown for why "auto" avoids it there
# Each side is a whole process: CPU (user + system) and peak memory by /usr/bin/time, frames
# painted and missed (rendered but replaced before a paint, or dropped by libmpv or mpv) as the
# side reports them. Sound off everywhere, no hardware decoding for mpv.
# Usage: bench/preview/playback.sh [BUILD_DIR] [WIDTH HEIGHT]   (default build-bench, 1280 720)
# RUNS=n (default 3) repeats the sides, alternating; SECONDS (default 20) is each side's play.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-bench}
width=${2:-1280}
height=${3:-720}
runs=${RUNS:-3}
seconds=${SECONDS_PLAYED:-20}
for tool in mpv Xvfb /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "playback.sh: $tool is needed" >&2; exit 2; }
done
mkdir -p "$build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target component_preview >/dev/null

source=$build/source1080.mp4
[ -s "$source" ] || ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=30 \
    -f lavfi -i sine=frequency=440:duration=30 \
    -c:v libx264 -preset medium -crf 20 -g 60 -pix_fmt yuv420p -c:a aac -shortest "$source"

# A frame buffer of a desktop's size, on a free display number.
numberFile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$numberFile" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$numberFile"' EXIT
for _ in $(seq 100); do [ -s "$numberFile" ] && break; sleep 0.1; done
read -r display <"$numberFile"
export DISPLAY=:$display QT_QPA_PLATFORM=xcb

measure() { # side command...
    local side=$1
    shift
    /usr/bin/time -f "$side cpu_s %U %S
$side peak_rss_kb %M" "$@" 2>&1 | grep -v '^QStandardPaths' | sed "/^$side /!s/^/$side /"
}
log=$build/playback-$(date +%Y%m%d-%H%M%S).log
for run in $(seq "$runs"); do
    echo "== run $run, ${width}x${height}, $seconds s, load $(cut -d' ' -f1 /proc/loadavg)"
    measure ours "$build/component_preview" "$source" "$width" "$height" "$seconds"
    measure x11 mpv --no-config --really-quiet --ao=null --hwdec=no --vo=x11 \
        --geometry="${width}x${height}" --length="$seconds" \
        --script="$here/frame_counts.lua" "$source"
    measure null mpv --no-config --really-quiet --ao=null --hwdec=no --vo=null \
        --length="$seconds" --script="$here/frame_counts.lua" "$source"
    [ -n "${NO_GL:-}" ] || SEGMORA_PREVIEW_RENDERER=opengl measure oursgl \
        "$build/component_preview" "$source" "$width" "$height" "$seconds"
done 2>&1 | tee "$log"

echo "== medians of $runs runs (raw figures in $log); ratios to mpv --vo=x11"
awk '
function median(list,    n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] + 0 < a[i] + 0) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
}
$2 == "cpu_s"       { cpu[$1] = cpu[$1] " " ($3 + $4) }
$2 == "peak_rss_kb" { rss[$1] = rss[$1] " " ($3 / 1024) }
$2 == "painted"     { painted[$1] = painted[$1] " " $3 }
$2 == "missed"      { missed[$1] = missed[$1] " " $3; worst[$1] = $3 > worst[$1] ? $3 : worst[$1] }
$2 == "renderer"    { renderer[$1] = $3 }
END {
    c = median(cpu["x11"]); m = median(rss["x11"])
    printf "%-7s %-9s %8s %6s %12s %8s %8s %11s\n", "side", "renderer", "cpu_s", "x_cpu", "peak_rss_mb", "x_rss", "painted", "missed(max)"
    n = split("ours x11 null oursgl", order, " ")
    for (k = 1; k <= n; k++) {
        s = order[k]
        if (!(s in cpu)) continue
        printf "%-7s %-9s %8.2f %6.2f %12.0f %8.2f %8d %6d (%d)\n", s, (s in renderer ? renderer[s] : "mpv"), median(cpu[s]), median(cpu[s]) / c,
            median(rss[s]), median(rss[s]) / m, median(painted[s]), median(missed[s]), worst[s]
    }
}' "$log"
