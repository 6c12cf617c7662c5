#!/usr/bin/env bash
# Runs vorkast by hand (not a test) over a generated corpus of the sources users really have and
# of damaged ones, with odd cut points and arguments, and counts per converter binary: runs,
# crashes (death by signal), hangs (killed after the time limit), stray files left beside the
# clip, clips the ffmpeg tool reports decoder errors in, and clips whose first frame is not the
# frame the ffmpeg tool's own decoding cut shows at START (read from the number each source
# paints into its pictures). Several binaries run side by side, case by case, on the same corpus.
#
# Usage: bench/adversarial/run.sh [-t SECONDS] [-w WORK_DIR] LABEL=VORKAST [LABEL=VORKAST ...]
#   e.g. bench/adversarial/run.sh before=/tmp/old/program/vorkast after=build/program/vorkast
#   -t  time limit of one run (default 30; the sources are a few seconds of 96x64 pictures)
#   -w  where the corpus, the clips and the logs go; default a new folder from mktemp -d.
#       The script writes and deletes inside that folder only.
# Prints a Markdown table of the counts and, per binary, every failing case with its command line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
limit=30
work=
while getopts t:w: opt; do
    case $opt in
        t) limit=$OPTARG ;;
        w) work=$OPTARG ;;
        *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || { sed -n 2,15p "$0" >&2; exit 2; }
[ -n "$work" ] || work=$(mktemp -d "${TMPDIR:-/tmp}/adversarial.XXXXXX")
mkdir -p "$work/corpus"
corpus=$work/corpus

ff() { nice ffmpeg -hide_banner -loglevel error -y "$@"; }
# Every picture paints its own number in binary: 96x64, bit b a 16x32 block (bits 0-5 in the
# upper half, 6-11 in the lower), white when set.
painted() { # SECONDS [RATE]
    echo "nullsrc=s=96x64:r=${2:-25}:d=$1,geq=lum='if(mod(floor(N/pow(2,floor(X/16)+6*floor(Y/32))),2),235,16)':cb=128:cr=128"
}
tone() { echo "sine=frequency=440:sample_rate=${2:-44100}:duration=$1"; }
x264=(-c:v libx264 -preset ultrafast -pix_fmt yuv420p -qp 10)

cd "$corpus"
echo "corpus in $corpus" >&2
# H.264 without and with B-frames, a keyframe every 12 pictures, in MP4, MOV and Matroska.
[ -s h264.mp4 ] || ff -f lavfi -i "$(painted 8)" -f lavfi -i "$(tone 8)" "${x264[@]}" -bf 0 \
    -g 12 -c:a aac -shortest h264.mp4
if [ ! -s bframes.mp4 ]; then
    ff -f lavfi -i "$(painted 8)" -f lavfi -i "$(tone 8)" "${x264[@]}" \
        -x264-params keyint=12:min-keyint=12:scenecut=0:bframes=2 -c:a aac -shortest bframes.mp4
    ff -i bframes.mp4 -c copy bframes.mov
    ff -i bframes.mp4 -c copy bframes.mkv
fi
# HEVC in Matroska, a keyframe every second.
[ -s hevc.mkv ] || ff -f lavfi -i "$(painted 8)" -f lavfi -i "$(tone 8)" -c:v libx265 \
    -preset ultrafast -x265-params log-level=none:keyint=25:min-keyint=25:scenecut=0 \
    -c:a aac -shortest hevc.mkv
# MPEG-2 with open groups of 15 pictures: a program stream with MP2, a DVD VOB with AC-3.
[ -s mpeg2.mpg ] || ff -f lavfi -i "$(painted 12)" -f lavfi -i "$(tone 12)" -c:v mpeg2video \
    -q:v 2 -g 15 -bf 2 -sc_threshold 1000000000 -c:a mp2 -shortest -f mpeg mpeg2.mpg
[ -s mpeg2.vob ] || ff -f lavfi -i "$(painted 8)" -f lavfi -i "$(tone 8 48000)" -c:v mpeg2video \
    -q:v 2 -g 15 -bf 2 -sc_threshold 1000000000 -c:a ac3 -shortest -f vob mpeg2.vob
