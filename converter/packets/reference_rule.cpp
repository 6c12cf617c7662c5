// The reference rule, on times and on packets.
#include "reference_rule.h"

namespace vorkast {

ReferenceRule::Step ReferenceRule::take(const MediaTime& decode, bool reference, bool timed) {
    Step step;
    if (!decode)
        return step;
    m_lastDecoded = decode;
    if (!reference)
        return step;
    if (m_waiting) {
        step.reveals = true;
        step.revealed = decode;
    }
    m_waiting = !timed;
    step.waits = m_waiting;
    return step;
}

MediaTime ReferenceRule::finish(const MediaTime& frame) {
    if (!m_waiting)
        return MediaTime();
    m_waiting = false;
    return frame ? m_lastDecoded.plus(frame) : m_lastDecoded;
}

void ReferenceRule::restart() {
    m_waiting = false;
    m_lastDecoded = MediaTime();
}

void HeldPictures::take(PacketPtr packet, bool reference, const Pass& pass) {
    const std::int64_t decode = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    const bool timed = packet->pts != AV_NOPTS_VALUE;
    const ReferenceRule::Step step =
        m_rule.take(MediaTime::fromStamp(decode, m_base), reference, timed);
    if (step.reveals && m_reference)
        release(step.revealed, pass);
    if (step.waits) {
        m_reference = std::move(packet);
        return;
    }
    Held held{std::move(packet), timed ? AV_NOPTS_VALUE : decode, reference};
    if (timed)
        held.shown = held.packet->pts;
    if (m_reference) {
        m_behind.push_back(std::move(held));
        return;
    }
    pass(held.packet.get(), held.shown, held.reference);
}

void HeldPictures::take(AVPacket* packet, bool reference, const Pass& pass) {
    PacketPtr owned = makePacket();
    av_packet_move_ref(owned.get(), packet);
    take(std::move(owned), reference, pass);
}

void HeldPictures::finish(std::int64_t frameTicks, const Pass& pass) {
    const MediaTime shown = m_rule.finish(MediaTime(frameTicks, m_base));
    if (m_reference)
        release(shown, pass);
}

void HeldPictures::release(const MediaTime& shown, const Pass& pass) {
    PacketPtr reference = std::move(m_reference);
    std::int64_t at = shown.stamp();
    // Shown no earlier than decoded, which a damaged stream's times can leave it.
    if (at != AV_NOPTS_VALUE && reference->dts != AV_NOPTS_VALUE && at < reference->dts)
        at = reference->dts;
    pass(reference.get(), at, true);
    std::vector<Held> behind;
    behind.swap(m_behind);
    for (Held& held : behind)
        pass(held.packet.get(), held.shown, held.reference);
}

} // namespace vorkast
