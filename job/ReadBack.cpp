#include "ReadBack.h"

#include "StrUtil.h"
#include "TextTables.h"

#include <array>

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

} // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        c = kCrcTable[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

bool ParseCrc32Answer(const std::string& output, std::uint32_t& crc) {
    const std::size_t arrow = output.rfind("==>");
    if (arrow == std::string::npos)
        return false;
    std::size_t i = arrow + 3;
    while (i < output.size() && output[i] == ' ')
        ++i;
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (; i < output.size() && digits < 9; ++i, ++digits) {
        const char c = output[i];
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0)
            break;
        value = value * 16 + unsigned(d);
    }
    // Exactly eight digits, as the boot loader prints a CRC; anything else is no answer.
    if (digits != 8)
        return false;
    crc = std::uint32_t(value);
    return true;
}

std::string VerifyWrittenRegions(ICommandSink& sink, const tagFlashLayout& layout, std::uint32_t staging,
                                 const std::vector<tagWrittenRegion>& regions) {
    for (const tagWrittenRegion& region : regions) {
        if (region.aBytes.empty())
            continue;
        const std::uint32_t expected = Crc32(region.aBytes.data(), region.aBytes.size());
        const tagFlashSpan span = CoveringSpan(layout, region.dwFlashOffset, region.aBytes.size());
        const auto report = [&](TextId text, const std::string& board) {
            return tv::FormatRuntime(Txt(text), region.strName.c_str(), unsigned(region.dwFlashOffset),
                                     unsigned(region.aBytes.size()), unsigned(expected), board.c_str());
        };
        // The region's bytes were written, so its span fits 32 bits and the staging area.
        const std::uint32_t address = staging + std::uint32_t(region.dwFlashOffset - span.qwStart);
        std::uint32_t board = 0;
        if (span.qwLength == 0 || !sink.SendCommand(ReadCommand(layout, staging, span)) ||
            !sink.SendCommand(
                tv::Format("crc32 0x%x 0x%x", unsigned(address), unsigned(region.aBytes.size()))) ||
            !ParseCrc32Answer(sink.LastOutput(), board))
            return report(strVerifyNoAnswer, std::string());
        if (board != expected)
            return report(strVerifyMismatch, tv::Format("%08x", unsigned(board)));
    }
    return std::string();
}
