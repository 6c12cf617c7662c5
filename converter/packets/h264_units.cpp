// Splitting and joining H.264 NAL units.
#include "h264_units.h"

#include "bit_reader.h"

namespace vorkast::h264 {

namespace {

std::size_t startCodeAt(const std::uint8_t* data, std::size_t size, std::size_t from,
                        std::size_t& codeLength) {
    const std::size_t i = nextStartCode(data, size, from);
    if (i == size) {
        codeLength = 0;
        return size;
    }
    codeLength = 3;
    if (i > from && data[i - 1] == 0) {
        codeLength = 4;
        return i - 1;
    }
    return i;
}

} // namespace

std::vector<Unit> splitUnits(const std::uint8_t* data, std::size_t size, int lengthSize) {
    std::vector<Unit> units;
    if (lengthSize > 0) {
        std::size_t pos = 0;
        while (pos + lengthSize <= size) {
            std::size_t length = 0;
            for (int i = 0; i < lengthSize; ++i)
                length = length << 8 | data[pos + i];
            pos += lengthSize;
            if (length == 0 || length > size - pos)
                break;
            units.push_back({data + pos, length});
            pos += length;
        }
        return units;
    }
    std::size_t codeLength = 0;
    std::size_t at = startCodeAt(data, size, 0, codeLength);
    while (at < size) {
        const std::size_t begin = at + codeLength;
        std::size_t nextLength = 0;
        const std::size_t next = startCodeAt(data, size, begin, nextLength);
        std::size_t end = next;
        while (end > begin && data[end - 1] == 0) // trailing zero bytes belong to no unit
            --end;
        if (end > begin)
            units.push_back({data + begin, end - begin});
        at = next;
        codeLength = nextLength;
    }
    return units;
}

void appendAnnexB(Bytes& out, const Unit& unit) {
    static constexpr std::uint8_t code[] = {0, 0, 0, 1};
    out.insert(out.end(), code, code + 4);
    out.insert(out.end(), unit.data, unit.data + unit.size);
}

void appendLengthPrefixed(Bytes& out, const Unit& unit) {
    const auto n = static_cast<std::uint32_t>(unit.size);
    const std::uint8_t length[] = {std::uint8_t(n >> 24), std::uint8_t(n >> 16),
                                   std::uint8_t(n >> 8), std::uint8_t(n)};
    out.insert(out.end(), length, length + 4);
    out.insert(out.end(), unit.data, unit.data + unit.size);
}

void appendUnit(Bytes& out, const Unit& unit, bool lengthPrefixed) {
    if (lengthPrefixed)
        appendLengthPrefixed(out, unit);
    else
        appendAnnexB(out, unit);
}

std::optional<unsigned> parameterSetId(const Unit& unit) {
    if (unit.type() == kSps) {
        if (unit.size < 5)
            return std::nullopt;
        // profile_idc, constraint flags and level_idc come before the id.
        return BitReader(unit.data + 4, unit.size - 4, true).readUe();
    }
    if (unit.type() == kPps)
        return BitReader(unit.data + 1, unit.size - 1, true).readUe();
    return std::nullopt;
}

std::optional<Config> readConfig(const std::uint8_t* data, std::size_t size) {
    if (!data || size < 4)
        return std::nullopt;
    Config config;
    if (data[0] == 1) {
        if (size < 7)
            return std::nullopt;
        config.lengthSize = (data[4] & 3) + 1;
        std::size_t pos = 5;
        auto readList = [&](std::vector<Bytes>& list, unsigned count) {
            for (unsigned i = 0; i < count; ++i) {
                if (pos + 2 > size)
                    return false;
                const std::size_t length = std::size_t(data[pos]) << 8 | data[pos + 1];
                pos += 2;
                if (length == 0 || length > size - pos)
                    return false;
                list.emplace_back(data + pos, data + pos + length);
                pos += length;
            }
            return true;
        };
        if (!readList(config.sps, data[pos++] & 0x1f) || pos >= size ||
            !readList(config.pps, data[pos++]))
            return std::nullopt;
        config.avccExtension.assign(data + pos, data + size);
        return config;
    }
    for (const Unit& unit : splitUnits(data, size, 0)) {
        if (unit.type() == kSps)
            config.sps.emplace_back(unit.data, unit.data + unit.size);
        else if (unit.type() == kPps)
            config.pps.emplace_back(unit.data, unit.data + unit.size);
    }
    if (config.sps.empty() || config.pps.empty())
        return std::nullopt;
    return config;
}

Bytes writeAvcc(const Config& config) {
    Bytes out;
    const Bytes& first = config.sps.front();
    out = {1,
           first.size() > 1 ? first[1] : std::uint8_t(100),
           first.size() > 2 ? first[2] : std::uint8_t(0),
           first.size() > 3 ? first[3] : std::uint8_t(40),
           0xff,
           std::uint8_t(0xe0 | (config.sps.size() & 0x1f))};
    auto put = [&](const Bytes& unit) {
        out.push_back(std::uint8_t(unit.size() >> 8));
        out.push_back(std::uint8_t(unit.size()));
        out.insert(out.end(), unit.begin(), unit.end());
    };
    for (const Bytes& sps : config.sps)
        put(sps);
    out.push_back(std::uint8_t(config.pps.size()));
    for (const Bytes& pps : config.pps)
        put(pps);
    out.insert(out.end(), config.avccExtension.begin(), config.avccExtension.end());
    return out;
}

} // namespace vorkast::h264
