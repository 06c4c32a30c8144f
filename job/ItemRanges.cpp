#include "ItemRanges.h"

#include "ExtraItems.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <filesystem>
#include <system_error>

std::uint64_t OffsetItemDataSize(const std::string& value) {
    if (value.empty())
        return 0;
    if (!IsFileReference(value))
        return std::uint64_t(value.size()) + 1;
    const std::string path = FileReferencePath(value);
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        return 0;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : std::uint64_t(size) + 1;
}

std::uint64_t DeviceInfoBlockSpan(std::uint32_t blockLength) {
    return (std::uint64_t(blockLength) + 3) / 4 * 4;
}

std::string FindItemOverlap(const BurnConfig& config, std::uint32_t blockLength,
                            const std::vector<std::uint64_t>& sizes) {
    const std::uint64_t blockEnd = DeviceInfoBlockSpan(blockLength);
    const std::size_t n = std::min(sizes.size(), config.m_aExtraInfo.size());
    auto begin = [&](std::size_t i) { return std::uint64_t(config.m_aExtraInfo[i].dwOffset); };
    auto last = [&](std::size_t i) { return unsigned(begin(i) + sizes[i] - 1); };
    for (std::size_t i = 0; i < n; ++i) {
        if (sizes[i] == 0)
            continue;
        const std::string name = OffsetItemName(config, i);
        if (begin(i) < blockEnd)
            return tv::FormatRuntime(Txt(strItemOverlapsBlock), name.c_str(), unsigned(begin(i)), last(i),
                                     unsigned(blockEnd - 1));
        for (std::size_t j = 0; j < i; ++j) {
            if (sizes[j] == 0 || begin(j) >= begin(i) + sizes[i] || begin(i) >= begin(j) + sizes[j])
                continue;
            return tv::FormatRuntime(Txt(strItemsOverlap), OffsetItemName(config, j).c_str(),
                                     unsigned(begin(j)), last(j), name.c_str(), unsigned(begin(i)), last(i));
        }
    }
    return std::string();
}
