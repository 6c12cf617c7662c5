// Display times from decode times, picture types and the reorder delay.
#include "display_times.h"

#include "frame_duration.h"

namespace vorkast {

std::int64_t reorderLead(const AVStream* stream) {
    const AVRational rate = frameRate(stream);
    const int delay = stream->codecpar->video_delay;
    if (delay <= 0 || rate.num <= 0)
        return 0;
    return rescaleTicks(delay + 1, av_inv_q(rate), stream->time_base);
}

DisplayClock::DisplayClock(const AVStream* stream, const ContainerTraits& container, bool unpacked)
    : m_stream(stream), m_container(container), m_family(codecFamily(stream->codecpar->codec_id)),
      m_video(stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO), m_frame(frameDuration(stream)) {
    const AVCodecParameters* par = stream->codecpar;
    m_lengthSize =
        nalLengthSize(m_family, par->extradata, static_cast<std::size_t>(par->extradata_size));
    // MPEG-1/2 pictures are read one to a packet; MPEG-4 Visual ones only once taken apart.
    m_timesReferences =
        m_video && par->video_delay > 0 &&
        (m_family == CodecFamily::Mpeg12 ||
         (m_family == CodecFamily::Mpeg4Part2 && (unpacked || !m_container.packsBFrames)));
}

void DisplayClock::restart() {
    m_references.restart();
}

MediaTime DisplayClock::keyframeShown(const AVPacket* packet, const MediaTime& at) const {
    if (packet->pts != AV_NOPTS_VALUE || !at)
        return at;
    const AVCodecParameters* par = m_stream->codecpar;
    const AVRational rate = frameRate(m_stream);
    // MPEG-1/2: the group's leading B-pictures, which its temporal reference counts, are
    // shown first, each as it is decoded.
    if (m_family == CodecFamily::Mpeg12 && par->video_delay > 0 && packet->dts != AV_NOPTS_VALUE &&
        rate.num > 0 && packet->data && packet->size > 0)
        if (const auto header =
                mpeg12::pictureHeader(packet->data, static_cast<std::size_t>(packet->size)))
            return at.plusTicks(
                rescaleTicks(header->temporalReference + 1, av_inv_q(rate), m_stream->time_base));
    if (m_container.clockMayRestart)
        return at;
    return at.plusTicks(reorderLead(m_stream));
}

PacketFacts DisplayClock::take(const AVPacket* packet) {
    const AVRational base = m_stream->time_base;
    PacketFacts facts;
    facts.decode = MediaTime::fromStamp(packet->dts, base);
    facts.display = MediaTime::fromStamp(packet->pts, base);
    if (!facts.display)
        facts.display = facts.decode; // shown as decoded, unless the rule below says otherwise
    facts.keyframe = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    if (packet->duration > 0)
        facts.duration = MediaTime(packet->duration, base);
    else if (m_video)
        facts.duration = m_frame;
    if (!m_video) {
        facts.canStart = facts.keyframe;
        facts.keyPicture = facts.keyframe;
        if (facts.keyframe)
            facts.keyShown = facts.at();
        return facts;
    }
    facts.type = pictureType(m_family, packet, m_lengthSize);
    facts.canStart = canStartDecoding(m_family, packet, m_lengthSize);
    facts.keyPicture = facts.keyframe && !isStandIn(m_family, packet) &&
                       (facts.type == PictureType::Unknown || facts.type == PictureType::I);
    if (facts.keyframe)
        facts.keyShown = keyframeShown(packet, facts.at());
    const ReferenceRule::Step step = m_references.take(
        facts.decode, m_timesReferences && isReference(facts.type), packet->pts != AV_NOPTS_VALUE);
    if (step.reveals)
        facts.revealed = step.revealed;
    if (step.waits) {
        facts.display = MediaTime();
        facts.displayPending = true;
    }
    return facts;
}

MediaTime DisplayClock::finish() {
    return m_references.finish(m_frame);
}

} // namespace vorkast
