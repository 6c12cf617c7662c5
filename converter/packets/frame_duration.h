// How long one frame of a video stream lasts: the one rule every reader of packets uses.
#pragma once

#include "media_time.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace vorkast {

// The stream's frame rate: the average the demuxer measured, else the rate the container
// states; {0, 1} when neither is known.
AVRational frameRate(const AVStream* stream);
// One frame of rate in timeBase, at least one tick; 0 when the rate is unknown.
std::int64_t ticksPerFrame(AVRational rate, AVRational timeBase);
// One frame in the stream's time base, at least one tick; none when the rate is unknown.
MediaTime frameDuration(const AVStream* stream);
// One frame in seconds; 0 when the rate is unknown.
double frameSeconds(const AVStream* stream);

} // namespace vorkast
