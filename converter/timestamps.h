// Seconds and stream timestamps, converted without overflow.
#pragma once

#include <cmath>
#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

namespace vorkast {

// The timestamp nearest to seconds in timeBase. Infinity, and anything too far off to count
// (a length of 1e15 s), saturate at INT64_MAX or INT64_MIN: "to the end" or "from the start".
inline std::int64_t secondsToTs(double seconds, AVRational timeBase) {
    const double ticks = seconds / av_q2d(timeBase);
    // Keep well clear of the limit so adding a frame's duration cannot overflow either.
    constexpr double limit = 4e18;
    if (std::isnan(ticks))
        return 0;
    if (ticks >= limit)
        return INT64_MAX;
    if (ticks <= -limit)
        return INT64_MIN;
    return std::llround(ticks);
}

} // namespace vorkast
