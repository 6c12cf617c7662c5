#!/usr/bin/env bash
# Installs what building and testing Segmora needs on Debian 12, only when something is missing.
set -euo pipefail
packages=(g++ cmake make pkg-config ccache qt6-base-dev qt6-base-dev-tools qt6-svg-dev
    libqt6opengl6-dev
    libmpv-dev libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev libswresample-dev
    libavutil-dev ffmpeg fonts-dejavu-core xvfb xauth clang-format-14
    clang-14 libclang-rt-14-dev desktop-file-utils appstream man-db dpkg-dev file parallel)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
# sudo clears the environment, so the front end is set on its far side with env: debconf then
# asks nothing and warns of no missing terminal. Another apt at work (an unattended upgrade)
# is waited for, up to ten minutes, instead of failing at once on its lock.
apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
echo "Installing: ${missing[*]}"
"${apt[@]}" update -qq
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"
