// What a container does to the packets it holds, as far as cutting cares: one place that knows
// AVI from a transport stream, instead of comparisons of format names wherever a quirk matters.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

namespace vorkast {

struct ContainerTraits {
    // Packets carry display times. AVI states decode times only, so a picture shown later than
    // it is decoded (B-frames) gets its display time worked out.
    bool storesDisplayTimes = true;
    // The clock may restart or leap within the file (MPEG program and transport streams).
    bool clockMayRestart = false;
    // MPEG-4 Visual B-frames may be packed into the packet of the picture before them, with an
    // empty stand-in where they would have been (AVI).
    bool packsBFrames = false;
    // Sound is counted in units of the sample size: a block size stated for sound in frames
    // (MP3's 1152) is read as bytes (AVI).
    bool countsSoundInBlocks = false;
    // Its index may send a seek a group of pictures or more early (AVI and ASF).
    bool seeksEarly = false;
};

ContainerTraits containerTraits(const AVInputFormat* format);
ContainerTraits containerTraits(const AVOutputFormat* format);

} // namespace vorkast
