// One stream copied packet by packet into the clip, without decoding.
#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

namespace vorkast {

class StreamCopier {
public:
    // absStart/absEnd: the section in absolute source seconds. copyFrom: where the clip's first
    // keyframe lies; earlier packets are left out. Video waits for its first keyframe.
    StreamCopier(const AVStream* in, AVStream* out, double absStart, double absEnd,
                 double copyFrom);

    // Turns the source packet into the clip's packet (timestamps counted from absStart, so a
    // keyframe before the start gets a negative time that MP4 covers with an edit list) and
    // returns true, or returns false when the packet is not part of the clip.
    bool accept(AVPacket* packet);
    // True once the stream has passed the section's end; subtitles never hold the clip open.
    bool finished() const { return m_finished; }
    bool holdsClipOpen() const {
        return m_type == AVMEDIA_TYPE_VIDEO || m_type == AVMEDIA_TYPE_AUDIO;
    }
    // Seconds of the clip covered by this stream so far.
    double progress() const { return m_progress; }

private:
    const AVStream* m_in;
    AVStream* m_out;
    AVMediaType m_type;
    std::int64_t m_startTs, m_endTs, m_fromTs;
    bool m_started = false;
    bool m_finished = false;
    double m_progress = 0;
};

} // namespace vorkast
