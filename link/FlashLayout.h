// Parsers of the boot loader's "print" and "getinfo" replies.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Finds the deviceinfo partition in a "print" reply. Returns its offset; sets flashType to "nand",
// "spi" or "emmc" when the definition shows the device, and leaves it untouched on every failure
// (no bootargs, no list keyword, no "(deviceinfo)", no colon, or an offset past 4 GiB).
std::uint32_t ParseDeviceInfoOffset(std::string_view reply, std::string& flashType);

// Reads the value after keyword ("Page:" or "Block:") in a "getinfo" reply: the decimal number at
// the start of the next ten characters, times 1024 for a capital K or 1048576 for a capital M
// anywhere in them; 0 when the keyword is absent.
std::uint32_t ParseGetinfoSize(std::string_view reply, std::string_view keyword);
