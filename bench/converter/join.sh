#!/usr/bin/env bash
# A joined lossless export against cutting the same ranges separately, by hand (not a test),
# with bench/paired.sh: three ranges of 5 minutes, each starting and ending inside a group of
# pictures, out of a 1 GB H.264/AAC MP4 (the converter benches' 2-minute 720p source copied end
# to end 24 times, 48 minutes), written
#   (A) as one file by one vorkast run: -range S:E three times, -c copy -cut exact;
#   (B) as three clips by three vorkast runs: -ss S -t L -c copy -cut exact each.
# Goal: A within 1.2x of B, and A writing nothing but its output (through its one part file):
# the folder is listed after a run.
# Usage: bench/converter/join.sh [BUILD_DIR] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build-bench-converter}
runs=${2:-5}
. "$root/bench/converter/common.sh"
big=$work/source48min.mp4
if [ ! -s "$big" ]; then
    list=$work/concat.txt
    : >"$list"
    for _ in $(seq 24); do echo "file '$source'" >>"$list"; done
    ffmpeg -hide_banner -loglevel error -y -f concat -safe 0 -i "$list" -c copy "$big"
fi
ls -l "$big"
out=$work/join
rm -rf "$out" && mkdir -p "$out/a" "$out/b"
ranges=("130.3:430.7" "1250.1:1550.5" "2400.9:2701.3")
args=()
for r in "${ranges[@]}"; do args+=(-range "$r"); done
cat >"$work/join_separate.sh" <<SH
for r in ${ranges[*]}; do
    s=\${r%%:*} e=\${r##*:}
    t=\$(echo "\$e - \$s" | bc -l)
    "$vorkast" -y -i "$big" -ss \$s -t \$t -c copy -cut exact "$out/b/clip\$s.mp4" 2>/dev/null || exit 1
done
SH
echo "== joined lossless export of three 5-minute ranges (A) against three separate exact cuts (B)"
"$here/../paired.sh" -n "$runs" --timeout 1800 --vs "sh $work/join_separate.sh" -- \
    "$vorkast" -y -i "$big" "${args[@]}" -c copy -cut exact "$out/a/joined.mp4"
echo "== what the joined run left in its folder, and what the separate runs wrote"
ls -l "$out/a" "$out/b"
du -cb "$out/b"/*.mp4 | tail -1