# MPEG-4 Visual with packed B-frames in AVI, the second keyframe at 1.96 s.
[ -s packed.avi ] || ff -f lavfi -i "$(painted 6)" -f lavfi -i "$(tone 6)" -c:v libxvid \
    -q:v 2 -bf 2 -g 49 -c:a libmp3lame -shortest packed.avi
# Windows Media.
[ -s wmv2.wmv ] || ff -f lavfi -i "$(painted 6)" -f lavfi -i "$(tone 6)" -c:v wmv2 -q:v 2 -g 12 \
    -c:a wmav2 -shortest wmv2.wmv
# A camera: MJPEG with PCM sound in AVI; and H.264 with PCM in MOV.
[ -s mjpeg.avi ] || ff -f lavfi -i "$(painted 6)" -f lavfi -i "$(tone 6)" -c:v mjpeg -q:v 2 \
    -pix_fmt yuvj420p -c:a pcm_s16le -shortest mjpeg.avi
[ -s pcm.mov ] || ff -f lavfi -i "$(painted 6)" -f lavfi -i "$(tone 6)" "${x264[@]}" -g 25 \
    -c:a pcm_s16le -shortest pcm.mov
# A phone clip: stored sideways, the track's matrix turns it by 90 degrees.
if [ ! -s rotated.mp4 ]; then
    ff -f lavfi -i "$(painted 6)" -f lavfi -i "$(tone 6)" "${x264[@]}" -g 25 -c:a aac -shortest \
        rotated.mp4
    tkhd=$(grep -obUa tkhd rotated.mp4 | head -1 | cut -d: -f1)
    # tkhd (version 0): the matrix starts 44 bytes after the box name.
    printf '\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\xff\xff\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x40\x00\x00\x00' |
        dd of=rotated.mp4 bs=1 seek=$((tkhd + 44)) conv=notrunc status=none
fi
# Two 3 s recordings joined into one transport stream, the second an hour later (its pictures
# go on counting from 75); and a stream whose clock starts at 3600 s.
if [ ! -s joined.ts ]; then
    ff -f lavfi -i "$(painted 3)" -f lavfi -i "$(tone 3)" "${x264[@]}" -g 25 -c:a mp2 \
        -f mpegts "$work/joined_a.ts"
    ff -f lavfi -i "$(painted 6),trim=start=3" -f lavfi -i "$(tone 3)" "${x264[@]}" -g 25 \
        -c:a mp2 -output_ts_offset 3603 -f mpegts "$work/joined_b.ts"
    cat "$work/joined_a.ts" "$work/joined_b.ts" > joined.ts
    rm -f "$work/joined_a.ts" "$work/joined_b.ts"
fi
[ -s late.ts ] || ff -f lavfi -i "$(painted 6)" -f lavfi -i "$(tone 6)" "${x264[@]}" -g 25 \
    -c:a mp2 -output_ts_offset 3600 -f mpegts late.ts
# Damaged: an 8 s MP4 (index first) and Matroska cut off after 40 % of their bytes, and a
# 12 s MPEG-2 program stream with 1 % of its bits flipped (a fixed pattern, past the first pack).
if [ ! -s truncated.mp4 ]; then
    ff -i h264.mp4 -c copy -movflags +faststart "$work/faststart.mp4"
    head -c $(($(stat -c %s "$work/faststart.mp4") * 4 / 10)) "$work/faststart.mp4" > truncated.mp4
    rm -f "$work/faststart.mp4"
fi
[ -s truncated.mkv ] || head -c $(($(stat -c %s bframes.mkv) * 4 / 10)) bframes.mkv > truncated.mkv
[ -s flipped.mpg ] || python3 - mpeg2.mpg flipped.mpg <<'PY'
import random, sys
data = bytearray(open(sys.argv[1], "rb").read())
rng = random.Random(14)
for _ in range(len(data) * 8 // 100):
    bit = rng.randrange(2048 * 8, len(data) * 8)
    data[bit // 8] ^= 1 << (bit % 8)
open(sys.argv[2], "wb").write(data)
PY
cd - >/dev/null

python3 "$here/drive.py" --corpus "$corpus" --work "$work" --limit "$limit" "$@"
