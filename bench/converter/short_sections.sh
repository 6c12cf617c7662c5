#!/usr/bin/env bash
# Many short exact cuts against as many keyframe copies by the ffmpeg tool, by hand (not a test).
# The 2-minute 720p H.264/AAC source of run.sh (groups of 2 s) is split into 100 sections of
# 1.2 s, one converter run each as the split job runs them: vorkast with the lossless profile's
# arguments (-c copy -cut exact, -tile on every section but the last) against
# `ffmpeg -ss S -i SRC -t 1.2 -c copy`. Most sections lie inside one group, so nearly every frame
# is decoded and encoded again: this is the exact cut's worst case.
# The two splits run in turn, A B A B ..., and each run's user+system CPU and wall time come from
# /usr/bin/time; the medians and the median of the ratios A/B pair by pair are printed.
# Usage: bench/converter/short_sections.sh [BUILD_DIR] [RUNS] [SECTIONS]
#   BUILD_DIR (default build-bench-converter) is configured Release and gets the vorkast target.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build-bench-converter}
runs=${2:-3}
sections=${3:-100}
. "$root/bench/converter/common.sh"
mkdir -p "$work/short"

# Section starts with "." whatever the locale: k * 1.2 s.
starts=$(awk -v n="$sections" 'BEGIN { for (k = 0; k < n; ++k) printf "%.1f ", k * 1.2 }')
last=$(awk -v n="$sections" 'BEGIN { printf "%.1f", (n - 1) * 1.2 }')
cat >"$work/short_vorkast.sh" <<SH
for s in $starts; do
    tile=-tile; [ "\$s" = "$last" ] && tile=
    "$vorkast" -y -i "$source" -ss \$s -t 1.2 \$tile -c copy -cut exact "$work/short/v\$s.mp4" \
        2>/dev/null || exit 1
done
SH
cat >"$work/short_ffmpeg.sh" <<SH
for s in $starts; do
    ffmpeg -hide_banner -loglevel error -y -ss \$s -i "$source" -t 1.2 -c copy "$work/short/f\$s.mp4" \
        || exit 1
done
SH

# One run: "cpu wall" in seconds.
measure() {
    /usr/bin/time -f "%U %S %e" -o "$work/short/time" sh "$1" >/dev/null
    awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }' "$work/short/time"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

sh "$work/short_vorkast.sh" # warm-up: the page cache and the libraries
: >"$work/short/a"
: >"$work/short/b"
for ((r = 1; r <= runs; ++r)); do
    measure "$work/short_vorkast.sh" >>"$work/short/a"
    measure "$work/short_ffmpeg.sh" >>"$work/short/b"
    echo "run $r: vorkast $(tail -1 "$work/short/a")  ffmpeg $(tail -1 "$work/short/b")  (cpu wall, s)"
done
ratio_cpu=$(paste "$work/short/a" "$work/short/b" | awk '{ print $1 / $3 }' | median)
ratio_wall=$(paste "$work/short/a" "$work/short/b" | awk '{ print $2 / $4 }' | median)
echo "== $sections exact cuts of 1.2 s (A) against as many ffmpeg keyframe copies (B), $runs runs"
echo "A median: $(cut -d' ' -f1 "$work/short/a" | median) s CPU, $(cut -d' ' -f2 "$work/short/a" | median) s wall"
echo "B median: $(cut -d' ' -f1 "$work/short/b" | median) s CPU, $(cut -d' ' -f2 "$work/short/b" | median) s wall"
echo "ratio A/B (median of pairs): CPU $ratio_cpu, wall $ratio_wall"
