#!/usr/bin/env bash
# Takes the README's screenshots of the main window under Xvfb, so they follow the program:
# docs/screenshot.png at the default size and docs/screenshot-maximised.png filling a 1920x1080
# screen. Uses an already built build/program (scripts/run.sh or a cmake build makes it).
#
#   scripts/screenshots.sh [BUILD_PROGRAM_FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/program}
[ -x "$program/segmora" ] || { echo "no $program/segmora: build first" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is needed (package xvfb)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shot NAME [WINDOW_LINES]: a fresh copy of the program folder with the shipped preferences,
# plus the window's size and place when given, so no run disturbs the next one.
shot() {
    local name=$1 window=${2:-}
    local folder=$work/$name
    mkdir -p "$folder"
    cp -r "$program/." "$folder/"
    cp "$root/resources/Preferences.ini" "$folder/Preferences.ini"
    if [ -n "$window" ]; then
        printf '\n[Window]\n%b' "$window" >>"$folder/Preferences.ini"
    fi
    xvfb-run -a -s "-screen 0 1920x1080x24" \
        "$folder/segmora" --program-folder "$folder" --screenshot "$root/docs/$name.png"
    echo "docs/$name.png"
}

shot screenshot
# Xvfb has no window manager to maximise with: the window is given the whole screen instead.
shot screenshot-maximised 'X=0\nY=0\nWidth=1920\nHeight=1080\nMaximized=0\n'
