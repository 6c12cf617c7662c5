// Reading picture headers of H.264, HEVC, MPEG-1/2 and MPEG-4 Visual.
#include "codec_traits.h"

#include "bit_reader.h"
#include "h264_units.h"
#include "hevc_units.h"

namespace vorkast {

CodecFamily codecFamily(AVCodecID id) {
    switch (id) {
    case AV_CODEC_ID_H264:
        return CodecFamily::H264;
    case AV_CODEC_ID_HEVC:
        return CodecFamily::Hevc;
    case AV_CODEC_ID_MPEG1VIDEO:
    case AV_CODEC_ID_MPEG2VIDEO:
        return CodecFamily::Mpeg12;
    case AV_CODEC_ID_MPEG4:
        return CodecFamily::Mpeg4Part2;
    default:
        return CodecFamily::Other;
    }
}

int nalLengthSize(CodecFamily family, const std::uint8_t* extradata, std::size_t size) {
    if (family == CodecFamily::H264)
        if (const auto config = h264::readConfig(extradata, size))
            return config->lengthSize;
    if (family == CodecFamily::Hevc)
        if (const auto config = hevc::readConfig(extradata, size))
            return config->lengthSize;
    return 0;
}

namespace mpeg12 {

namespace {
constexpr std::uint8_t kPicture = 0x00;
constexpr std::uint8_t kSequence = 0xB3;
constexpr std::uint8_t kGroup = 0xB8;
} // namespace

std::optional<PictureHeader> pictureHeader(const std::uint8_t* data, std::size_t size) {
    const auto at = findStartCode(data, size, kPicture, 0xFF, 2);
    if (!at)
        return std::nullopt;
    const std::uint8_t* header = data + *at + 1;
    PictureHeader picture;
    picture.temporalReference = (header[0] << 2) | (header[1] >> 6);
    switch ((header[1] >> 3) & 7) {
    case 1:
        picture.type = PictureType::I;
        break;
    case 2:
        picture.type = PictureType::P;
        break;
    case 3:
        picture.type = PictureType::B;
        break;
    default:
        break;
    }
    return picture;
}

bool hasSequenceHeader(const std::uint8_t* data, std::size_t size) {
    return findStartCode(data, size, kSequence).has_value();
}

bool opensClosedGroup(const std::uint8_t* data, std::size_t size) {
    const auto at = findStartCode(data, size, kGroup, 0xFF, 4);
    return at && ((data[*at + 4] >> 6) & 1);
}

} // namespace mpeg12

namespace mpeg4 {

namespace {
constexpr std::uint8_t kVop = 0xB6;
constexpr std::uint8_t kVol = 0x20; // 0x20 to 0x2F
} // namespace

PictureType pictureType(const std::uint8_t* data, std::size_t size) {
    const auto at = findStartCode(data, size, kVop, 0xFF, 1);
    if (!at)
        return PictureType::Unknown;
    static constexpr PictureType types[] = {PictureType::I, PictureType::P, PictureType::B,
                                            PictureType::S};
    return types[data[*at + 1] >> 6];
}

bool hasVolHeader(const std::uint8_t* data, std::size_t size) {
    return findStartCode(data, size, kVol, 0xF0).has_value();
}

int timeIncrementBits(const std::uint8_t* data, std::size_t size) {
    const auto at = findStartCode(data, size, kVol, 0xF0, 1);
    if (!at)
        return 0;
    BitReader bits(data + *at + 1, size - *at - 1);
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

int pictureCount(const std::uint8_t* data, std::size_t size, int most) {
    int count = 0;
    for (auto at = findStartCode(data, size, kVop); at && count < most;
         at = findStartCode(data, size, kVop, 0xFF, 0, *at))
        ++count;
    return count;
}

} // namespace mpeg4

namespace h264 {

PictureType pictureType(const std::uint8_t* data, std::size_t size, int lengthSize) {
    for (const Unit& unit : splitUnits(data, size, lengthSize)) {
        if (unit.type() != kSlice && unit.type() != kIdr)
            continue;
        BitReader bits(unit.data + 1, unit.size - 1, true);
        if (!bits.readUe()) // first macroblock
            return PictureType::Unknown;
        const auto sliceType = bits.readUe();
        if (!sliceType)
            return PictureType::Unknown;
        switch (*sliceType % 5) {
        case 0:
        case 3:
            return PictureType::P;
        case 1:
            return PictureType::B;
        default:
            return PictureType::I;
        }
    }
    return PictureType::Unknown;
}

bool hasIdr(const std::uint8_t* data, std::size_t size, int lengthSize) {
    for (const Unit& unit : splitUnits(data, size, lengthSize))
        if (unit.type() == kIdr)
            return true;
    return false;
}

} // namespace h264

PictureType pictureType(CodecFamily family, const AVPacket* packet, int lengthSize) {
    if (!packet->data || packet->size <= 0)
        return PictureType::Unknown;
    const auto size = static_cast<std::size_t>(packet->size);
    switch (family) {
    case CodecFamily::H264:
        return h264::pictureType(packet->data, size, lengthSize);
    case CodecFamily::Hevc:
        return hevc::pictureType(packet->data, size, lengthSize);
    case CodecFamily::Mpeg12: {
        const auto header = mpeg12::pictureHeader(packet->data, size);
        return header ? header->type : PictureType::Unknown;
    }
    case CodecFamily::Mpeg4Part2:
        return mpeg4::pictureType(packet->data, size);
    case CodecFamily::Other:
        break;
    }
    return PictureType::Unknown;
}

bool isStandIn(CodecFamily family, const AVPacket* packet) {
    return family == CodecFamily::Mpeg4Part2 && packet->size <= 7;
}

bool canStartDecoding(CodecFamily family, const AVPacket* packet, int lengthSize) {
    if (!(packet->flags & AV_PKT_FLAG_KEY))
        return false;
    if (!packet->data || packet->size <= 0)
        return family == CodecFamily::Other;
    const auto size = static_cast<std::size_t>(packet->size);
    switch (family) {
    case CodecFamily::H264:
        return h264::hasIdr(packet->data, size, lengthSize);
    case CodecFamily::Hevc:
        return hevc::hasIrap(packet->data, size, lengthSize);
    case CodecFamily::Mpeg12:
        return mpeg12::hasSequenceHeader(packet->data, size);
    case CodecFamily::Mpeg4Part2:
        return mpeg4::pictureType(packet->data, size) == PictureType::I;
    case CodecFamily::Other:
        break;
    }
    return true;
}

} // namespace vorkast
