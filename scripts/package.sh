#!/usr/bin/env bash
# Builds the Debian package segmora_<version>_amd64.deb in build-package/ (an optimised build
# for the prefix /usr, without the tests) and prints its path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"
build=$root/build-package
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DSEGMORA_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/segmora_*_amd64.deb
