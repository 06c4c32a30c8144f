#include "BootLoader.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include <zlib.h>

namespace {

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

// The boot loader reads every number as hexadecimal, with or without 0x. Anything else is refused
// rather than read as 0, so a malformed command cannot quietly hit address 0.
std::optional<std::uint32_t> ParseHex(const std::string& text) {
    std::size_t i = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        i = 2;
    if (i == text.size())
        return std::nullopt;
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        unsigned d;
        if (c >= '0' && c <= '9')
            d = unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = unsigned(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * 16 + d;
        if (value > 0xffffffffu)
            return std::nullopt;
    }
    return std::uint32_t(value);
}

std::string Hex(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

tagCommandResult Fail(const std::string& line) {
    return {false, line + "\r\n"};
}

tagCommandResult Ok(const std::string& output = std::string()) {
    return {true, output};
}

constexpr std::uint64_t kRamEnd = 1ull << 32;
constexpr std::uint64_t kMmcBlock = 512;

} // namespace

CBootLoader::CBootLoader(const tagBoardOptions& options)
    : m_Options(options), m_Ram(kRamEnd, 0x00, kRamPageBudget),
      m_Flash(options.qwFlashSize, options.flash == EFlashType::Emmc ? 0x00 : 0xff,
              (options.qwFlashSize + CSparseMemory::kPageSize - 1) / CSparseMemory::kPageSize) {}

void CBootLoader::PowerOn(bool newBoard) {
    m_Ram.Clear();
    m_bSfProbed = false;
    m_bCorrupted = false;
    if (newBoard)
        m_Flash.Clear();
}

tagCommandResult CBootLoader::Run(const std::string& text) {
    std::vector<std::string> words = SplitWords(text);
    if (words.empty())
        return Fail("empty command");
    const std::string& verb = words[0];
    std::vector<std::string> args(words.begin() + 1, words.end());
    if (verb == "print" || verb == "printenv")
        return Print(args);
    if (verb == "getinfo")
        return GetInfo(args);
    if (verb == "mw.b")
        return MemoryWrite(args, 1);
    if (verb == "mw.l")
        return MemoryWrite(args, 4);
    if (verb == "sf")
        return SerialFlash(args);
    if (verb == "nand")
        return Nand(args);
    if (verb == "mmc")
        return Mmc(args);
    if (verb == "crc32")
        return Crc32(args);
    return Fail("Unknown command '" + verb + "'");
}

tagCommandResult CBootLoader::Print(const std::vector<std::string>& args) const {
    const std::vector<std::pair<std::string, std::string>> env = {
        {"bootdelay", "1"},
        {"baudrate", "115200"},
        {"bootargs", m_Options.strBootargs},
        {"bootcmd", "run loadkernel; bootm"},
        {"ethaddr", "02:00:00:00:00:01"},
        {"ipaddr", "192.168.1.10"},
        {"serverip", "192.168.1.1"},
        {"stdin", "serial"},
        {"stdout", "serial"},
    };
    std::string out;
    if (args.empty()) {
        for (const auto& [name, value] : env)
            out += name + "=" + value + "\r\n";
        out += "\r\nEnvironment size: " + std::to_string(out.size()) + "/65532 bytes\r\n";
        return Ok(out);
    }
    for (const std::string& wanted : args) {
        auto it = std::find_if(env.begin(), env.end(), [&](const auto& v) { return v.first == wanted; });
        if (it == env.end())
            return {false, out + "## Error: \"" + wanted + "\" not defined\r\n"};
        out += it->first + "=" + it->second + "\r\n";
    }
    return Ok(out);
}

tagCommandResult CBootLoader::GetInfo(const std::vector<std::string>& args) const {
    if (args.size() != 1)
        return Fail("usage: getinfo nand|spi|emmc");
    if (args[0] != FlashTypeName(m_Options.flash))
        return Fail("getinfo: no " + args[0] + " flash on this board");
    std::string out = std::string("Flash: ") + FlashTypeName(m_Options.flash) + ", " +
                      std::to_string(m_Options.qwFlashSize >> 10) + " KiB\r\n";
    out += m_Options.strGetinfoPage + "\r\n";
    out += m_Options.strGetinfoBlock + "\r\n";
    return Ok(out);
}

// mw.b ADDR VALUE [COUNT] fills COUNT bytes; mw.l ADDR VALUE [COUNT] stores COUNT little-endian words.
tagCommandResult CBootLoader::MemoryWrite(const std::vector<std::string>& args, unsigned width) {
    const char* usage =
        width == 1 ? "usage: mw.b address value [count]" : "usage: mw.l address value [count]";
    if (args.size() < 2 || args.size() > 3)
        return Fail(usage);
    auto address = ParseHex(args[0]);
    auto value = ParseHex(args[1]);
    auto count = args.size() == 3 ? ParseHex(args[2]) : std::optional<std::uint32_t>(1);
    if (!address || !value || !count)
        return Fail(usage);
    if (width == 1 && *value > 0xff)
        return Fail("mw.b: value " + args[1] + " does not fit in a byte");
    if (*address % width != 0)
        return Fail("mw.l: unaligned address " + Hex(*address));
    std::uint64_t bytes = std::uint64_t(*count) * width;
    if (!m_Ram.CanStore(*address, bytes))
        return Fail("mw: " + Hex(bytes) + " bytes at " + Hex(*address) + " exceed the memory");
    if (width == 1) {
        m_Ram.Fill(*address, std::uint8_t(*value), bytes);
    } else {
        std::uint8_t word[4] = {std::uint8_t(*value), std::uint8_t(*value >> 8), std::uint8_t(*value >> 16),
                                std::uint8_t(*value >> 24)};
        for (std::uint64_t i = 0; i < *count; ++i)
            m_Ram.Write(*address + 4 * i, word, 4);
    }
    return Ok();
}

tagCommandResult CBootLoader::Erase(const char* who, std::uint64_t offset, std::uint64_t length) {
    if (!m_Flash.Contains(offset, length))
        return Fail(std::string(who) + ": erase of " + Hex(length) + " bytes at " + Hex(offset) +
                    " is outside the flash (" + Hex(m_Flash.Size()) + " bytes)");
    m_Flash.Fill(offset, m_Flash.Blank(), length);
    return Ok(std::string(who) + ": erased " + Hex(length) + " bytes at " + Hex(offset) + "\r\n");
}

tagCommandResult CBootLoader::CopyToFlash(const char* who, std::uint64_t address, std::uint64_t offset,
                                          std::uint64_t length) {
    if (!m_Flash.Contains(offset, length))
        return Fail(std::string(who) + ": write of " + Hex(length) + " bytes at " + Hex(offset) +
                    " is outside the flash (" + Hex(m_Flash.Size()) + " bytes)");
    if (!m_Ram.Contains(address, length))
        return Fail(std::string(who) + ": source " + Hex(address) + " + " + Hex(length) +
                    " leaves the memory");
    std::vector<std::uint8_t> chunk(std::min<std::uint64_t>(length, 1 << 16));
    bool overwrite = m_Options.flash == EFlashType::Emmc;
    for (std::uint64_t done = 0; done < length;) {
        std::uint64_t n = std::min<std::uint64_t>(chunk.size(), length - done);
        m_Ram.Read(address + done, chunk.data(), n);
        if (overwrite)
            m_Flash.Write(offset + done, chunk.data(), n);
        else
            m_Flash.Program(offset + done, chunk.data(), n);
        done += n;
    }
    const std::uint64_t corrupt = m_Options.qwCorruptFlashAt;
    // Once per power-on: a later write that reads the byte back first keeps the fault.
    if (!m_bCorrupted && corrupt >= offset && corrupt - offset < length) {
        m_bCorrupted = true;
        std::uint8_t byte = 0;
        m_Flash.Read(corrupt, &byte, 1);
        byte ^= 0x01;
        m_Flash.Write(corrupt, &byte, 1);
    }
    return Ok(std::string(who) + ": wrote " + Hex(length) + " bytes from " + Hex(address) + " to " +
              Hex(offset) + "\r\n");
}

tagCommandResult CBootLoader::CopyToRam(const char* who, std::uint64_t address, std::uint64_t offset,
                                        std::uint64_t length) {
    if (!m_Flash.Contains(offset, length))
        return Fail(std::string(who) + ": read of " + Hex(length) + " bytes at " + Hex(offset) +
                    " is outside the flash (" + Hex(m_Flash.Size()) + " bytes)");
    if (!m_Ram.CanStore(address, length))
        return Fail(std::string(who) + ": destination " + Hex(address) + " + " + Hex(length) +
                    " leaves the memory");
    std::vector<std::uint8_t> chunk(std::min<std::uint64_t>(length, 1 << 16));
    for (std::uint64_t done = 0; done < length;) {
        std::uint64_t n = std::min<std::uint64_t>(chunk.size(), length - done);
        m_Flash.Read(offset + done, chunk.data(), n);
        m_Ram.Write(address + done, chunk.data(), n);
        done += n;
    }
    return Ok(std::string(who) + ": read " + Hex(length) + " bytes from " + Hex(offset) + " to " +
              Hex(address) + "\r\n");
}

tagCommandResult CBootLoader::Crc32(const std::vector<std::string>& args) const {
    auto address = args.size() == 2 ? ParseHex(args[0]) : std::nullopt;
    auto count = args.size() == 2 ? ParseHex(args[1]) : std::nullopt;
    if (!address || !count)
        return Fail("usage: crc32 address count");
    if (!m_Ram.Contains(*address, *count))
        return Fail("crc32: " + Hex(*count) + " bytes at " + Hex(*address) + " leave the memory");
    uLong crc = crc32(0L, Z_NULL, 0);
    std::vector<std::uint8_t> chunk(std::min<std::uint64_t>(std::max<std::uint32_t>(*count, 1), 1 << 16));
    for (std::uint64_t done = 0; done < *count;) {
        std::uint64_t n = std::min<std::uint64_t>(chunk.size(), *count - done);
        m_Ram.Read(*address + done, chunk.data(), n);
        crc = crc32(crc, chunk.data(), uInt(n));
        done += n;
    }
    const std::uint64_t last = *count ? std::uint64_t(*address) + *count - 1 : *address;
    char line[96];
    std::snprintf(line, sizeof line, "crc32 for %08llx ... %08llx ==> %08lx\r\n",
                  static_cast<unsigned long long>(*address), static_cast<unsigned long long>(last),
                  static_cast<unsigned long>(crc));
    return Ok(line);
}

tagCommandResult CBootLoader::SerialFlash(const std::vector<std::string>& args) {
    if (m_Options.flash != EFlashType::Spi)
        return Fail("sf: no SPI flash on this board");
    if (!args.empty() && args[0] == "probe") {
        if (args.size() > 2 || (args.size() == 2 && ParseHex(args[1]) != 0u))
            return Fail("sf: no SPI flash on bus " + (args.size() == 2 ? args[1] : std::string()));
        m_bSfProbed = true;
        return Ok("SF: flash on bus 0, " + std::to_string(m_Flash.Size() >> 10) + " KiB\r\n");
    }
    if (!args.empty() && (args[0] == "erase" || args[0] == "write" || args[0] == "read") && !m_bSfProbed)
        return Fail("sf: no flash selected, run 'sf probe' first");
    if (args.size() == 3 && args[0] == "erase") {
        auto offset = ParseHex(args[1]), length = ParseHex(args[2]);
        if (offset && length)
            return Erase("sf", *offset, *length);
    } else if (args.size() == 4 && args[0] == "write") {
        auto address = ParseHex(args[1]), offset = ParseHex(args[2]), length = ParseHex(args[3]);
        if (address && offset && length)
            return CopyToFlash("sf", *address, *offset, *length);
    } else if (args.size() == 4 && args[0] == "read") {
        auto address = ParseHex(args[1]), offset = ParseHex(args[2]), length = ParseHex(args[3]);
        if (address && offset && length)
            return CopyToRam("sf", *address, *offset, *length);
    }
    return Fail("usage: sf probe [0] | sf erase offset length | sf write|read address offset length");
}

tagCommandResult CBootLoader::Nand(const std::vector<std::string>& args) {
    if (m_Options.flash != EFlashType::Nand)
        return Fail("nand: no NAND flash on this board");
    if (args.size() == 3 && args[0] == "erase") {
        auto offset = ParseHex(args[1]), length = ParseHex(args[2]);
        if (offset && length)
            return Erase("nand", *offset, *length);
    } else if (args.size() == 4 && args[0] == "write") {
        auto address = ParseHex(args[1]), offset = ParseHex(args[2]), length = ParseHex(args[3]);
        if (address && offset && length)
            return CopyToFlash("nand", *address, *offset, *length);
    } else if (args.size() == 4 && args[0] == "read") {
        auto address = ParseHex(args[1]), offset = ParseHex(args[2]), length = ParseHex(args[3]);
        if (address && offset && length)
            return CopyToRam("nand", *address, *offset, *length);
    }
    return Fail("usage: nand erase offset length | nand write|read address offset length");
}

// mmc write|read DEV ADDR BLK CNT: CNT 512-byte blocks between RAM and the card from block BLK.
tagCommandResult CBootLoader::Mmc(const std::vector<std::string>& args) {
    if (m_Options.flash != EFlashType::Emmc)
        return Fail("mmc: no eMMC on this board");
    if (args.size() == 5 && (args[0] == "write" || args[0] == "read")) {
        auto device = ParseHex(args[1]), address = ParseHex(args[2]), block = ParseHex(args[3]),
             count = ParseHex(args[4]);
        if (device && address && block && count) {
            if (*device != 0)
                return Fail("mmc: no device " + args[1]);
            const std::uint64_t offset = std::uint64_t(*block) * kMmcBlock,
                                length = std::uint64_t(*count) * kMmcBlock;
            return args[0] == "write" ? CopyToFlash("mmc", *address, offset, length)
                                      : CopyToRam("mmc", *address, offset, length);
        }
    }
    return Fail("usage: mmc write|read 0 address block count");
}
