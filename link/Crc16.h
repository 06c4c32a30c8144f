#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16/XMODEM: polynomial 0x1021, initial 0, not reflected, no final xor. Frames carry it high
// byte first.
std::uint16_t CalcCrc16(const std::uint8_t* data, std::size_t length);
