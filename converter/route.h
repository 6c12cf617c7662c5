// One source stream's way into the clip, whatever it is: copied packet by packet, cut exactly
// (copied with the frames at the cuts encoded again), encoded, or subtitles written again. The
// engine runs a plan by handing every packet read to its stream's route, then finishing them.
#pragma once

#include <functional>

extern "C" {
#include <libavcodec/packet.h>
}

namespace vorkast {

class StreamRoute {
public:
    // Takes the clip's packets, ready for the muxer (stream index and times set).
    using Writer = std::function<void(AVPacket*)>;
    virtual ~StreamRoute() = default;

    // A packet of the route's source stream, in the order read; the route may take its data.
    virtual void accept(AVPacket* packet, const Writer& write) = 0;
    // The source has ended or the clip is complete: writes what is still held back.
    virtual void finish(const Writer& write) = 0;
    // True once the stream has passed the section's end.
    virtual bool finished() const = 0;
    // Seconds of the clip this stream covers so far.
    virtual double progress() const = 0;
    // Whether reading goes on while this stream is unfinished: false for subtitles, which never
    // make a clip longer.
    virtual bool holdsClipOpen() const { return true; }
};

} // namespace vorkast
