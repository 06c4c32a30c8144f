// Verification after writing: the flash under each written region is read back into board memory and
// the boot loader's CRC-32 of it is compared with the CRC-32 of the bytes that were meant.
#pragma once

#include "DeviceInfo.h"

#include <cstdint>
#include <string>
#include <vector>

// CRC-32 as zlib computes it (reflected, polynomial 0xEDB88320, initial and final XOR 0xFFFFFFFF).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

// The CRC of a "crc32 ADDR COUNT" answer ("crc32 for 81000000 ... 81000045 ==> 1a2b3c4d"); false when
// the output holds none.
bool ParseCrc32Answer(const std::string& output, std::uint32_t& crc);

struct tagWrittenRegion {
    std::string strName; // the operator's name of the region, for the report
    std::uint32_t dwFlashOffset = 0;
    Bytes aBytes; // what was meant to be there
};

// Reads back every region in order; empty when all match, otherwise the status line of the first
// region that does not (or whose commands fail), in the current language.
std::string VerifyWrittenRegions(ICommandSink& sink, const tagFlashLayout& layout, std::uint32_t staging,
                                 const std::vector<tagWrittenRegion>& regions);
