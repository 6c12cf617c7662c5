// Finding timestamp leaps and moving the timeline back over them.
#include "timestamp_repair.h"

#include "container_traits.h"
#include "libav_owners.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vorkast {

namespace {

constexpr std::int64_t leapLimit = 10 * static_cast<std::int64_t>(AV_TIME_BASE);
// Leaping packets in a row after which the new timeline counts as the stream's own.
constexpr int acceptAfter = 8;

bool isPictureOrSound(const AVStream* stream) {
    const AVMediaType type = stream->codecpar->codec_type;
    return type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO;
}

double packetSeconds(const AVPacket* packet, AVRational timeBase) {
    const std::int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    return ts == AV_NOPTS_VALUE ? NAN : static_cast<double>(ts) * av_q2d(timeBase);
}

} // namespace

TimestampRepair::TimestampRepair(const AVFormatContext* input)
    : m_input(input), m_restartingClock(containerTraits(input->iformat).clockMayRestart),
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

bool MendedTimeline::mayLeap(AVFormatContext* input) {
    if (!input->pb || !(input->pb->seekable & AVIO_SEEKABLE_NORMAL))
        return false;
    const std::int64_t size = avio_size(input->pb);
    if (size <= 0)
        return false;
    constexpr int samples = 16;
    std::vector<double> times;
    PacketPtr packet = makePacket();
    for (int k = 0; k < samples; ++k) {
        if (av_seek_frame(input, -1, size * k / samples, AVSEEK_FLAG_BYTE) < 0)
            return true; // cannot tell without reading it all
        double at = NAN;
        for (int budget = 500; budget > 0 && std::isnan(at); --budget) {
            if (av_read_frame(input, packet.get()) < 0)
                break;
            const AVStream* stream = input->streams[packet->stream_index];
            if (isPictureOrSound(stream))
                at = packetSeconds(packet.get(), stream->time_base);
            av_packet_unref(packet.get());
        }
        if (!std::isnan(at))
            times.push_back(at);
    }
    if (times.size() < 2)
        return false;
    std::vector<double> steps;
    for (std::size_t i = 1; i < times.size(); ++i)
        steps.push_back(times[i] - times[i - 1]);
    std::vector<double> sorted = steps;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double usual = std::max(0.0, sorted[sorted.size() / 2]);
    constexpr double limit = static_cast<double>(leapLimit) / AV_TIME_BASE;
    // Bit rates vary, but not eightfold between even slices of the file: a step that far off
    // the usual one is the clock leaping.
    return std::any_of(steps.begin(), steps.end(), [&](double step) {
        return step < -limit || (step > limit && step > 8 * usual);
    });
}

std::optional<MendedTimeline> MendedTimeline::scan(AVFormatContext* input, int video, int audio,
                                                   const std::function<void()>& onRead) {
    if (av_seek_frame(input, -1, 0, AVSEEK_FLAG_BYTE) < 0)
        return std::nullopt;
    MendedTimeline timeline;
    timeline.m_shownTimes.resize(input->nb_streams);
    TimestampRepair repair(input);
    PacketPtr packet = makePacket();
    double first = input->start_time != AV_NOPTS_VALUE
                       ? static_cast<double>(input->start_time) / AV_TIME_BASE
                       : NAN;
    double last = NAN;
    double lastSoundKeyframe = -INFINITY;
    while (av_read_frame(input, packet.get()) >= 0) {
        onRead();
        const int index = packet->stream_index;
        const bool anchor = index == video || index == audio;
        const bool key = anchor && (packet->flags & AV_PKT_FLAG_KEY) && packet->pos >= 0;
        const TimestampRepair before = key ? repair : TimestampRepair(input);
        if (!repair.repair(packet.get()) || !isPictureOrSound(input->streams[index])) {
            av_packet_unref(packet.get());
            continue;
        }
        const AVRational timeBase = input->streams[index]->time_base;
        const double shown = packetSeconds(packet.get(), timeBase);
        if (!std::isnan(shown)) {
            if (std::isnan(first) || shown < first)
                first = shown;
            const double end =
                shown +
                static_cast<double>(std::max<std::int64_t>(packet->duration, 0)) * av_q2d(timeBase);
            if (std::isnan(last) || end > last)
                last = end;
            if (anchor)
                timeline.m_shownTimes[index].push_back(shown);
            // Every sound packet starts anew; a few a second are enough to read on from.
            const bool sound = index != video;
            if (key && (!sound || shown >= lastSoundKeyframe + 0.5)) {
                timeline.m_keyframes.push_back({index, shown, packet->pos, before});
                if (sound)
                    lastSoundKeyframe = shown;
            }
        }
        av_packet_unref(packet.get());
    }
    if (repair.leaps() == 0)
        return std::nullopt;
    for (std::vector<double>& times : timeline.m_shownTimes)
        std::sort(times.begin(), times.end());
    timeline.m_leaps = repair.leaps();
    timeline.m_duration = std::isnan(last) ? -1 : last - first;
    return timeline;
}

MendedTimeline::Start MendedTimeline::startAt(const AVFormatContext* input, int anchor,
                                              double absStart) const {
    Start start{-1, TimestampRepair(input), absStart, absStart};
    if (input->start_time != AV_NOPTS_VALUE)
        start.keyframeTime = static_cast<double>(input->start_time) / AV_TIME_BASE;
    constexpr double slack = 1e-4; // timestamps rounded into the stream's time base
    const Keyframe* chosen = nullptr;
    for (const Keyframe& keyframe : m_keyframes)
        if (keyframe.stream == anchor && keyframe.shown <= absStart + slack)
            chosen = &keyframe;
    if (!chosen)
        return start;
    start.pos = chosen->pos;
    start.repair = chosen->repair;
    start.keyframeTime = chosen->shown;
    if (anchor >= 0 && anchor < static_cast<int>(m_shownTimes.size())) {
        const std::vector<double>& times = m_shownTimes[anchor];
        const auto after = std::upper_bound(times.begin(), times.end(), absStart + slack);
        if (after != times.begin())
            start.shownTime = std::max(chosen->shown, *(after - 1));
    }
    // Sound starts with any packet: from the one playing at the start.
    if (input->streams[anchor]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
        start.keyframeTime = start.shownTime;
    return start;
}

} // namespace vorkast
