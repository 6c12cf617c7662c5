// Reading the bits of codec headers and finding their start codes (00 00 01 and the code byte).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vorkast {

// Reads bits most significant first. Past the end it reads 0 and past() tells. With
// emulationPrevention (H.264, HEVC) a 03 byte after two zero bytes is skipped, as the payload
// of a NAL unit is read.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size, bool emulationPrevention = false)
        : m_data(data), m_size(size), m_emulation(emulationPrevention) {}
    // count up to 32.
    unsigned read(int count);
    void skip(int count);
    // An unsigned Exp-Golomb code; nullopt when it runs past the end or past 32 bits.
    std::optional<unsigned> readUe();
    bool past() const { return m_past; }

private:
    unsigned bit();

    const std::uint8_t* m_data;
    std::size_t m_size;
    bool m_emulation;
    std::size_t m_pos = 0; // the byte the next bit comes from
    int m_bit = 0;         // bits left in m_byte
    int m_zeros = 0;       // zero bytes in a row, for emulation prevention
    std::uint8_t m_byte = 0;
    bool m_past = false;
};

// Where the next start code prefix (00 00 01) begins at or after from; size when none.
std::size_t nextStartCode(const std::uint8_t* data, std::size_t size, std::size_t from = 0);

// The first start code whose code byte b has (b & mask) == code and which is followed by at
// least after more bytes: the offset of its code byte (three past the prefix), or nullopt.
// The search begins with a prefix at from or later.
std::optional<std::size_t> findStartCode(const std::uint8_t* data, std::size_t size,
                                         std::uint8_t code, std::uint8_t mask = 0xFF,
                                         std::size_t after = 0, std::size_t from = 0);

} // namespace vorkast
