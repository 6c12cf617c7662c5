// When each picture a decoder hands out from a source's video is shown, in the source's time
// base: the re-encoded clip and the clip check time the source's pictures by this one rule.
#pragma once

#include <cstdint>
#include <cstring>

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
          m_mayBePacked(in->codecpar->codec_id == AV_CODEC_ID_MPEG4 &&
                        in->codecpar->video_delay > 0 &&
                        std::strcmp(input->iformat->name, "avi") == 0) {}

    // Every packet given to the decoder, before it is sent.
    void notePacket(const AVPacket* packet) {
        if (!m_mayBePacked || m_decodedLate || !packet->data)
            return;
        int pictures = 0;
        for (int i = 0; i + 3 < packet->size && pictures < 2; ++i) {
            if (packet->data[i] == 0 && packet->data[i + 1] == 0 && packet->data[i + 2] == 1 &&
                packet->data[i + 3] == 0xB6)
                ++pictures;
        }
        m_decodedLate = pictures >= 2;
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

private:
    std::int64_t m_frameTs;
    std::int64_t m_lastTs = AV_NOPTS_VALUE;
    bool m_mayBePacked;
    bool m_decodedLate = false;
};

} // namespace vorkast
