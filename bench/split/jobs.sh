#!/usr/bin/env bash
# Times `segmora split --jobs` by hand (not a test), with bench/paired.sh (GNU time, runs in turn), on a generated 2-minute
# 720p H.264/AAC source:
#   (a) 8 sections re-encoded with the MP4 profile: --jobs 2 (A) against --jobs 1 (B);
#   (b) 8 sections copied ("Settings of the source file."): --jobs 2 (A) against --jobs 1 (B);
#   (c) 8 sections copied ("Keyframe copy (fast)"): --jobs 2 (A) against --jobs 1 (B).
# CPUS=LIST runs every side under `taskset -c LIST` (CPUS=0: one core of the two); COPY_ONLY=1
# leaves (a) out.
# bench/paired.sh prints the median wall, CPU and peak memory of each side and the ratio A/B.
# Usage: bench/split/jobs.sh MAIN_BUILD_DIR [RUNS]
#   MAIN_BUILD_DIR holds program/segmora and program/vorkast
#   (cmake --build MAIN_BUILD_DIR --target segmora vorkast program_folder).
set -euo pipefail
main=${1:?give the main build folder}
runs=${2:-3}
segmora=$main/program/segmora
[ -x "$segmora" ] || { echo "no program at $segmora" >&2; exit 1; }
work=$main/bench-split-jobs
mkdir -p "$work/out"

source=$work/source120.mp4
[ -s "$source" ] || ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc2=size=1280x720:rate=30:duration=120 \
    -f lavfi -i sine=frequency=440:duration=120 \
    -c:v libx264 -preset veryfast -crf 23 -g 60 -pix_fmt yuv420p -c:a aac -shortest "$source"

pin=()
[ -n "${CPUS:-}" ] && pin=(taskset -c "$CPUS")
split() { # profile jobs
    echo "${pin[*]} \"$segmora\" split \"$source\" --sections 8 --profile \"$1\" --overwrite" \
        "--output-dir \"$work/out\" --jobs $2 >/dev/null"
}
echo "== on CPUs ${CPUS:-all}"
[ -n "${COPY_ONLY:-}" ] || echo "== (a) 8 sections re-encoded (MP4): --jobs 2 (A) against --jobs 1 (B)"
[ -n "${COPY_ONLY:-}" ] || "$(dirname "$0")/../paired.sh" -n "$runs" --warmup "${WARMUP:-1}" --timeout 1800 --vs "sh -c '$(split MP4 1)'" -- sh -c "$(split MP4 2)"
echo "== (b) 8 sections copied: --jobs 2 (A) against --jobs 1 (B)"
"$(dirname "$0")/../paired.sh" -n "$runs" --warmup "${WARMUP:-1}" --timeout 600 --vs "sh -c '$(split 'Settings of the source file.' 1)'" \
    -- sh -c "$(split 'Settings of the source file.' 2)"
echo "== (c) 8 sections copied from keyframes: --jobs 2 (A) against --jobs 1 (B)"
"$(dirname "$0")/../paired.sh" -n "$runs" --warmup "${WARMUP:-1}" --timeout 600 --vs "sh -c '$(split 'Keyframe copy (fast)' 1)'" \
    -- sh -c "$(split 'Keyframe copy (fast)' 2)"
