#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ogg {

// The Ogg page checksum: CRC-32 with polynomial 0x04C11DB7, most significant
// bit first, initial value 0, no final inversion. Entry i of the table is the
// CRC of byte i shifted to the top of the register.
inline constexpr std::array<std::uint32_t, 256> crcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 0x80000000U) ? (r << 1) ^ 0x04C11DB7U : r << 1;
        table[i] = r;
    }
    return table;
}();

[[nodiscard]] constexpr std::uint32_t crc(const unsigned char *data, std::size_t size, std::uint32_t crc = 0)
{
    for (std::size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ crcTable[((crc >> 24) ^ data[i]) & 0xFFU];
    return crc;
}

} // namespace ogg
