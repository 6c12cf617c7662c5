// Taking apart MPEG-4 Visual pictures packed two to a packet.
#include "packed_pictures.h"

#include "convert_error.h"

#include <cstring>

namespace vorkast {

int mpeg4PictureType(const AVPacket* packet) {
    for (int i = 0; i + 4 < packet->size; ++i)
        if (packet->data[i] == 0 && packet->data[i + 1] == 0 && packet->data[i + 2] == 1 &&
            packet->data[i + 3] == 0xB6)
            return packet->data[i + 4] >> 6;
    return -1;
}

namespace {

// Reads the bits of an MPEG-4 Visual header, most significant first; past the end it reads 0.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    unsigned read(int count) {
        unsigned value = 0;
        for (int i = 0; i < count; ++i, ++m_bit) {
            const std::size_t byte = m_bit / 8;
            const unsigned bit = byte < m_size ? (m_data[byte] >> (7 - m_bit % 8)) & 1 : 0;
            value = value << 1 | bit;
        }
        return value;
    }
    void skip(int count) { m_bit += static_cast<std::size_t>(count); }
    bool past() const { return m_bit > m_size * 8; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_bit = 0;
};

// MPEG-4 Visual: the bits of a picture's time increment, read from the first video object
// layer header in data, or 0 when there is none.
int timeIncrementBits(const std::uint8_t* data, int size) {
    for (int i = 0; i + 4 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1 || (data[i + 3] & 0xF0) != 0x20)
            continue;
        BitReader bits(data + i + 4, static_cast<std::size_t>(size - i - 4));
        bits.skip(1 + 8); // random access, object type
        unsigned verid = 1;
        if (bits.read(1)) {
            verid = bits.read(4);
            bits.skip(3);
        }
        if (bits.read(4) == 15) // extended pixel aspect ratio
            bits.skip(16);
        if (bits.read(1)) { // control parameters
            bits.skip(2 + 1);
            if (bits.read(1)) // buffer parameters
                bits.skip(79);
        }
        const unsigned shape = bits.read(2);
        if (shape == 3 && verid != 1)
            bits.skip(4);
        bits.skip(1);
        const unsigned resolution = bits.read(16);
        if (bits.past() || resolution == 0)
            return 0;
        int count = 1;
        while (count < 16 && ((resolution - 1) >> count) != 0)
            ++count;
        return count;
    }
    return 0;
}

// MPEG-4 Visual: whether the picture starting at data (its start code) is coded; a picture that
// is not stands in for a frame, as the packet after one with a B-frame packed into it does.
bool vopCoded(const std::uint8_t* data, std::size_t size, int incrementBits) {
    BitReader bits(data + 4, size > 4 ? size - 4 : 0);
    bits.skip(2); // coding type
    // A 1 for each whole second since the last time base, then a 0; the time increment
    // between two markers.
    for (int seconds = 0; seconds < 64 && bits.read(1); ++seconds)
        continue;
    bits.skip(1 + incrementBits + 1);
    return bits.read(1) != 0;
}

} // namespace

PackedPictures::PackedPictures(const AVCodecParameters* par)
    : m_incrementBits(timeIncrementBits(par->extradata, par->extradata_size)) {}

std::vector<PacketPtr> PackedPictures::split(AVPacket* packet) {
    std::vector<PacketPtr> out;
    if (!packet->data) {
        out.push_back(makePacket());
        av_packet_move_ref(out.back().get(), packet);
        return out;
    }
    if (m_incrementBits == 0)
        m_incrementBits = timeIncrementBits(packet->data, packet->size);
    std::vector<int> starts;
    for (int i = 0; i + 4 < packet->size && starts.size() < 2; ++i)
        if (packet->data[i] == 0 && packet->data[i + 1] == 0 && packet->data[i + 2] == 1 &&
            packet->data[i + 3] == 0xB6)
            starts.push_back(i);
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
    const bool coded = m_incrementBits > 0 ? vopCoded(vop, vopSize, m_incrementBits) : vopSize > 7;
    if (coded)
        m_packedB = part(0, packet->size);
    return out;
}

} // namespace vorkast
