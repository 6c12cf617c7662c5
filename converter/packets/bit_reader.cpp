// Bits and start codes.
#include "bit_reader.h"

namespace vorkast {

unsigned BitReader::bit() {
    if (m_bit == 0) {
        if (m_pos >= m_size) {
            m_past = true;
            return 0;
        }
        m_byte = m_data[m_pos];
        if (m_emulation && m_zeros >= 2 && m_byte == 3) {
            m_zeros = 0;
            if (++m_pos >= m_size) {
                m_past = true;
                return 0;
            }
            m_byte = m_data[m_pos];
        }
        m_zeros = m_byte == 0 ? m_zeros + 1 : 0;
        ++m_pos;
        m_bit = 8;
    }
    --m_bit;
    return (m_byte >> m_bit) & 1u;
}

unsigned BitReader::read(int count) {
    unsigned value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 1 | bit();
    return value;
}

void BitReader::skip(int count) {
    for (int i = 0; i < count; ++i)
        bit();
}

std::optional<unsigned> BitReader::readUe() {
    int zeros = 0;
    for (;;) {
        const unsigned b = bit();
        if (m_past || zeros > 31)
            return std::nullopt;
        if (b)
            break;
        ++zeros;
    }
    const unsigned rest = read(zeros);
    if (m_past)
        return std::nullopt;
    return ((1u << zeros) - 1) + rest;
}

std::size_t nextStartCode(const std::uint8_t* data, std::size_t size, std::size_t from) {
    for (std::size_t i = from; i + 3 <= size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i;
    return size;
}

std::optional<std::size_t> findStartCode(const std::uint8_t* data, std::size_t size,
                                         std::uint8_t code, std::uint8_t mask, std::size_t after,
                                         std::size_t from) {
    for (std::size_t at = nextStartCode(data, size, from); at + 3 < size;
         at = nextStartCode(data, size, at + 1)) {
        const std::size_t codeByte = at + 3;
        if ((data[codeByte] & mask) != code)
            continue;
        // Any later code has fewer bytes behind it.
        if (size - codeByte - 1 < after)
            return std::nullopt;
        return codeByte;
    }
    return std::nullopt;
}

} // namespace vorkast
