// Building the bytes of codec headers for tests of the packet library: bits written most
// significant first, and the MPEG-1/2 and MPEG-4 Visual headers the library reads.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace vorkast::test {

using Bytes = std::vector<std::uint8_t>;

// Writes bits most significant first, as the headers are laid out.
class BitWriter {
public:
    BitWriter& bits(unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (m_used == 0)
                m_bytes.push_back(0);
            m_bytes.back() |= static_cast<std::uint8_t>(((value >> i) & 1u) << (7 - m_used));
            m_used = (m_used + 1) % 8;
        }
        return *this;
    }
    BitWriter& ue(unsigned value) {
        const unsigned coded = value + 1;
        int length = 0;
        while ((coded >> length) > 1)
            ++length;
        bits(0, length);
        return bits(coded, length + 1);
    }
    Bytes done() const { return m_bytes; }

private:
    Bytes m_bytes;
    int m_used = 0;
};

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// An MPEG-1/2 picture header: start code, ten bits of temporal reference, three of type.
inline Bytes mpeg12Picture(int temporalReference, int codingType) {
    return cat({{0, 0, 1, 0},
                BitWriter().bits(temporalReference, 10).bits(codingType, 3).bits(0, 19).done()});
}

// An MPEG-4 video object layer header with the given time resolution (so many bits of time
// increment follow in each picture), none of the optional parts.
inline Bytes mpeg4Vol(unsigned resolution) {
    return cat({{0, 0, 1, 0x20},
                BitWriter()
                    .bits(0, 1) // random access
                    .bits(1, 8) // object type
                    .bits(0, 1) // no verid
                    .bits(1, 4) // square pixels
                    .bits(0, 1) // no control parameters
                    .bits(0, 2) // rectangular
                    .bits(1, 1) // marker
                    .bits(resolution, 16)
                    .bits(1, 1)
                    .bits(0, 7)
                    .done()});
}

// An MPEG-4 picture: start code, coding type, no whole seconds, the increment, coded or not.
inline Bytes mpeg4Vop(int codingType, int incrementBits, bool coded) {
    return cat({{0, 0, 1, 0xB6},
                BitWriter()
                    .bits(codingType, 2)
                    .bits(0, 1) // no whole seconds
                    .bits(1, 1) // marker
                    .bits(0, incrementBits)
                    .bits(1, 1) // marker
                    .bits(coded ? 1 : 0, 1)
                    .bits(0, 16)
                    .done()});
}

} // namespace vorkast::test
