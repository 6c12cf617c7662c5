#!/usr/bin/env bash
# Times vorkast against the ffmpeg tool by hand (not a test), with bench/paired.sh (GNU time, runs in turn), on a generated
# 2-minute 720p H.264/AAC MP4:
#   (a) 4 lossless sections of 30 s, against the same cuts by ffmpeg and against copying the file;
#   (b) a 10 s re-encode to H.264 + AAC against ffmpeg with the same settings;
#   (c) a 60 s exact copy-cut (-cut exact) against ffmpeg's full re-encode of the same range to
#       libx264 + AAC, and against today's keyframe copy-cut of the same range;
#   (d) the same from 1 s into a group, where the head and the tail are encoded again;
#   (e) a 60 s exact copy-cut of a generated 80 s 1080p HEVC source (x265, open groups of 2 s
#       with a B-pyramid, as phones record) from 1 s into a group, against ffmpeg's full
#       re-encode of the range to libx265 + AAC at x265's fastest preset (its default preset
#       takes several times longer: the ratio against it is smaller still).
# bench/paired.sh prints the median wall, CPU and peak memory of each side and the ratio A/B.
# Usage: bench/converter/run.sh [BUILD_DIR] [RUNS] [CASES]
#   BUILD_DIR (default build-bench-converter) is configured Release and gets the vorkast target.
#   CASES (default abcde) picks the cases to run, e.g. cd for the exact cuts alone.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build-bench-converter}
runs=${2:-5}
cases=${3:-abcde}
. "$root/bench/converter/common.sh"
mkdir -p "$work/out"

# The four sections, one command after another, as the split job runs them.
cat > "$work/lossless_vorkast.sh" <<SH
for s in 0 30 60 90; do
    "$vorkast" -y -i "$source" -ss \$s -t 30 -c copy "$work/out/v\$s.mp4" 2>/dev/null || exit 1
done
SH
cat > "$work/lossless_ffmpeg.sh" <<SH
for s in 0 30 60 90; do
    ffmpeg -hide_banner -loglevel error -y -ss \$s -i "$source" -t 30 -c copy "$work/out/f\$s.mp4" || exit 1
done
SH
cat > "$work/plain_copy.sh" <<SH
cp "$source" "$work/out/copy.mp4"
SH

if [[ $cases == *a* ]]; then
echo "== (a) 4 lossless sections of 30 s: vorkast (A) against ffmpeg (B)"
"$(dirname "$0")/../paired.sh" -n "$runs" --timeout 600 --vs "sh $work/lossless_ffmpeg.sh" -- sh "$work/lossless_vorkast.sh"
echo "== (a) 4 lossless sections of 30 s: vorkast (A) against copying the file (B)"
"$(dirname "$0")/../paired.sh" -n "$runs" --timeout 600 --vs "sh $work/plain_copy.sh" -- sh "$work/lossless_vorkast.sh"

# What four program starts cost alone, against the same plain copy: the floor of (a) on a short
# source, where reading and writing the data is the smaller part.
echo "== (a) start-up only: 4 x vorkast --version (A) against copying the file (B)"
"$(dirname "$0")/../paired.sh" -n "$runs" --timeout 600 --vs "sh $work/plain_copy.sh" -- \
    sh -c "for i in 1 2 3 4; do \"$vorkast\" --version >/dev/null; done"

fi

if [[ $cases == *b* ]]; then
echo "== (b) 10 s re-encode to H.264 + AAC: vorkast (A) against ffmpeg (B)"
"$(dirname "$0")/../paired.sh" -n "$runs" --timeout 1800 \
    --vs "ffmpeg -hide_banner -loglevel error -y -ss 40 -i $source -t 10 -c:v libx264 -c:a aac $work/out/f_enc.mp4" \
    -- "$vorkast" -y -i "$source" -ss 40 -t 10 -vcodec libx264 -acodec aac "$work/out/v_enc.mp4"
