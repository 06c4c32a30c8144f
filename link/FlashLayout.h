// Parsers of the boot loader's "print" and "getinfo" replies.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Finds the deviceinfo partition in a "print" reply. Returns its offset; sets flashType to "nand",
// "spi" or "emmc" when the definition shows the device, and leaves it untouched on every failure
// (no bootargs, no list keyword, no "(deviceinfo)", no colon, or an offset past 4 GiB).
// Sizes are summed in 64 bits: an item of 4 GiB or more (say 8192M) simply counts with its full
// size, so the sum passes 4 GiB and the layout is not found. An item whose digits themselves pass
// 4294967295, or that carries a minus sign, cannot be a size and also gives "not found".
std::uint32_t ParseDeviceInfoOffset(std::string_view reply, std::string& flashType);

// Reads the value after keyword ("Page:" or "Block:") in a "getinfo" reply: the decimal number at
// the start of the next ten characters, times 1024 for a capital K or 1048576 for a capital M
// anywhere in them; 0 when the keyword is absent. Also 0 when the size does not fit 32 bits
// (such as "Block: 9999999M" or ten digits past 4294967295) or is negative: a wrapped size would look
// plausible and be used for erasing and writing.
std::uint32_t ParseGetinfoSize(std::string_view reply, std::string_view keyword);

// A console reply as one short line for the status log: the markers "[EOT]" dropped, its lines
// trimmed and joined with " | ", bytes that are not printable shown as '?', at most 200 bytes.
std::string ReplyAsOneLine(std::string_view reply);
