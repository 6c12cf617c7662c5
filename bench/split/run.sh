#!/usr/bin/env bash
# Times a lossless 4-section split of a generated 2-minute source by hand (not a test): the job
# engine against the same converter command lines run one after another from a shell.
# Usage: bench/split/run.sh MAIN_BUILD_DIR [BENCH_BUILD_DIR] [ROUNDS]
#   MAIN_BUILD_DIR holds program/vorkast (cmake --build MAIN_BUILD_DIR --target vorkast).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
main=${1:?give the main build folder}
build=${2:-$here/../../build-bench-split}
rounds=${3:-7}
converter=$main/program/vorkast
[ -x "$converter" ] || { echo "no converter at $converter" >&2; exit 1; }
mkdir -p "$build/out"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null

source=$build/source120.mp4
[ -s "$source" ] || ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc2=size=1280x720:rate=30:duration=120 \
    -f lavfi -i sine=frequency=440:duration=120 \
    -c:v libx264 -preset veryfast -crf 23 -g 60 -pix_fmt yuv420p -c:a aac -shortest "$source"

lossless=" -c copy"
"$build/split_bench" script "$converter" "$source" 120 4 "$build/out" "$build/sections.sh" "$lossless"

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
shell_times=()
job_times=()
for ((i = 0; i < rounds; i++)); do
    rm -f "$build"/out/*
    start=$(now_ms)
    sh "$build/sections.sh"
    shell_times+=($(( $(now_ms) - start )))
    rm -f "$build"/out/*
    job_times+=($("$build/split_bench" job "$converter" "$source" 120 4 "$build/out" "" "$lossless"))
done

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
shell_ms=$(median "${shell_times[@]}")
job_ms=$(median "${job_times[@]}")
echo "shell, one command after another: ${shell_times[*]} ms (median $shell_ms)"
echo "split job engine:                 ${job_times[*]} ms (median $job_ms)"
awk -v s="$shell_ms" -v j="$job_ms" \
    'BEGIN { printf "overhead: %+.1f %% (target: within 5 %%)\n", (j - s) * 100 / s }'
