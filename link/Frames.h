// Builders of every frame on the line: the boot ROM's start, head, data and tail frames and the
// console's command head and word frames. Each ends with its CRC-16/XMODEM, high byte first.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kAck = 0xAA;
constexpr std::uint32_t kMaxDataPerFrame = 1024;
// The command word frame is built in a 128-byte buffer: 1 kind byte, the text, 2 CRC bytes.
constexpr std::size_t kMaxCommandLength = 125;

Bytes BuildStartFrame(std::uint32_t tick1, std::uint32_t tick2);
Bytes BuildHeadFrame(std::uint32_t length, std::uint32_t address);
Bytes BuildDataFrame(std::uint8_t number, const std::uint8_t* data, std::uint32_t n);
Bytes BuildTailFrame(std::uint8_t number);
Bytes BuildCommandHeadFrame(std::uint16_t length);
Bytes BuildCommandWordFrame(std::string_view text);

// Appends the CRC of everything in the frame so far, high byte first.
void AppendCrc(Bytes& frame);
// True when the frame's last two bytes are the CRC of the bytes before them.
bool CheckCrc(const std::uint8_t* frame, std::size_t length);
