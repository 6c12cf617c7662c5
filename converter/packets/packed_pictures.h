// MPEG-4 Visual stored AVI's way, with each B-frame packed into the packet of the picture
// before it and an empty stand-in where it would have been.
#pragma once

#include "container_traits.h"
#include "libav_owners.h"

#include <functional>
#include <string_view>
#include <vector>

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavcodec/packet.h>
}

namespace vorkast {

// Whether a stream may hold pictures packed two to a packet: MPEG-4 Visual with B-frames, read
// from a container that packs them.
bool mayHoldPackedPictures(const AVStream* stream, const ContainerTraits& container);
// Whether a packet of such a stream holds two pictures, which tells that it is packed. The first
// such packet comes with the first B-frames.
bool holdsPackedPictures(const AVPacket* packet);

class PackedPictures {
public:
    explicit PackedPictures(const AVCodecParameters* par);

    // Takes a packet apart into packets of one picture each, in decode order. A B-frame packed
    // after the picture before it is decoded in place of the next packet, and whatever that
    // packet brings waits for the packet after, unless it is a picture that is not coded, which
    // only held the place. (The library's filter behind this still takes out the mark that
    // says the stream is packed; on its own it tells such stand-ins by their size, and so drops
    // the few-byte B-frames of still pictures.) A packet without data (the end) passes as is.
    std::vector<PacketPtr> split(AVPacket* packet);

private:
    PacketPtr m_packedB;     // a picture waiting for the packet it is decoded in
    int m_incrementBits = 0; // bits of a picture's time increment; 0 not yet known
};

// Packed pictures taken apart for good: PackedPictures, then the library's filter that takes
// out the mark saying the stream is packed. One picture a packet comes out, in decode order,
// with the times and flags of the packets it came in.
class PictureUnpacker {
public:
    using Take = std::function<void(PacketPtr picture)>;

    // Throws ConvertError(failure: ...) where the filter cannot be set up.
    PictureUnpacker(const AVStream* stream, std::string_view failure);

    // Takes a packet of the stream (and leaves it empty); hands on each picture as it comes
    // free. A packet the filter cannot read is left out, as a decoder skips it.
    void take(AVPacket* packet, const Take& take);
    // The stream has ended: hands on what is left.
    void finish(const Take& take);

private:
    void receive(const Take& take);

    PackedPictures m_split;
    BitstreamFilterPtr m_filter;
};

} // namespace vorkast
