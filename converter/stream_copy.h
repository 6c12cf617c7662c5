// One stream copied packet by packet into the clip, without decoding.
#pragma once

#include "codec_traits.h"
#include "libav_ptr.h"
#include "packed_pictures.h"
#include "reference_rule.h"
#include "route.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

namespace vorkast {

class StreamCopier : public StreamRoute {
public:
    // absStart/absEnd: the section in absolute source seconds. copyFrom: where the clip's first
    // keyframe lies; earlier packets are left out. Video waits for its first keyframe.
    StreamCopier(const AVStream* in, AVStream* out, double absStart, double absEnd,
                 double copyFrom);

    // Turns the source packet into the clip's packet (timestamps counted from absStart, so a
    // keyframe before the start gets a negative time that MP4 covers with an edit list) and
    // writes it, or drops it when it is not part of the clip.
    // Video ends by the frame rule: its last frame is the one before the frame on screen at the
    // end. The first picture in decode order shown at or past that point ends it, so the
    // pictures that refer to it are left out too, even those shown before the end.
    void accept(AVPacket* packet, const Writer& write) override;
    // Writes what is held back once the source has ended.
    void finish(const Writer& write) override;
    // H.264 and HEVC stored MP4-style need start codes in containers without a global header
    // (AVI, MPEG, ASF). Call before the header is written: it adjusts the output's parameters.
    void convertToAnnexB(AVFormatContext* output);
    // MPEG-4 Visual from AVI may hold B-frames packed with the picture before them, which only
    // AVI readers expect: other containers get one picture per packet, each with its display
    // time. Call before the header is written.
    void unpackPictures(const AVFormatContext* input, const AVFormatContext* output);
    // True once the stream has passed the section's end; subtitles never hold the clip open.
    bool finished() const override { return m_finished; }
    bool holdsClipOpen() const override {
        return m_type == AVMEDIA_TYPE_VIDEO || m_type == AVMEDIA_TYPE_AUDIO;
    }
    // Seconds of the clip covered by this stream so far.
    double progress() const override { return m_progress; }

private:
    bool take(AVPacket* packet);
    // Video: holds packets without a decode time until one with a decode time follows, and
    // gives them times that lead up to it.
    bool holdUndated(AVPacket* packet, const Writer& write);
    void dateUndated(std::int64_t nextDts, const Writer& write);
    void acceptTimed(AVPacket* packet, const Writer& write);
    // Packed pictures taken apart: each gets its display time by the reference rule.
    PictureUnpacker::Take unpacked(const Writer& write);
    HeldPictures::Pass unpackedShown(const Writer& write);
    void passShown(AVPacket* picture, bool reference, const Writer& write);
    // Whether a picture without a display time is timed by the reference rule (an MPEG I- or
    // P-picture of a stream that may reorder).
    bool timedByReferences(const AVPacket* packet) const;
    // Video with an end: decides by display time (showTs) which pictures the clip keeps.
    HeldPictures::Pass endsVideo(const Writer& write);
    void acceptVideo(AVPacket* packet, std::int64_t showTs, const Writer& write);
    // Whether a picture shown from showTs for duration is not shown before the frame on screen
    // at the end, so it starts the next section.
    bool pastEnd(std::int64_t showTs, std::int64_t duration) const;
    // Ends the video at a picture shown past the end.
    void endVideo();
    // Video: false for a picture after the first keyframe that the clip cannot decode.
    bool keepsAfterStart(const AVPacket* packet, bool wasStarted);
    void out(AVPacket* packet, const Writer& write);

    const AVStream* m_in;
    BitstreamFilterPtr m_bsf;
    std::unique_ptr<PictureUnpacker> m_unpacker; // set when packed pictures are taken apart
    std::int64_t m_lastUnpackedDts = AV_NOPTS_VALUE;
    bool m_leadingB = false; // B-frames taken apart that follow the clip's first keyframe
    AVStream* m_out;
    AVMediaType m_type;
    CodecFamily m_family; // Other for streams that are no video
    bool m_mpegVideo;
    std::int64_t m_startTs, m_endTs, m_fromTs;
    std::int64_t m_frameTs;     // one frame of the video's rate, for packets without a duration
    std::int64_t m_lastShownTs; // the latest time a frame may start at and still be on screen
                                // at the end
    bool m_started = false;
    bool m_finished = false;
    bool m_leadingPictures = false; // MPEG video: B-pictures of an open group may follow
    double m_progress = 0;
    std::int64_t m_lastDts = AV_NOPTS_VALUE; // in the output's time base
    // Matroska stores display times only; after a seek the reader leaves the decode time of the
    // first pictures out until it has seen enough of them to work it out. Those wait here.
    std::deque<PacketPtr> m_undated;
    std::int64_t m_lastSourceDts = AV_NOPTS_VALUE; // the latest decode time read, source's base
    // Pictures waiting for their display times (reference_rule.h): packed ones taken apart,
    // and, where the video has an end, those of MPEG streams that state none.
    HeldPictures m_unpackedTimes;
    HeldPictures m_shownLater;
};

} // namespace vorkast
