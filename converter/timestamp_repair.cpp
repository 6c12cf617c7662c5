// Finding timestamp leaps and moving the timeline back over them.
#include "timestamp_repair.h"

#include <algorithm>
#include <cstdlib>

namespace vorkast {

namespace {

constexpr std::int64_t leapLimit = 10 * static_cast<std::int64_t>(AV_TIME_BASE);
// Leaping packets in a row after which the new timeline counts as the stream's own.
constexpr int acceptAfter = 8;

} // namespace

TimestampRepair::TimestampRepair(const AVFormatContext* input)
    : m_input(input), m_restartingClock((input->iformat->flags & AVFMT_TS_DISCONT) != 0),
      m_tracks(input->nb_streams) {}

double TimestampRepair::removedSeconds() const {
    return m_offset < 0 ? static_cast<double>(-m_offset) / AV_TIME_BASE : 0;
}

bool TimestampRepair::repair(AVPacket* packet) {
    const int index = packet->stream_index;
    if (index < 0 || index >= static_cast<int>(m_tracks.size()))
        return true;
    const AVStream* stream = m_input->streams[index];
    const AVMediaType type = stream->codecpar->codec_type;
    const AVRational tb = stream->time_base;
    const std::int64_t shift = av_rescale_q(m_offset, AV_TIME_BASE_Q, tb);
    const auto move = [&](std::int64_t by) {
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts += by;
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts += by;
    };
    move(shift);
    if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO)
        return true;
    // Display follows decoding by a few frames at most; a display time hours away is damage.
    if (packet->pts != AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE &&
        std::llabs(av_rescale_q(packet->pts - packet->dts, tb, AV_TIME_BASE_Q)) > leapLimit)
        packet->pts = packet->dts;
    const std::int64_t raw = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (raw == AV_NOPTS_VALUE)
        return true;
    Track& track = m_tracks[index];
    std::int64_t at = av_rescale_q(raw, tb, AV_TIME_BASE_Q);
    bool newTimeline = false;
    // A stream's first packet is measured against the others: damage can make up a stream
    // whose packets lie hours away.
    if (track.next == AV_NOPTS_VALUE && m_clock != AV_NOPTS_VALUE &&
        std::llabs(at - m_clock) > leapLimit) {
        if (++track.dropped < acceptAfter) {
            if (track.dropped == 1)
                ++m_leaps;
            return false;
        }
        newTimeline = true;
    } else if (track.next != AV_NOPTS_VALUE && std::llabs(at - track.next) > leapLimit) {
        if (m_restartingClock) {
            // The clock restarted: carry on from where the stream was.
            const std::int64_t delta = track.next - at;
            m_offset += delta;
            move(av_rescale_q(delta, AV_TIME_BASE_Q, tb));
            at += delta;
            ++m_leaps;
        } else if (++track.dropped < acceptAfter) {
            if (track.dropped == 1)
                ++m_leaps;
            return false;
        } else {
            newTimeline = true;
        }
    }
    track.dropped = 0;
    const std::int64_t length =
        packet->duration > 0 ? av_rescale_q(packet->duration, tb, AV_TIME_BASE_Q) : 0;
    track.next = track.next == AV_NOPTS_VALUE || newTimeline ? at + length
                                                             : std::max(track.next, at + length);
    m_clock = m_clock == AV_NOPTS_VALUE ? at : std::max(m_clock, at);
    return true;
}

} // namespace vorkast
