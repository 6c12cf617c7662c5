// When each picture of a stream is shown, worked out once as its packets are read.
//
// Pictures without a display time are timed by the reference rule (reference_rule.h). A
// keyframe's display time is wanted at once, before the next reference picture is read: MPEG-1/2
// tell it by the keyframe's temporal reference (the open group's leading B-pictures are shown
// before it), and elsewhere a decode time is moved on by the decoder's reorder delay.
#pragma once

#include "codec_traits.h"
#include "container_traits.h"
#include "media_time.h"
#include "reference_rule.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace vorkast {

// A packet's facts, in its stream's time base.
struct PacketFacts {
    MediaTime decode;  // the decode time the container states
    MediaTime display; // when the picture is shown; the decode time where that is all there is;
                       // none while it waits for the next reference picture (displayPending)
    bool displayPending = false;
    // The display time of the earlier picture that waited for this one: this packet is a
    // reference picture, and the one before it is shown as it is decoded. None otherwise.
    MediaTime revealed;
    bool keyframe = false; // the container flags it as one
    // A keyframe whose picture stands alone: not a P- or B-picture the container flags anyway,
    // nor the few-byte stand-in of a packed B-frame (AVI flags those as keyframes too).
    bool keyPicture = false;
    MediaTime keyShown;    // a keyframe's display time, known at once; none for others
    bool canStart = false; // a decoder can begin here (codec_traits.h)
    PictureType type = PictureType::Unknown;
    MediaTime duration; // the packet's own, else one frame of the stream; none for sound
                        // without one
    // The display time, else the decode time; none when neither is known yet.
    MediaTime at() const { return display ? display : decode; }
};

// How much later than its decode time a decoder shows a picture of a stream that reorders, in
// the stream's time base: the reorder delay and one frame more, for the decoder's own stamps run
// a frame behind as well. 0 when the stream does not reorder or its rate is unknown.
std::int64_t reorderLead(const AVStream* stream);

class DisplayClock {
public:
    // unpacked: the stream's packed B-frames (container_traits.h) have been taken apart, one
    // picture a packet, so the reference-picture rule holds for it.
    DisplayClock(const AVStream* stream, const ContainerTraits& container, bool unpacked = false);

    PacketFacts take(const AVPacket* packet);
    // The end of the stream: when the picture still waiting is shown (one frame after the last
    // picture decoded); none when none waits.
    MediaTime finish();
    // After a seek: nothing read before counts.
    void restart();

    CodecFamily family() const { return m_family; }
    // Whether pictures are shown in another order than they are decoded.
    bool reorders() const { return m_stream->codecpar->video_delay > 0; }
    // Whether pictures without display times are timed by the reference-picture rule.
    bool timesReferences() const { return m_timesReferences; }

private:
    MediaTime keyframeShown(const AVPacket* packet, const MediaTime& at) const;

    const AVStream* m_stream;
    ContainerTraits m_container;
    CodecFamily m_family;
    int m_lengthSize = 0; // H.264's or HEVC's NAL length size, 0 with start codes
    bool m_video = false;
    bool m_timesReferences = false;
    MediaTime m_frame; // one frame, none when the rate is unknown
    ReferenceRule m_references;
};

} // namespace vorkast
