// H.264 access units taken apart into NAL units and put back together, in either of the two
// ways containers store them: with start codes, or each unit behind its length (with the
// parameter sets in an "avcC" record).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace vorkast::h264 {

using Bytes = std::vector<std::uint8_t>;

enum NalType : int { kSlice = 1, kIdr = 5, kSei = 6, kSps = 7, kPps = 8, kAud = 9 };

struct Unit {
    const std::uint8_t* data = nullptr; // from the NAL header byte on
    std::size_t size = 0;
    int type() const { return size ? data[0] & 0x1f : -1; }
};

// The units of one packet. lengthSize 0: start codes; 1, 2 or 4: length-prefixed. Malformed
// data yields the units read so far.
std::vector<Unit> splitUnits(const std::uint8_t* data, std::size_t size, int lengthSize);

// Appends units with start codes, or behind 4-byte lengths.
void appendAnnexB(Bytes& out, const Unit& unit);
void appendLengthPrefixed(Bytes& out, const Unit& unit);
// Either of them: behind a length where lengthPrefixed, else after a start code.
void appendUnit(Bytes& out, const Unit& unit, bool lengthPrefixed);

// The parameter-set id an SPS or PPS unit declares; nullopt for other units or bad data.
std::optional<unsigned> parameterSetId(const Unit& unit);

// What a stream's extradata says.
struct Config {
    int lengthSize = 0;     // 0 when the stream uses start codes
    std::vector<Bytes> sps; // each unit from its header byte on
    std::vector<Bytes> pps;
    Bytes avccExtension; // the bytes after the PPS list of an avcC record, if any
};
// Reads an avcC record or start-code parameter sets; nullopt when neither fits.
std::optional<Config> readConfig(const std::uint8_t* data, std::size_t size);

// An avcC record with 4-byte lengths holding every set of config, profile and level from the
// first SPS.
Bytes writeAvcc(const Config& config);

} // namespace vorkast::h264
