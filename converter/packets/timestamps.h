// Seconds to stream timestamps, by the one rounding rule of media_time.h.
#pragma once

#include "media_time.h"

namespace vorkast {

// The timestamp nearest to seconds in timeBase; infinity, and anything too far off to count
// (a length of 1e15 s), saturate at INT64_MAX or INT64_MIN: "to the end" or "from the start".
inline std::int64_t secondsToTs(double seconds, AVRational timeBase) {
    return ticksFromSeconds(seconds, timeBase);
}

} // namespace vorkast
