// A time with explicit units: whole ticks of a time base, or none. Every conversion between time
// bases and from seconds goes through one rounding rule: to the nearest tick, halves away from
// zero, and whatever lies beyond +-4e18 ticks (a length of 1e15 s, infinity) saturates at
// INT64_MAX or INT64_MIN, meaning "to the end" or "from the start". Saturation leaves room for a
// frame's duration to be added without overflow.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

namespace vorkast {

// The tick count nearest to seconds in timeBase, saturated as above; NaN gives 0.
std::int64_t ticksFromSeconds(double seconds, AVRational timeBase);
// ticks of from in to, by the same rule; INT64_MAX and INT64_MIN stay saturated.
std::int64_t rescaleTicks(std::int64_t ticks, AVRational from, AVRational to);
// Seconds of ticks; the saturated values are the infinities.
double ticksToSeconds(std::int64_t ticks, AVRational timeBase);

class MediaTime {
public:
    // No time: a packet without a timestamp, a rate nobody states.
    constexpr MediaTime() = default;
    constexpr MediaTime(std::int64_t ticks, AVRational base)
        : m_ticks(ticks), m_base(base), m_known(true) {}
    // A libav timestamp, where AV_NOPTS_VALUE is none.
    static MediaTime fromStamp(std::int64_t stamp, AVRational base);
    static MediaTime fromSeconds(double seconds, AVRational base);

    bool known() const { return m_known; }
    explicit operator bool() const { return m_known; }
    std::int64_t ticks() const { return m_ticks; }
    AVRational base() const { return m_base; }
    // The libav form: AV_NOPTS_VALUE when none.
    std::int64_t stamp() const;
    // NaN when none.
    double seconds() const;
    // The same time in another base (rounded by the rule); none stays none.
    MediaTime in(AVRational base) const;
    // Saturating sums in this time's base; none when either is none.
    MediaTime plus(const MediaTime& other) const;
    MediaTime plusTicks(std::int64_t ticks) const;
    MediaTime times(std::int64_t count) const;

private:
    std::int64_t m_ticks = 0;
    AVRational m_base{1, 1};
    bool m_known = false;
};

// Exact comparison across time bases; none compares as earlier than any time.
int compare(const MediaTime& a, const MediaTime& b);
inline bool operator<(const MediaTime& a, const MediaTime& b) {
    return compare(a, b) < 0;
}
inline bool operator<=(const MediaTime& a, const MediaTime& b) {
    return compare(a, b) <= 0;
}
inline bool operator==(const MediaTime& a, const MediaTime& b) {
    return compare(a, b) == 0;
}

} // namespace vorkast
