// Taking apart MPEG-4 Visual pictures packed two to a packet.
#include "packed_pictures.h"

#include "bit_reader.h"
#include "bitstream_filter.h"
#include "codec_traits.h"
#include "convert_error.h"

#include <cstring>

namespace vorkast {

bool mayHoldPackedPictures(const AVStream* stream, const ContainerTraits& container) {
    return stream->codecpar->codec_id == AV_CODEC_ID_MPEG4 && stream->codecpar->video_delay > 0 &&
           container.packsBFrames;
}

bool holdsPackedPictures(const AVPacket* packet) {
    return packet->data && packet->size > 0 &&
           mpeg4::pictureCount(packet->data, static_cast<std::size_t>(packet->size), 2) >= 2;
}

PackedPictures::PackedPictures(const AVCodecParameters* par)
    : m_incrementBits(par->extradata
                          ? mpeg4::timeIncrementBits(par->extradata,
                                                     static_cast<std::size_t>(par->extradata_size))
                          : 0) {}

std::vector<PacketPtr> PackedPictures::split(AVPacket* packet) {
    std::vector<PacketPtr> out;
    if (!packet->data) {
        out.push_back(makePacket());
        av_packet_move_ref(out.back().get(), packet);
        return out;
    }
    if (m_incrementBits == 0)
        m_incrementBits =
            mpeg4::timeIncrementBits(packet->data, static_cast<std::size_t>(packet->size));
    // Where each of the first two pictures begins (its start code prefix).
    std::vector<int> starts;
    const auto size = static_cast<std::size_t>(packet->size);
    for (auto at = findStartCode(packet->data, size, 0xB6, 0xFF, 1); at && starts.size() < 2;
         at = findStartCode(packet->data, size, 0xB6, 0xFF, 1, *at))
        starts.push_back(static_cast<int>(*at) - 3);
    const auto part = [&](int from, int to) {
        PacketPtr piece = makePacket();
        check(av_new_packet(piece.get(), to - from), "cannot unpack the copied video");
        std::memcpy(piece->data, packet->data + from, static_cast<std::size_t>(to - from));
        check(av_packet_copy_props(piece.get(), packet), "cannot unpack the copied video");
        return piece;
    };
    if (starts.size() >= 2) {
        // The packed B-frame waits; one still waiting had lost the packet it stood for.
        out.push_back(part(0, starts[1]));
        m_packedB = part(starts[1], packet->size);
        return out;
    }
    if (!m_packedB || starts.empty()) {
        out.push_back(part(0, packet->size));
        return out;
    }
    check(av_packet_copy_props(m_packedB.get(), packet), "cannot unpack the copied video");
    out.push_back(std::move(m_packedB));
    const std::uint8_t* vop = packet->data + starts[0];
    const auto vopSize = static_cast<std::size_t>(packet->size - starts[0]);
    // Without the layer header, by size as decoders do: a stand-in is a few bytes.
    const bool coded =
        m_incrementBits > 0 ? mpeg4::vopCoded(vop, vopSize, m_incrementBits) : vopSize > 7;
    if (coded)
        m_packedB = part(0, packet->size);
    return out;
}

PictureUnpacker::PictureUnpacker(const AVStream* stream, std::string_view failure)
    : m_split(stream->codecpar),
      m_filter(openBitstreamFilter("mpeg4_unpack_bframes", stream->codecpar, stream->time_base,
                                   failure)) {}

void PictureUnpacker::take(AVPacket* packet, const Take& take) {
    for (PacketPtr& single : m_split.split(packet)) {
        if (av_bsf_send_packet(m_filter.get(), single.get()) < 0)
            continue;
        receive(take);
    }
    av_packet_unref(packet);
}

void PictureUnpacker::finish(const Take& take) {
    av_bsf_send_packet(m_filter.get(), nullptr);
    receive(take);
}

void PictureUnpacker::receive(const Take& take) {
    for (;;) {
        PacketPtr picture = makePacket();
        if (av_bsf_receive_packet(m_filter.get(), picture.get()) < 0)
            return;
        take(std::move(picture));
    }
}

} // namespace vorkast
