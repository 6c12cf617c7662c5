// One frame's length from the stream's rate.
#include "frame_duration.h"

#include <algorithm>

namespace vorkast {

AVRational frameRate(const AVStream* stream) {
    for (const AVRational rate : {stream->avg_frame_rate, stream->r_frame_rate})
        if (rate.num > 0 && rate.den > 0)
            return rate;
    return AVRational{0, 1};
}

std::int64_t ticksPerFrame(AVRational rate, AVRational timeBase) {
    if (rate.num <= 0 || rate.den <= 0)
        return 0;
    return std::max<std::int64_t>(1, rescaleTicks(1, av_inv_q(rate), timeBase));
}

MediaTime frameDuration(const AVStream* stream) {
    const std::int64_t ticks = ticksPerFrame(frameRate(stream), stream->time_base);
    return ticks > 0 ? MediaTime(ticks, stream->time_base) : MediaTime();
}

double frameSeconds(const AVStream* stream) {
    const AVRational rate = frameRate(stream);
    return rate.num > 0 ? av_q2d(av_inv_q(rate)) : 0;
}

} // namespace vorkast
