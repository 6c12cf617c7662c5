// HEVC access units: the NAL unit types a cut cares about, the parameter sets a stream's
// extradata carries (an "hvcC" record, or start codes as transport streams have them) and the
// first slice's coding type. Units are split and joined as H.264's (h264_units.h): the same
// start codes and lengths, only the two-byte unit header differs.
#pragma once

#include "codec_traits.h"
#include "h264_units.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vorkast::hevc {

using Bytes = h264::Bytes;
using Unit = h264::Unit;

enum NalType : int {
    kRadlN = 6,
    kRaslR = 9,
    kBlaWLp = 16,
    kBlaNLp = 18,
    kIdrWRadl = 19,
    kIdrNLp = 20,
    kCra = 21,
    kIrapLast = 23,
    kVps = 32,
    kSps = 33,
    kPps = 34,
    kAud = 35,
    kPrefixSei = 39,
};

// The unit's type from its header (h264::Unit::type() reads H.264's one-byte header).
inline int unitType(const Unit& unit) {
    return unit.size >= 2 ? (unit.data[0] >> 1) & 0x3f : -1;
}
// Intra random access points: BLA, IDR and CRA pictures, where decoding can begin.
inline bool isIrap(int type) {
    return type >= kBlaWLp && type <= kIrapLast;
}
// Pictures before their random access point in display order, after it in decode order:
// RADL ones refer only to it, RASL ones also to pictures before it.
inline bool isLeading(int type) {
    return type >= kRadlN && type <= kRaslR;
}
inline bool isParameterSet(int type) {
    return type == kVps || type == kSps || type == kPps;
}
// A header byte with another unit type, the rest of the header kept.
inline std::uint8_t withType(std::uint8_t first, int type) {
    return static_cast<std::uint8_t>((first & 0x81) | (type << 1));
}

// What a stream's extradata says.
struct Config {
    int lengthSize = 0;      // 0 when the stream uses start codes
    std::vector<Bytes> sets; // VPS, SPS and PPS units from their header on, in that order
};
// Reads an hvcC record or start-code parameter sets; nullopt when neither fits or no set is
// found.
std::optional<Config> readConfig(const std::uint8_t* data, std::size_t size);

// The coding type of an access unit's first slice: I for random access points, else the
// slice header's type. Reads headers without extra slice header bits, as encoders write them
// (a PPS may announce some; the type then reads Unknown or wrong, which only its label shows).
PictureType pictureType(const std::uint8_t* data, std::size_t size, int lengthSize);
// Whether the access unit holds a random access point.
bool hasIrap(const std::uint8_t* data, std::size_t size, int lengthSize);

} // namespace vorkast::hevc
