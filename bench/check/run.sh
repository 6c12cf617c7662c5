#!/usr/bin/env bash
# What the clip check costs (not a test): the same cut by vorkast with the check on (A, the
# default) against -check off (B), run in turn by bench/paired.sh, so A/B - 1 is the check's
# share of the cut's time:
#   (a) a lossless copy of 200 s from a generated source of about 1 GB (1080p H.264, AAC);
#   (b) an exact copy-cut of the same range from inside a group (head and tail encoded again);
#   (c) a 10 s re-encode to H.264 + AAC of the converter bench's 720p source.
# Usage: bench/check/run.sh [BUILD_DIR] [RUNS] [CASES]
#   BUILD_DIR (default build-bench-converter) is configured Release and gets the vorkast target.
#   CASES (default abc) picks the cases to run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build-bench-converter}
runs=${2:-3}
cases=${3:-abc}
. "$root/bench/converter/common.sh"
mkdir -p "$work/out"

# About 1 GB: 240 s of 1080p at a fine fixed quantiser, keyframes every 2 s.
big=$work/source1g.mp4
[ -s "$big" ] || ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=240 \
    -f lavfi -i sine=frequency=440:duration=240 \
    -c:v libx264 -preset ultrafast -qp 4 -g 60 -pix_fmt yuv420p -c:a aac -shortest "$big"
echo "big source: $(du -m "$big" | cut -f1) MB"

pair() { # LABEL TIMEOUT ARGS... (the cut's arguments before the output)
    local label=$1 limit=$2
    shift 2
    echo "== $label: check on (A) against -check off (B)"
    "$root/bench/paired.sh" -n "$runs" --timeout "$limit" \
        --vs "$(printf '%q ' "$vorkast" "$@" -check off "$work/out/off.mp4")" \
        -- "$vorkast" "$@" "$work/out/on.mp4"
}

if [[ $cases == *a* ]]; then
    pair "(a) copy of 200 s from 1 GB" 600 -y -i "$big" -ss 20 -t 200 -c copy
fi
if [[ $cases == *b* ]]; then
    pair "(b) exact copy-cut of 200 s from 1 GB, mid-group" 1200 \
        -y -i "$big" -ss 20.5 -t 200 -c copy -cut exact
fi
if [[ $cases == *c* ]]; then
    pair "(c) 10 s re-encode to H.264 + AAC" 1800 \
        -y -i "$source" -ss 40 -t 10 -vcodec libx264 -acodec aac
fi
