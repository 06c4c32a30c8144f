// The board's memories and the boot loader's console commands that act on them.
#pragma once

#include "BoardOptions.h"
#include "SparseMemory.h"

#include <string>

struct tagCommandResult {
    bool bOk = false;
    std::string strOutput; // lines ending in "\r\n", without the end marker
};

class CBootLoader {
public:
    static constexpr std::uint64_t kRamPageBudget = 65536; // 256 MiB of touched RAM

    explicit CBootLoader(const tagBoardOptions& options);

    // A power-on: RAM and the serial flash's probe state are lost; a swapped board also brings a
    // blank flash.
    void PowerOn(bool newBoard);

    tagCommandResult Run(const std::string& text);

    CSparseMemory& Ram() { return m_Ram; }
    CSparseMemory& Flash() { return m_Flash; }

private:
    tagCommandResult Print(const std::vector<std::string>& args) const;
    tagCommandResult GetInfo(const std::vector<std::string>& args) const;
    tagCommandResult MemoryWrite(const std::vector<std::string>& args, unsigned width);
    tagCommandResult SerialFlash(const std::vector<std::string>& args);
    tagCommandResult Nand(const std::vector<std::string>& args);
    tagCommandResult Mmc(const std::vector<std::string>& args);
    // Flash erase and RAM-to-flash copy shared by sf, nand and mmc.
    tagCommandResult Erase(const char* who, std::uint64_t offset, std::uint64_t length);
    tagCommandResult CopyToFlash(const char* who, std::uint64_t address, std::uint64_t offset,
                                 std::uint64_t length);
    // Flash-to-RAM copy shared by sf, nand and mmc read.
    tagCommandResult CopyToRam(const char* who, std::uint64_t address, std::uint64_t offset,
                               std::uint64_t length);
    // crc32 ADDR COUNT: zlib's CRC-32 of RAM bytes.
    tagCommandResult Crc32(const std::vector<std::string>& args) const;

    const tagBoardOptions& m_Options;
    CSparseMemory m_Ram;
    CSparseMemory m_Flash;
    bool m_bSfProbed = false;
    bool m_bCorrupted = false; // --corrupt-flash has struck in this power-on
};
