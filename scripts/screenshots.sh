#!/usr/bin/env bash
# Takes the README's screenshots of the main window under Xvfb, so they follow the program:
# docs/screenshot.png at the default size, docs/screenshot-maximised.png filling a 1920x1080
# screen, and docs/screenshot-timeline.png with a generated two-minute video open and its
# strips shown. Uses an already built build/program (scripts/run.sh or a cmake build makes it).
#
#   scripts/screenshots.sh [BUILD_PROGRAM_FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/program}
[ -x "$program/segmora" ] || { echo "no $program/segmora: build first" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is needed (package xvfb)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shot NAME [WINDOW_LINES [VIDEO]]: a fresh copy of the program folder with the shipped
# preferences, plus the window's size and place when given, so no run disturbs the next one.
# With a video, it is opened once before: scans that end before that window closes are kept
# in the cache, so the picture shows the strips even on a busy machine.
shot() {
    local name=$1 window=${2:-} video=${3:-}
    local folder=$work/$name
    mkdir -p "$folder"
    cp -r "$program/." "$folder/"
    cp "$root/resources/Preferences.ini" "$folder/Preferences.ini"
    if [ -n "$window" ]; then
        printf '\n[Window]\n%b' "$window" >>"$folder/Preferences.ini"
    fi
    if [ -n "$video" ]; then
        xvfb-run -a -s "-screen 0 1920x1080x24" "$folder/segmora" --program-folder "$folder" \
            --screenshot "$work/scanned.png" "$video" >/dev/null 2>&1
    fi
    xvfb-run -a -s "-screen 0 1920x1080x24" \
        "$folder/segmora" --program-folder "$folder" --screenshot "$root/docs/$name.png" $video
    echo "docs/$name.png"
}

shot screenshot
# Xvfb has no window manager to maximise with: the window is given the whole screen instead.
shot screenshot-maximised 'X=0\nY=0\nWidth=1920\nHeight=1080\nMaximized=0\n'
# Two minutes of three scenes (black between the first two), a sound with pauses.
mkdir -p "$work/tlshot"
ffmpeg -hide_banner -loglevel error -y -filter_complex "testsrc2=s=640x360:r=25:d=40[a];\
color=black:s=640x360:r=25:d=2[b];smptebars=s=640x360:r=25:d=38[c];\
mandelbrot=s=640x360:r=25,trim=duration=40[d];[a][b][c][d]concat=n=4:v=1:a=0,format=yuv420p[v];\
aevalsrc='if(between(t,20,23)+between(t,40,42)+between(t,90,92),0,\
(0.2+0.6*abs(sin(2*PI*t/7)))*sin(2*PI*330*t)*(0.5+0.5*sin(2*PI*3*t)))':s=48000:d=120[s]" \
    -map '[v]' -map '[s]' -c:v libx264 -preset ultrafast -g 100 -c:a aac -b:a 96k \
    "$work/tlshot/two_minutes.mp4"
shot screenshot-timeline '' "$work/tlshot/two_minutes.mp4"
