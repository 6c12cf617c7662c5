#!/usr/bin/env bash
# Times a lossless 4-section split of a 1 GB 1080p H.264/AAC file by hand (not a test), with
# bench/paired.sh (GNU time, runs in turn):
#   (a) `segmora split --sections 4` with "Settings of the source file." (exact cuts) against
#       the same four ranges copied by `ffmpeg -ss S -i SRC -t L -c copy`;
#   (b) the same split with "Keyframe copy (fast)" against the same four ffmpeg copies;
#   (c) the split of (a) against `cp` of the whole file (the same bytes read and written).
# The source is made once (a minute of noisy 1080p at a camera's bit rate, joined with itself
# by stream copy until it passes 1 GB) and kept in the work folder.
# Usage: bench/split/big_split.sh MAIN_BUILD_DIR [RUNS] [CASES]
#   MAIN_BUILD_DIR holds program/segmora and program/vorkast
#   (cmake --build MAIN_BUILD_DIR --target segmora vorkast program_folder).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
main=$(cd "${1:?give the main build folder}" && pwd)
runs=${2:-3}
cases=${3:-abc}
segmora=$main/program/segmora
[ -x "$segmora" ] || { echo "no program at $segmora" >&2; exit 1; }
work=$main/bench-split-big
mkdir -p "$work/out" "$work/home"

source=$work/big.mp4
if [ ! -s "$source" ]; then
    ffmpeg -hide_banner -loglevel error -y \
        -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=60,noise=alls=12:allf=t" \
        -f lavfi -i "sine=frequency=440:duration=60" \
        -c:v libx264 -preset ultrafast -b:v 40M -maxrate 40M -bufsize 80M -g 60 -pix_fmt yuv420p \
        -c:a aac -shortest "$work/minute.mp4"
    minute=$(stat -c %s "$work/minute.mp4")
    copies=$(((1073741824 + minute - 1) / minute))
    : >"$work/list.txt"
    for ((i = 0; i < copies; ++i)); do echo "file 'minute.mp4'" >>"$work/list.txt"; done
    ffmpeg -hide_banner -loglevel error -y -f concat -safe 0 -i "$work/list.txt" -c copy \
        -movflags +faststart "$source"
    rm -f "$work/minute.mp4"
fi
length=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$source")
section=$(awk -v l="$length" 'BEGIN { printf "%.6f", l / 4 }')
echo "source: $(stat -c %s "$source") bytes, ${length} s; sections of ${section} s"

split() { # profile name
    echo "rm -f '$work'/out/*; HOME='$work/home' QT_QPA_PLATFORM=offscreen '$segmora' split" \
        "'$source' --sections 4 --profile '$1' --output-dir '$work/out' --overwrite --jobs 1"
}
copies="rm -f '$work'/out/*; for k in 0 1 2 3; do ffmpeg -hide_banner -loglevel error -y \
-ss \$(awk -v k=\$k -v s=$section 'BEGIN { printf \"%.6f\", k * s }') -i '$source' -t $section \
-c copy '$work/out/f'\$k.mp4 || exit 1; done"

case $cases in *a*)
    echo "(a) exact 4-section split vs ffmpeg's 4 copies"
    "$here/../paired.sh" -n "$runs" --vs "$copies" -- sh -c "$(split 'Settings of the source file.')" ;;
esac
case $cases in *b*)
    echo "(b) keyframe 4-section split vs ffmpeg's 4 copies"
    "$here/../paired.sh" -n "$runs" --vs "$copies" -- sh -c "$(split 'Keyframe copy (fast)')" ;;
esac
case $cases in *c*)
    echo "(c) exact 4-section split vs cp of the file"
    "$here/../paired.sh" -n "$runs" --vs "rm -f '$work'/out/*; cp '$source' '$work/out/copy.mp4'" \
        -- sh -c "$(split 'Settings of the source file.')" ;;
esac
