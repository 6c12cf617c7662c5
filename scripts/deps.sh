#!/usr/bin/env bash
# Installs what building and testing Segmora needs on Debian 12, only when something is missing.
set -euo pipefail
packages=(g++ cmake make pkg-config ccache qt6-base-dev qt6-base-dev-tools qt6-svg-dev
    libmpv-dev libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev libswresample-dev
    libavutil-dev ffmpeg fonts-dejavu-core xvfb xauth clang-format-14
    clang-14 libclang-rt-14-dev desktop-file-utils appstream man-db dpkg-dev file parallel)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
