// Where the offset items land in the partition, and the refusal of items that would overwrite the
// device info block or one another.
#pragma once

#include "BurnConfig.h"

#include <cstdint>
#include <string>
#include <vector>

// D of an offset item's value: the text's length plus its zero byte, or the named file's size plus
// the zero byte. 0 when the item writes nothing, or when its file cannot be read (the job then
// aborts on it before anything of it is written).
std::uint64_t OffsetItemDataSize(const std::string& value);

// The bytes [0, 4 * ceil(L / 4)) that the block's words occupy in the partition.
std::uint64_t DeviceInfoBlockSpan(std::uint32_t blockLength);

// sizes[i] is D of config.m_aExtraInfo[i] (0: writes nothing). The first overlap, in configuration
// order, as the operator's message in the current language: an item on the block's bytes, or two
// items on each other's. Empty when every item keeps to its own bytes.
std::string FindItemOverlap(const BurnConfig& config, std::uint32_t blockLength,
                            const std::vector<std::uint64_t>& sizes);
