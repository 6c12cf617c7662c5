#!/usr/bin/env bash
# Checks the layout of the sources; builds Segmora with warnings as errors and runs every test;
# then builds again with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test a
# second time; last, a short run of every fuzz target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

bash "$root/scripts/format.sh" --check

cmake -S "$root" -B "$root/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSEGMORA_WERROR=ON >/dev/null
cmake --build "$root/build-test" -j"$jobs"
ctest --test-dir "$root/build-test" --output-on-failure -j"$jobs"

cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DSEGMORA_WERROR=ON \
    -DSEGMORA_SANITIZE=ON >/dev/null
cmake --build "$root/build-asan" -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$root/build-asan" --output-on-failure -j"$jobs"

bash "$root/scripts/fuzz.sh" --brief
