#!/usr/bin/env bash
# Builds the fuzz targets (clang 14, libFuzzer, ASan and UBSan) in build-fuzz and runs them.
#   scripts/fuzz.sh TARGET MINUTES   one target for that long; new inputs go to
#                                    build-fuzz/corpus/TARGET, a failing one to build-fuzz/crashes
#   scripts/fuzz.sh --brief          every target a fixed number of runs from a fixed seed
#   scripts/fuzz.sh --list           the targets
# TARGET is a name from tests/fuzz (time_text, ini_file, profile, progress_parser, command_line,
# cut_engine, filter_graph).
# An input that fails is kept; run it again with build-fuzz/tests/fuzz/fuzz_TARGET FILE and
# turn it into a row of the ordinary tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
# Runs per target in --brief, a few seconds each: the targets that write files or fill the
# profile grids take far longer per input than the pure parsers.
# The cut engine decodes, encodes and writes four clips per input: a few dozen runs.
declare -A brief_runs=([time_text]=20000 [progress_parser]=5000 [command_line]=20000
    [ini_file]=1000 [profile]=200 [cut_engine]=40 [filter_graph]=5000)

usage() {
    sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

targets() {
    find "$root/tests/fuzz" -maxdepth 1 -name 'fuzz_*.cpp' -printf '%f\n' |
        sed -e 's/^fuzz_//' -e 's/\.cpp$//' | sort
}

build_targets() {
    for tool in clang-14 clang++-14; do
        command -v "$tool" >/dev/null || {
            echo "fuzz.sh: $tool is needed (Debian 12: apt-get install clang-14)" >&2
            exit 2
        }
    done
    CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DSEGMORA_FUZZ=ON \
        >/dev/null
    local names=()
    for target in "$@"; do
        names+=("fuzz_$target")
    done
    cmake --build "$build" -j"$(nproc)" --target "${names[@]}"
}

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# run TARGET LIBFUZZER-OPTIONS...: runs one target on its seeds and a work corpus.
run() {
    local target=$1
    shift
    local seeds="$root/tests/fuzz/corpus/$target"
    local work="$build/corpus/$target"
    mkdir -p "$work" "$build/crashes"
    # New inputs go to the first folder only, so the seeds in the source tree stay as they are.
    "$build/tests/fuzz/fuzz_$target" -timeout=10 -rss_limit_mb=4096 \
        -artifact_prefix="$build/crashes/$target-" "$@" "$work" "$seeds"
}

case "${1:-}" in
--list)
    targets
    ;;
--brief)
    mapfile -t all < <(targets)
    build_targets "${all[@]}"
    for target in "${all[@]}"; do
        runs=${brief_runs[$target]:-2000}
        echo "== fuzz_$target: $runs runs"
        log="$build/$target.brief.log"
        # A fresh work corpus each time: the same seeds and seed give the same runs.
        rm -rf "$build/corpus/$target"
        if ! run "$target" -runs="$runs" -seed=1 >"$log" 2>&1; then
            tail -n 40 "$log" >&2
            echo "fuzz.sh: fuzz_$target failed; the input is in $build/crashes" >&2
            exit 1
        fi
        grep -E '^Done [0-9]+ runs' "$log" || tail -n 1 "$log"
    done
    ;;
"" | -*)
    usage
    ;;
*)
    target=$1
    minutes=${2:-}
    [[ $minutes =~ ^[0-9]+$ ]] || usage
    targets | grep -qx "$target" || {
        echo "fuzz.sh: no target $target; there are: $(targets | tr '\n' ' ')" >&2
        exit 2
    }
    build_targets "$target"
    run "$target" -max_total_time=$((minutes * 60)) -print_final_stats=1
    ;;
esac
