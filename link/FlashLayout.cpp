#include "FlashLayout.h"

#include "StrUtil.h"

#include <optional>

namespace {

constexpr std::uint64_t kMax32 = 0xFFFFFFFFull;

// The reply buffer is a C string on the board side; anything after a zero byte is stale.
std::string_view UpToFirstZero(std::string_view reply) {
    return reply.substr(0, reply.find('\0'));
}

// The leading decimal number of text, as the one number reader sees it, but only when it is a
// true unsigned 32-bit count: digits past 4294967295 (the reader wraps them into a small, wrong
// size) and a minus sign in front of non-zero digits give nothing.
std::optional<std::uint32_t> ReadCount(std::string_view text) {
    const std::uint32_t value = tv::ReadLeadingDecimal(text);
    std::size_t i = 0;
    while (i < text.size() && tv::IsSpace(text[i]))
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    while (i < text.size() && text[i] == '0')
        ++i;
    std::size_t end = i;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    const std::string_view digits = text.substr(i, end - i);
    if (digits.empty())
        return 0u;
    if (negative)
        return std::nullopt;
    // A wrapped read prints differently from the digits it came from.
    if (digits != tv::Format("%u", value))
        return std::nullopt;
    return value;
}

// One partition of the size list: the number before the name, with the unit taken from the last
// character left once the name is cut off (so 1M@2M counts as 1 MiB, and 0x100000 as 0).
std::optional<std::uint64_t> PartitionSize(std::string_view item) {
    const std::size_t paren = item.rfind('(');
    if (paren != std::string_view::npos)
        item = item.substr(0, paren);
    const std::optional<std::uint32_t> value = ReadCount(item);
    if (!value)
        return std::nullopt;
    std::uint64_t unit = 1;
    if (!item.empty()) {
        const char last = item.back();
        if (last == 'k' || last == 'K')
            unit = 1024;
        else if (last == 'm' || last == 'M')
            unit = 1048576;
    }
    return std::uint64_t(*value) * unit;
}

} // namespace

std::uint32_t ParseDeviceInfoOffset(std::string_view reply, std::string& flashType) {
    const std::string_view text = UpToFirstZero(reply);

    const std::size_t args = text.find("bootargs=");
    if (args == std::string_view::npos)
        return 0;
    const std::size_t from = args + (sizeof "bootargs=" - 1);

    // The search runs to the end of the reply, so a list in a later variable still counts.
    std::size_t listStart = text.find("mtdparts=", from);
    if (listStart != std::string_view::npos) {
        listStart += sizeof "mtdparts=" - 1;
    } else {
        listStart = text.find("blkdevparts=", from);
        if (listStart == std::string_view::npos)
            return 0;
        listStart += sizeof "blkdevparts=" - 1;
    }

    const std::size_t entry = text.find("(deviceinfo)", listStart);
    if (entry == std::string_view::npos)
        return 0;
    const std::string_view definition = text.substr(listStart, entry - listStart);

    const std::size_t colon = definition.rfind(':');
    if (colon == std::string_view::npos)
        return 0;
    std::string_view sizes = definition.substr(colon + 1);

    // Tested on the whole definition, other devices' texts included; "nand" wins over the rest.
    const char* type = nullptr;
    if (tv::Contains(definition, "nand"))
        type = "nand";
    else if (tv::Contains(definition, "_sfc"))
        type = "spi";
    else if (tv::Contains(definition, "mmc"))
        type = "emmc";

    // Summed in 64 bits: a partition that starts past 4 GiB (usual on eMMC) must not wrap into an
    // offset inside some other partition. It counts as not found, so the job takes its layout exit.
    std::uint64_t offset = 0;
    for (std::size_t comma = sizes.find(','); comma != std::string_view::npos; comma = sizes.find(',')) {
        const std::optional<std::uint64_t> size = PartitionSize(sizes.substr(0, comma));
        if (!size)
            return 0;
        offset += *size;
        if (offset > kMax32)
            return 0;
        sizes.remove_prefix(comma + 1);
    }

    if (type)
        flashType = type;
    return std::uint32_t(offset);
}

std::uint32_t ParseGetinfoSize(std::string_view reply, std::string_view keyword) {
    const std::string_view text = UpToFirstZero(reply);
    if (keyword.empty())
        return 0;
    const std::size_t at = text.find(keyword);
    if (at == std::string_view::npos)
        return 0;
    const std::string_view field = text.substr(at + keyword.size(), 10);

    std::uint64_t unit = 1;
    if (tv::Contains(field, "K"))
        unit = 1024;
    else if (tv::Contains(field, "M"))
        unit = 1048576;

    // A size that wrapped would be small and plausible, and the job would erase and write with it;
    // an unreadable one is reported as missing instead.
    const std::optional<std::uint32_t> value = ReadCount(field);
    if (!value)
        return 0;
    const std::uint64_t size = std::uint64_t(*value) * unit;
    return size > kMax32 ? 0 : std::uint32_t(size);
}

std::string ReplyAsOneLine(std::string_view reply) {
    constexpr std::size_t kLimit = 200;
    std::string text(reply);
    for (std::size_t at; (at = text.find("[EOT]")) != std::string::npos;)
        text.erase(at, 5);
    std::string line;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        const std::string part = tv::Trim(std::string_view(text).substr(start, end - start));
        if (!part.empty()) {
            if (!line.empty())
                line += " | ";
            for (char c : part)
                line += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
        }
        start = end + 1;
    }
    if (line.size() > kLimit)
        line = line.substr(0, kLimit - 3) + "...";
    return line;
}
