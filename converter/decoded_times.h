// When each picture a decoder hands out from a source's video is shown, in the source's time
// base: the re-encoded clip and the clip check time the source's pictures by this one rule.
#pragma once

#include "container_traits.h"
#include "packed_pictures.h"

#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace vorkast {

class DecodedTimes {
public:
    // frameTs: one frame in the stream's time base, until the pictures state their own length.
    DecodedTimes(const AVFormatContext* input, const AVStream* in, std::int64_t frameTs)
        : m_frameTs(frameTs),
          // MPEG-4 Visual with B-frames in a container without display times (AVI): where the
          // B-frames are packed with the picture before them, the decoder stamps each picture
          // a frame after the time it is shown at.
          m_mayBePacked(mayHoldPackedPictures(in, containerTraits(input->iformat))) {}

    // Every packet given to the decoder, before it is sent.
    void notePacket(const AVPacket* packet) {
        if (!m_mayBePacked || m_decodedLate)
            return;
        m_decodedLate = holdsPackedPictures(packet);
    }

    // The picture's time, or AV_NOPTS_VALUE for a picture to skip: none known yet, or a
    // repeated or backwards stamp from a damaged source.
    std::int64_t frameTime(const AVFrame* frame) {
        std::int64_t pts = frame->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) {
            if (m_lastTs == AV_NOPTS_VALUE)
                return AV_NOPTS_VALUE;
            pts = m_lastTs + m_frameTs;
        }
        if (m_lastTs != AV_NOPTS_VALUE && pts <= m_lastTs)
            return AV_NOPTS_VALUE;
        m_lastTs = pts;
        if (frame->pkt_duration > 0)
            m_frameTs = frame->pkt_duration;
        return m_decodedLate ? pts - m_frameTs : pts;
    }

    std::int64_t frameTs() const { return m_frameTs; }

    // A new range of a joined clip: its pictures are timed afresh after the seek.
    void restart() { m_lastTs = AV_NOPTS_VALUE; }

private:
    std::int64_t m_frameTs;
    std::int64_t m_lastTs = AV_NOPTS_VALUE;
    bool m_mayBePacked;
    bool m_decodedLate = false;
};

} // namespace vorkast
