// When a picture without a display time is shown, for streams that reorder their pictures:
// a B-picture is shown as it is decoded, and an I- or P-picture is shown when the next I- or
// P-picture is decoded, the B-pictures between them shown before it; the last one waiting is
// shown one frame after the last picture decoded. MPEG program streams leave the display time
// out of most I- and P-pictures, and AVI states none at all.
//
// This file is the one place that rule is written: DisplayClock (display_times.h) tells it as a
// packet's facts, and HeldPictures applies it to packets that are to be passed on with their
// display times, in decode order.
#pragma once

#include "libav_owners.h"
#include "media_time.h"

#include <functional>
#include <vector>

namespace vorkast {

class ReferenceRule {
public:
    struct Step {
        // This picture's display time comes with the next reference picture.
        bool waits = false;
        // A picture waited for this one, which is a reference picture: it is shown at this
        // picture's decode time (revealed).
        bool reveals = false;
        MediaTime revealed;
    };

    // Pictures in decode order. reference: an I- or P-picture of a stream that reorders (pass
    // false where nothing is shown later than decoded); timed: it has a display time of its own.
    // A picture without a decode time has no place in the order: it neither waits nor reveals.
    Step take(const MediaTime& decode, bool reference, bool timed);
    // The end of the stream: when the picture still waiting is shown, one frame after the last
    // picture decoded (frame none: at it); none when none waits.
    MediaTime finish(const MediaTime& frame);
    bool waiting() const { return m_waiting; }
    // After a seek: nothing read before counts.
    void restart();

private:
    bool m_waiting = false;
    MediaTime m_lastDecoded;
};

// Packets of one video stream in decode order, held back by the reference rule until each one's
// display time is known and then passed on, still in decode order, with it: a reference picture
// without a display time waits, and the pictures decoded after it wait behind it.
class HeldPictures {
public:
    // shown: the packet's display time in its stream's time base (its own where it has one);
    // AV_NOPTS_VALUE where nothing tells it. The packet's own timestamps are left as they are.
    using Pass = std::function<void(AVPacket* packet, std::int64_t shown, bool reference)>;

    explicit HeldPictures(AVRational timeBase) : m_base(timeBase) {}

    // reference: as for ReferenceRule::take. The decode time is the packet's, else its
    // display time.
    void take(PacketPtr packet, bool reference, const Pass& pass);
    // The same for a packet that is not owned yet: its data is moved out, leaving it empty.
    void take(AVPacket* packet, bool reference, const Pass& pass);
    // The stream has ended: passes on what waits. frameTicks: one frame, in the time base.
    void finish(std::int64_t frameTicks, const Pass& pass);
    bool holding() const { return m_reference != nullptr; }

private:
    struct Held {
        PacketPtr packet;
        std::int64_t shown;
        bool reference;
    };
    void release(const MediaTime& shown, const Pass& pass);

    AVRational m_base;
    ReferenceRule m_rule;
    PacketPtr m_reference;      // waits for its display time
    std::vector<Held> m_behind; // decoded after it
};

} // namespace vorkast
