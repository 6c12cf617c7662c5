#!/usr/bin/env bash
# Builds the Debian package segmora_<version>_amd64.deb in build-package/ (an optimised build
# for the prefix /usr, without the tests, hardened with Debian's own compiler and linker flags)
# and prints its path. scripts/try-package.sh tries it on a fresh Debian 12.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"
build=$root/build-package
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DSEGMORA_TESTS=OFF \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/segmora_*_amd64.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/segmora_*_amd64.deb
