// One stream copied packet by packet into the clip, without decoding.
#pragma once

#include "libav_ptr.h"

#include <cstdint>
#include <functional>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

namespace vorkast {

class StreamCopier {
public:
    using Writer = std::function<void(AVPacket*)>;

    // absStart/absEnd: the section in absolute source seconds. copyFrom: where the clip's first
    // keyframe lies; earlier packets are left out. Video waits for its first keyframe.
    StreamCopier(const AVStream* in, AVStream* out, double absStart, double absEnd,
                 double copyFrom);

    // Turns the source packet into the clip's packet (timestamps counted from absStart, so a
    // keyframe before the start gets a negative time that MP4 covers with an edit list) and
    // writes it, or drops it when it is not part of the clip.
    void accept(AVPacket* packet, const Writer& write);
    // H.264 and HEVC stored MP4-style need start codes in containers without a global header
    // (AVI, MPEG, ASF). Call before the header is written: it adjusts the output's parameters.
    void convertToAnnexB(AVFormatContext* output);
    // True once the stream has passed the section's end; subtitles never hold the clip open.
    bool finished() const { return m_finished; }
    bool holdsClipOpen() const {
        return m_type == AVMEDIA_TYPE_VIDEO || m_type == AVMEDIA_TYPE_AUDIO;
    }
    // Seconds of the clip covered by this stream so far.
    double progress() const { return m_progress; }

private:
    bool take(AVPacket* packet);

    const AVStream* m_in;
    BitstreamFilterPtr m_bsf;
    AVStream* m_out;
    AVMediaType m_type;
    std::int64_t m_startTs, m_endTs, m_fromTs;
    bool m_started = false;
    bool m_finished = false;
    double m_progress = 0;
    std::int64_t m_lastDts = AV_NOPTS_VALUE; // in the output's time base
};

} // namespace vorkast
