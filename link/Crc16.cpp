#include "Crc16.h"

#include <array>

namespace {

constexpr std::array<std::uint16_t, 256> MakeTable() {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = std::uint16_t(i << 8);
        for (int b = 0; b < 8; ++b)
            crc = (crc & 0x8000) ? std::uint16_t((crc << 1) ^ 0x1021) : std::uint16_t(crc << 1);
        t[i] = crc;
    }
    return t;
}

constexpr auto kTable = MakeTable();

} // namespace

std::uint16_t CalcCrc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i)
        crc = std::uint16_t((crc << 8) ^ kTable[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}
