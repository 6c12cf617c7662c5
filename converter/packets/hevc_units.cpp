// Reading HEVC parameter-set records and slice headers.
#include "hevc_units.h"

#include "bit_reader.h"

#include <algorithm>

namespace vorkast::hevc {

std::optional<Config> readConfig(const std::uint8_t* data, std::size_t size) {
    if (!data || size < 4)
        return std::nullopt;
    Config config;
    if (data[0] == 1) {
        // hvcC: 22 bytes of profile and format, the length size, then arrays of units.
        if (size < 23)
            return std::nullopt;
        config.lengthSize = (data[21] & 3) + 1;
        std::size_t pos = 23;
        for (unsigned array = 0; array < data[22]; ++array) {
            if (pos + 3 > size)
                return std::nullopt;
            const unsigned count = unsigned(data[pos + 1]) << 8 | data[pos + 2];
            pos += 3;
            for (unsigned i = 0; i < count; ++i) {
                if (pos + 2 > size)
                    return std::nullopt;
                const std::size_t length = std::size_t(data[pos]) << 8 | data[pos + 1];
                pos += 2;
                if (length > size - pos)
                    return std::nullopt;
                if (length >= 2 && isParameterSet(unitType({data + pos, length})))
                    config.sets.emplace_back(data + pos, data + pos + length);
                pos += length;
            }
        }
    } else {
        for (const Unit& unit : h264::splitUnits(data, size, 0))
            if (isParameterSet(unitType(unit)))
                config.sets.emplace_back(unit.data, unit.data + unit.size);
    }
    // Decoders take them in this order: a set names the one before it.
    std::stable_sort(config.sets.begin(), config.sets.end(), [](const Bytes& a, const Bytes& b) {
        return unitType({a.data(), a.size()}) < unitType({b.data(), b.size()});
    });
    if (config.sets.empty())
        return std::nullopt;
    return config;
}

PictureType pictureType(const std::uint8_t* data, std::size_t size, int lengthSize) {
    for (const Unit& unit : h264::splitUnits(data, size, lengthSize)) {
        const int type = unitType(unit);
        if (type < 0 || type >= kVps)
            continue;
        if (isIrap(type))
            return PictureType::I;
        BitReader bits(unit.data + 2, unit.size - 2, true);
        if (!bits.read(1)) // not the picture's first slice: its header needs the SPS to read
            return PictureType::Unknown;
        if (!bits.readUe()) // the PPS id
            return PictureType::Unknown;
        switch (bits.readUe().value_or(3)) {
        case 0:
            return PictureType::B;
        case 1:
            return PictureType::P;
        case 2:
            return PictureType::I;
        default:
            return PictureType::Unknown;
        }
    }
    return PictureType::Unknown;
}

bool hasIrap(const std::uint8_t* data, std::size_t size, int lengthSize) {
    for (const Unit& unit : h264::splitUnits(data, size, lengthSize))
        if (isIrap(unitType(unit)))
            return true;
    return false;
}

} // namespace vorkast::hevc