fi

if [[ $cases == *c* ]]; then
echo "== (c) 60 s exact copy-cut (A) against ffmpeg's re-encode of the range to libx264 + AAC (B)"
"$(dirname "$0")/../paired.sh" -n "$runs" --warmup 0 --timeout 3600 \
    --vs "ffmpeg -hide_banner -loglevel error -y -ss 30 -i $source -t 60 -c:v libx264 -c:a aac $work/out/f_enc60.mp4" \
    -- "$vorkast" -y -i "$source" -ss 30 -t 60 -c copy -cut exact "$work/out/v_exact60.mp4"
echo "== (c) 60 s exact copy-cut (A) against the keyframe copy-cut of the same range (B)"
"$(dirname "$0")/../paired.sh" -n "$runs" --timeout 600 \
    --vs "$vorkast -y -i $source -ss 30 -t 60 -c copy -cut keyframe $work/out/v_key60.mp4" \
    -- "$vorkast" -y -i "$source" -ss 30 -t 60 -c copy -cut exact "$work/out/v_exact60.mp4"
fi

# (d) as (c), but both cuts 1 s into a 2 s group: the head and the tail are encoded again.
if [[ $cases == *d* ]]; then
echo "== (d) 60 s exact copy-cut from mid-group (A) against ffmpeg's re-encode of the range (B)"
"$(dirname "$0")/../paired.sh" -n "$runs" --warmup 0 --timeout 3600 \
    --vs "ffmpeg -hide_banner -loglevel error -y -ss 31 -i $source -t 60 -c:v libx264 -c:a aac $work/out/f_enc60m.mp4" \
    -- "$vorkast" -y -i "$source" -ss 31 -t 60 -c copy -cut exact "$work/out/v_exact60m.mp4"
echo "== (d) 60 s exact copy-cut from mid-group (A) against the keyframe copy-cut (B)"
"$(dirname "$0")/../paired.sh" -n "$runs" --timeout 600 \
    --vs "$vorkast -y -i $source -ss 31 -t 60 -c copy -cut keyframe $work/out/v_key60m.mp4" \
    -- "$vorkast" -y -i "$source" -ss 31 -t 60 -c copy -cut exact "$work/out/v_exact60m.mp4"
fi

# (e) HEVC at 1080p: the head and the tail are encoded again by x265.
if [[ $cases == *e* ]]; then
hevc=$work/hevc1080.mkv
[ -s "$hevc" ] || ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=80 \
    -f lavfi -i sine=frequency=440:duration=80 -c:v libx265 -preset veryfast -crf 26 \
    -x265-params keyint=60:min-keyint=60:scenecut=0:open-gop=1:log-level=error \
    -pix_fmt yuv420p -c:a aac -shortest "$hevc"
echo "== (e) 60 s exact copy-cut of 1080p HEVC from mid-group (A) against ffmpeg's re-encode to libx265 ultrafast + AAC (B)"
"$(dirname "$0")/../paired.sh" -n "$runs" --warmup 0 --timeout 7200 \
    --vs "ffmpeg -hide_banner -loglevel error -y -ss 11 -i $hevc -t 60 -c:v libx265 -preset ultrafast -x265-params log-level=error -c:a aac $work/out/f_hevc60.mkv" \
    -- "$vorkast" -y -i "$hevc" -ss 11 -t 60 -c copy -cut exact "$work/out/v_hevc60.mkv"
echo "== (e) the same exact copy-cut (A) against the keyframe copy-cut (B)"
"$(dirname "$0")/../paired.sh" -n "$runs" --timeout 600 \
    --vs "$vorkast -y -i $hevc -ss 11 -t 60 -c copy -cut keyframe $work/out/v_hevckey60.mkv" \
    -- "$vorkast" -y -i "$hevc" -ss 11 -t 60 -c copy -cut exact "$work/out/v_hevc60.mkv"
fi
