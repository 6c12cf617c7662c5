# Shared by the converter benches (sourced): builds vorkast in Release into $build (unless
# SKIP_BUILD is set and it is there) and makes the generated 2-minute 720p H.264/AAC source.
# In: root, build. Out: vorkast, work, source.
if [ ! -x "$build/program/vorkast" ] || [ -z "${SKIP_BUILD:-}" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSEGMORA_TESTS=OFF >/dev/null
    cmake --build "$build" -j2 --target vorkast >/dev/null
fi
vorkast=$build/program/vorkast
work=$build/bench-converter
mkdir -p "$work"
source=$work/source120.mp4
[ -s "$source" ] || ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc2=size=1280x720:rate=30:duration=120 \
    -f lavfi -i sine=frequency=440:duration=120 \
    -c:v libx264 -preset veryfast -crf 23 -g 60 -pix_fmt yuv420p -c:a aac -shortest "$source"
