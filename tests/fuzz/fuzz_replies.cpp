// Board replies and operator text are outside our control: the parsers and the block composer must
// neither crash nor read or write out of bounds on any input, and must keep their promises.
#include "DeviceInfo.h"
#include "FlashLayout.h"
#include "ReadBack.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Accepts every command, counts them.
class CCountingSink : public ICommandSink {
public:
    std::size_t count = 0;
    bool SendCommand(const std::string&) override {
        ++count;
        return true;
    }
};

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void FuzzParsers(std::string_view text) {
    std::string type = "untouched";
    const std::uint32_t offset = ParseDeviceInfoOffset(text, type);
    Check(type == "untouched" || type == "nand" || type == "spi" || type == "emmc");
    Check(type == "untouched" || offset == 0 || text.find("(deviceinfo)") != std::string_view::npos);
    ParseGetinfoSize(text, "Page:");
    ParseGetinfoSize(text, "Block:");
    std::uint32_t crc = 0;
    Check(!ParseCrc32Answer(std::string(text), crc) || text.find("==>") != std::string_view::npos);
}

// Fields split at zero bytes: MAC, ID, then key entries.
void FuzzBlock(std::string_view text, bool hasKeyItems) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t zero; (zero = text.find('\0', start)) != std::string_view::npos; start = zero + 1)
        fields.emplace_back(text.substr(start, zero - start));
    fields.emplace_back(text.substr(start));
    fields.resize(std::max<std::size_t>(fields.size(), 2));
    const std::vector<std::string> keys(fields.begin() + 2, fields.end());

    const std::optional<Bytes> block = ComposeDeviceInfoBlock(fields[0], fields[1], keys, hasKeyItems);
    const std::uint32_t length = DeviceInfoBlockLength(fields[1], keys, hasKeyItems);
    if (!block) {
        Check((std::uint64_t(length) + 3) / 4 * 4 > DEVINFO_MAX_SIZE);
        return;
    }
    Check(block->size() == length && (length + 3) / 4 * 4 <= DEVINFO_MAX_SIZE);
    CCountingSink sink;
    tagFlashLayout layout;
    layout.strFlashType = "nand";
    layout.dwBlockSize = 0x20000;
    Check(WriteDeviceInfoBlock(sink, layout, 0x81000000, *block));
    Check(sink.count == (length + 3) / 4 + 3);
}

std::uint32_t Take32(std::string_view& text) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4 && !text.empty(); ++i) {
        v = v << 8 | std::uint8_t(text.front());
        text.remove_prefix(1);
    }
    return v;
}

// A literal offset item on any layout: the guards against wrapped counts and addresses must hold.
void FuzzOffsetItem(std::string_view text) {
    static const char* const kTypes[] = {"nand", "spi", "emmc", ""};
    tagFlashLayout layout;
    layout.strFlashType = text.empty() ? "" : kTypes[std::uint8_t(text.front()) % 4];
    if (!text.empty())
        text.remove_prefix(1);
    layout.dwPartOffset = Take32(text);
    layout.dwBlockSize = Take32(text);
    layout.dwPageSize = Take32(text);
    const std::uint32_t offset = Take32(text);
    const std::string value(text);
    if (value.find("<file") != std::string::npos)
        return;
    CCountingSink sink;
    const ItemOutcome outcome = WriteOffsetItem(sink, layout, 0x81000000, offset, value);
    Check(outcome != ItemOutcome::Failed);
    if (value.empty())
        Check(outcome == ItemOutcome::Written && sink.count == 0);
    else if (outcome == ItemOutcome::Abort)
        Check(sink.count == 0);
    else
        Check(sink.count >= 1 + (value.size() + 4) / 4 + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        FuzzParsers(text);
        break;
    case 1:
        FuzzBlock(text, true);
        break;
    case 2:
        FuzzBlock(text, false);
        break;
    default:
        FuzzOffsetItem(text);
        break;
    }
    return 0;
}
