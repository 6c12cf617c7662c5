// Ticks, time bases and seconds under one rounding rule.
#include "media_time.h"

#include <cmath>
#include <limits>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

namespace vorkast {

namespace {

constexpr double kLimit = 4e18;

std::int64_t saturated(double ticks) {
    if (std::isnan(ticks))
        return 0;
    if (ticks >= kLimit)
        return INT64_MAX;
    if (ticks <= -kLimit)
        return INT64_MIN;
    return std::llround(ticks);
}

bool saturatedTicks(std::int64_t ticks) {
    return ticks == INT64_MAX || ticks == INT64_MIN;
}

std::int64_t clamped(__int128 ticks) {
    constexpr auto limit = static_cast<__int128>(kLimit);
    if (ticks >= limit)
        return INT64_MAX;
    if (ticks <= -limit)
        return INT64_MIN;
    return static_cast<std::int64_t>(ticks);
}

} // namespace

std::int64_t ticksFromSeconds(double seconds, AVRational timeBase) {
    return saturated(seconds * timeBase.den / timeBase.num);
}

std::int64_t rescaleTicks(std::int64_t ticks, AVRational from, AVRational to) {
    if (saturatedTicks(ticks))
        return ticks;
    // Far out of range: the estimate alone decides, before libav's exact rescaling could
    // overflow.
    const double estimate = static_cast<double>(ticks) * av_q2d(from) / av_q2d(to);
    if (std::fabs(estimate) >= kLimit)
        return saturated(estimate);
    return av_rescale_q_rnd(ticks, from, to, AV_ROUND_NEAR_INF);
}

double ticksToSeconds(std::int64_t ticks, AVRational timeBase) {
    if (ticks == INT64_MAX)
        return std::numeric_limits<double>::infinity();
    if (ticks == INT64_MIN)
        return -std::numeric_limits<double>::infinity();
    return static_cast<double>(ticks) * av_q2d(timeBase);
}

MediaTime MediaTime::fromStamp(std::int64_t stamp, AVRational base) {
    return stamp == AV_NOPTS_VALUE ? MediaTime() : MediaTime(stamp, base);
}

MediaTime MediaTime::fromSeconds(double seconds, AVRational base) {
    if (std::isnan(seconds))
        return MediaTime();
    return MediaTime(ticksFromSeconds(seconds, base), base);
}

std::int64_t MediaTime::stamp() const {
    return m_known ? m_ticks : AV_NOPTS_VALUE;
}

double MediaTime::seconds() const {
    return m_known ? ticksToSeconds(m_ticks, m_base) : std::numeric_limits<double>::quiet_NaN();
}

MediaTime MediaTime::in(AVRational base) const {
    if (!m_known)
        return MediaTime();
    return MediaTime(rescaleTicks(m_ticks, m_base, base), base);
}

MediaTime MediaTime::plusTicks(std::int64_t ticks) const {
    if (!m_known)
        return MediaTime();
    if (saturatedTicks(m_ticks))
        return *this;
    if (saturatedTicks(ticks))
        return MediaTime(ticks, m_base);
    return MediaTime(clamped(static_cast<__int128>(m_ticks) + ticks), m_base);
}

MediaTime MediaTime::plus(const MediaTime& other) const {
    if (!m_known || !other.known())
        return MediaTime();
    return plusTicks(other.in(m_base).ticks());
}

MediaTime MediaTime::times(std::int64_t count) const {
    if (!m_known)
        return MediaTime();
    return MediaTime(clamped(static_cast<__int128>(m_ticks) * count), m_base);
}

int compare(const MediaTime& a, const MediaTime& b) {
    if (!a.known() || !b.known())
        return a.known() == b.known() ? 0 : (a.known() ? 1 : -1);
    return av_compare_ts(a.ticks(), a.base(), b.ticks(), b.base());
}

} // namespace vorkast
