#!/usr/bin/env bash
# Times a command A against a reference B, run in turn pair by pair so both meet the same load:
#   bench/paired.sh [-n RUNS] [--warmup N] [--timeout SECONDS] --vs "B as one shell line" -- A...
# Prints the median wall time, CPU time (user + system) and peak memory of each side, and the
# ratio A/B of each, from GNU time (/usr/bin/time).
set -euo pipefail
runs=5 warmup=1 limit=600 reference=
while [ $# -gt 0 ]; do
    case "$1" in
    -n) runs=$2; shift 2 ;;
    --warmup) warmup=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --vs) reference=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "paired.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[ -n "$reference" ] && [ $# -gt 0 ] || { echo "usage: paired.sh [-n N] --vs B -- A..." >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One run: "wall cpu peak_kb" appended to the side's file.
measure() {
    local side=$1; shift
    /usr/bin/time -f '%e %U %S %M' -o "$work/one" timeout "$limit" "$@" >/dev/null 2>&1 ||
        { echo "paired.sh: the $side side failed" >&2; exit 1; }
    awk '{ printf "%s %.3f %s\n", $1, $2 + $3, $4 }' "$work/one" >>"$work/$side"
}
for ((i = 0; i < warmup; ++i)); do "$@" >/dev/null 2>&1 || true; sh -c "$reference" >/dev/null 2>&1 || true; done
for ((i = 0; i < runs; ++i)); do
    measure A "$@"
    measure B sh -c "$reference"
done
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
for side in A B; do
    for column in 1 2 3; do
        cut -d' ' -f"$column" "$work/$side" | median >"$work/$side.$column"
    done
done
printf '%-6s %10s %10s %12s\n' side wall_s cpu_s peak_MB
for side in A B; do
    printf '%-6s %10s %10s %12.1f\n' "$side" "$(cat "$work/$side.1")" "$(cat "$work/$side.2")" \
        "$(echo "$(cat "$work/$side.3") / 1024" | bc -l)"
done
printf '%-6s %10.3f %10.3f %12.3f\n' A/B \
    "$(echo "$(cat "$work/A.1") / $(cat "$work/B.1")" | bc -l)" \
    "$(echo "$(cat "$work/A.2") / $(cat "$work/B.2")" | bc -l)" \
    "$(echo "$(cat "$work/A.3") / $(cat "$work/B.3")" | bc -l)"
