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

MediaTime frameDuration(const AVStream* stream) {
    const AVRational rate = frameRate(stream);
    if (rate.num <= 0)
        return MediaTime();
    return MediaTime(std::max<std::int64_t>(1, rescaleTicks(1, av_inv_q(rate), stream->time_base)),
                     stream->time_base);
}

double frameSeconds(const AVStream* stream) {
    const AVRational rate = frameRate(stream);
    return rate.num > 0 ? av_q2d(av_inv_q(rate)) : 0;
}

} // namespace vorkast
