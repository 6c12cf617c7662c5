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
    // Video ends by the frame rule: its last frame is the one before the frame on screen at the
    // end, and a picture shown past the end ends it in decode order, so the pictures that
    // refer to it are left out too.
    void accept(AVPacket* packet, const Writer& write);
    // Writes what is held back once the source has ended.
    void finish(const Writer& write);
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
    // Video: true for the first packet shown past the end; finishes the stream.
    bool endsVideo(const AVPacket* packet, const Writer& write);
    // Video: false for a picture after the first keyframe that the clip cannot decode.
    bool keepsAfterStart(const AVPacket* packet, bool wasStarted);
    void out(AVPacket* packet, const Writer& write);
    void writeHeld(const Writer& write);
    // Whether the held picture is already on screen at the clip's start.
    bool shownAtStart() const {
        return m_heldShowTs != AV_NOPTS_VALUE && m_heldShowTs <= m_startTs;
    }

    const AVStream* m_in;
    BitstreamFilterPtr m_bsf;
    AVStream* m_out;
    AVMediaType m_type;
    std::int64_t m_startTs, m_endTs, m_fromTs;
    bool m_started = false;
    bool m_finished = false;
    bool m_leadingPictures = false; // MPEG video: B-pictures of an open group may follow
    double m_progress = 0;
    std::int64_t m_lastDts = AV_NOPTS_VALUE; // in the output's time base
    // The last video packet taken, written once the next one shows it is not the frame on
    // screen at the end; its source display time and duration; the latest display time taken.
    PacketPtr m_held = makePacket();
    bool m_holding = false;
    bool m_wroteVideo = false;
    std::int64_t m_heldShowTs = 0;
    std::int64_t m_heldDuration = 0;
    std::int64_t m_latestShowTs = INT64_MIN;
};

} // namespace vorkast
