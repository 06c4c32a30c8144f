#include "DeviceInfo.h"

#include "ExtraItems.h"
#include "ItemFileCheck.h"
#include "SafeFile.h"
#include "StrUtil.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::uint64_t kMax32 = 0xFFFFFFFFull;
constexpr std::size_t kMacLength = 17;
constexpr char kMagic[] = "MAGICNUM=deviceinfo";
constexpr char kLengthTag[] = "LENGTH=";
// "MAGICNUM=deviceinfo", 0, "LENGTH=", eight digits, 0: the part before the key entries that shares
// the second buffer with them.
constexpr std::size_t kHeaderLength = (sizeof kMagic - 1) + 1 + (sizeof kLengthTag - 1) + 8 + 1;
constexpr std::size_t kMaxKeyEntryBytes = DEVINFO_MAX_SIZE - kHeaderLength;
constexpr std::uint32_t kEmmcSector = 512;
constexpr std::uint32_t kSerialFlashUnit = 0x100;

std::size_t KeyEntryBytes(const std::vector<std::string>& keyEntries) {
    std::size_t bytes = 0;
    for (const std::string& entry : keyEntries)
        bytes += entry.size() + 1;
    return bytes;
}

// L before any capacity check, in a type that cannot wrap for any string the job can hold.
std::uint64_t BlockLength(const std::string& id, const std::vector<std::string>& keyEntries,
                          bool hasKeyItems) {
    std::uint64_t length = kMacLength + 1 + std::uint64_t(id.size()) + 1;
    if (hasKeyItems)
        length += kHeaderLength + KeyEntryBytes(keyEntries);
    return length;
}

// "nand" and "sf" are the console's words for their flash; eMMC has its own command form.
std::string CommandWord(const std::string& flashType) {
    if (flashType == "spi")
        return "sf";
    if (flashType == "nand" || flashType == "emmc")
        return flashType;
    return std::string();
}

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

enum class FileRead { Ok, Abort };

// The file of a "<file" value, read through the one safe reader: only a regular file, never more
// than the item limit, and no longer than an erase block when it starts in the first one.
FileRead ReadItemFile(const std::string& path, std::uint32_t offset, std::uint32_t blockSize, Bytes& data) {
    if (path.empty())
        return FileRead::Abort;
    // Longer than an erase block, it would run past the first block into what the block phase wrote.
    const std::uint64_t limit =
        offset < blockSize ? std::min<std::uint64_t>(blockSize, kMaxItemFileBytes) : kMaxItemFileBytes;
    if (ReadRegularFile(path, limit, data) != FileFault::None)
        return FileRead::Abort;
    try {
        data.push_back(0);
    } catch (const std::bad_alloc&) {
        return FileRead::Abort;
    }
    return FileRead::Ok;
}

} // namespace

bool ChangesFlash(const std::string& command) {
    const std::size_t space = command.find(' ');
    if (space == std::string::npos)
        return false;
    const std::string verb = command.substr(space + 1, 6);
    return verb == "erase " || verb == "write ";
}

std::uint32_t StagingAddress(int boardType) {
    return boardType == 4 ? 0x01000000u : 0x81000000u;
}

std::uint32_t DeviceInfoBlockLength(const std::string& id, const std::vector<std::string>& keyEntries,
                                    bool hasKeyItems) {
    const std::uint64_t length = BlockLength(id, keyEntries, hasKeyItems);
    return length > kMax32 ? std::uint32_t(kMax32) : std::uint32_t(length);
}

bool DeviceInfoBlockFits(const std::string& id, const std::vector<std::string>& keyEntries,
                         bool hasKeyItems) {
    if (RoundUp(BlockLength(id, keyEntries, hasKeyItems), 4) > DEVINFO_MAX_SIZE)
        return false;
    return !hasKeyItems || KeyEntryBytes(keyEntries) <= kMaxKeyEntryBytes;
}

std::optional<Bytes> ComposeDeviceInfoBlock(const std::string& mac, const std::string& id,
                                            const std::vector<std::string>& keyEntries, bool hasKeyItems) {
    if (!DeviceInfoBlockFits(id, keyEntries, hasKeyItems))
        return std::nullopt;
    const std::uint64_t length = BlockLength(id, keyEntries, hasKeyItems);

    Bytes block(std::size_t(length), 0);
    std::memcpy(block.data(), mac.data(), std::min(mac.size(), kMacLength));
    std::size_t at = kMacLength + 1;
    std::memcpy(block.data() + at, id.data(), id.size());
    at += id.size() + 1;
    if (!hasKeyItems)
        return block;

    std::string header = kMagic;
    header.push_back('\0');
    header += kLengthTag;
    header += tv::Format("%08x", unsigned(length));
    header.push_back('\0');
    std::memcpy(block.data() + at, header.data(), header.size());
    at += header.size();
    for (const std::string& entry : keyEntries) {
        std::memcpy(block.data() + at, entry.data(), entry.size());
        at += entry.size() + 1;
    }
    return block;
}

std::vector<std::uint32_t> ToWords(const Bytes& data) {
    std::vector<std::uint32_t> words((data.size() + 3) / 4, 0);
    for (std::size_t i = 0; i < data.size(); ++i)
        words[i / 4] |= std::uint32_t(data[i]) << (8 * (i % 4));
    return words;
}

bool StageToBoardRam(ICommandSink& sink, std::uint32_t staging, const std::string& fill, const Bytes& data) {
    bool ok = sink.SendCommand(fill);
    const std::vector<std::uint32_t> words = ToWords(data);
    for (std::size_t k = 0; k < words.size() && ok; ++k)
        ok = sink.SendCommand(tv::Format("mw.l 0x%x 0x%x 1", unsigned(staging + 4 * k), unsigned(words[k])));
    return ok;
}

bool WriteDeviceInfoBlock(ICommandSink& sink, const tagFlashLayout& layout, std::uint32_t staging,
                          const Bytes& block) {
    const std::string t = CommandWord(layout.strFlashType);
    const std::uint32_t p = layout.dwPartOffset;
    const std::uint32_t b = layout.dwBlockSize;
    // The job never gets here without a type and a block size; refuse rather than divide by zero.
    if (t.empty() || b == 0)
        return false;
    const bool emmc = t == "emmc";
    const std::uint64_t span = RoundUp(block.size(), 4);
    // On eMMC the block takes as many 512-byte blocks as its words need, so none of its bytes is lost;
    // one erase block of nand or serial flash must hold it whole.
    const std::uint32_t count = emmc ? std::uint32_t(RoundUp(span, kEmmcSector) / kEmmcSector) : 1;
    if (!emmc && span > b)
        return false;

    const std::string fill =
        tv::Format("mw.b 0x%x 0xff 0x%x", staging, emmc ? unsigned(count * kEmmcSector) : unsigned(b));
    const std::string erase = tv::Format("%s erase 0x%x 0x%x", t.c_str(), p, b);
    std::string write = tv::Format("%s write 0x%x 0x%x 0x%x", t.c_str(), staging, p, b);
    if (emmc)
        write = count <= 1 ? tv::Format("mmc write 0 0x%x 0x%x 1", staging, p / b)
                           : tv::Format("mmc write 0 0x%x 0x%x 0x%x", staging, p / b, unsigned(count));

    if (!StageToBoardRam(sink, staging, fill, block))
        return false;
    if (t == "sf" && !sink.SendCommand("sf probe 0"))
        return false;
    if (!emmc && !sink.SendCommand(erase))
        return false;
    return sink.SendCommand(write);
}

bool PlaceBytes(ICommandSink& sink, std::uint32_t address, const Bytes& data) {
    std::size_t i = 0;
    auto byte = [&] {
        const bool ok =
            sink.SendCommand(tv::Format("mw.b 0x%x 0x%x 1", unsigned(address + i), unsigned(data[i])));
        ++i;
        return ok;
    };
    while (i < data.size() && (address + i) % 4 != 0)
        if (!byte())
            return false;
    for (; i + 4 <= data.size(); i += 4) {
        const std::uint32_t word = std::uint32_t(data[i]) | std::uint32_t(data[i + 1]) << 8 |
                                   std::uint32_t(data[i + 2]) << 16 | std::uint32_t(data[i + 3]) << 24;
        if (!sink.SendCommand(tv::Format("mw.l 0x%x 0x%x 1", unsigned(address + i), unsigned(word))))
            return false;
    }
    while (i < data.size())
        if (!byte())
            return false;
    return true;
}

ItemOutcome ReadOffsetItemData(const std::string& value, std::uint32_t offset, std::uint32_t blockSize,
                               Bytes& data) {
    data.clear();
    if (value.empty())
        return ItemOutcome::Written;
    if (IsFileReference(value))
        return ReadItemFile(FileReferencePath(value), offset, blockSize, data) == FileRead::Abort
                   ? ItemOutcome::Abort
                   : ItemOutcome::Written;
    try {
        data.assign(value.begin(), value.end());
        data.push_back(0);
    } catch (const std::bad_alloc&) {
        return ItemOutcome::Abort;
    }
    return ItemOutcome::Written;
}

tagFlashSpan CoveringSpan(const tagFlashLayout& layout, std::uint64_t flashOffset, std::uint64_t size) {
    const std::uint64_t unit = CommandWord(layout.strFlashType) == "emmc" ? kEmmcSector : layout.dwBlockSize;
    tagFlashSpan span;
    if (unit == 0)
        return span;
    span.qwStart = flashOffset / unit * unit;
    span.qwLength = RoundUp(flashOffset + size, unit) - span.qwStart;
    return span;
}

std::string ReadCommand(const tagFlashLayout& layout, std::uint32_t staging, const tagFlashSpan& span) {
    const std::string t = CommandWord(layout.strFlashType);
    if (t == "emmc")
        return tv::Format("mmc read 0 0x%x 0x%x 0x%x", staging, unsigned(span.qwStart / kEmmcSector),
                          unsigned(span.qwLength / kEmmcSector));
    return tv::Format("%s read 0x%x 0x%x 0x%x", t.c_str(), staging, unsigned(span.qwStart),
                      unsigned(span.qwLength));
}

ItemOutcome WriteItemData(ICommandSink& sink, const tagFlashLayout& layout, std::uint32_t staging,
                          std::uint32_t offset, const Bytes& data) {
    if (data.empty())
        return ItemOutcome::Written;
    const std::string t = CommandWord(layout.strFlashType);
    const std::uint32_t p = layout.dwPartOffset;
    const std::uint32_t b = layout.dwBlockSize;
    if (t.empty() || b == 0)
        return ItemOutcome::Abort;
    const std::uint64_t q = std::uint64_t(p) + offset;
    // A wrapped flash offset would write somewhere else entirely.
    if (q + data.size() > kMax32 + 1)
        return ItemOutcome::Abort;

    // Inside the first erase block, which the block phase erased: staged behind a fill and programmed
    // as the flash's write unit.
    if (t != "emmc") {
        const std::uint64_t unit = t == "nand" ? layout.dwPageSize : kSerialFlashUnit;
        if (unit == 0)
            return ItemOutcome::Abort;
        const std::uint64_t w = RoundUp(data.size(), unit);
        if (std::uint64_t(offset) + w <= b) {
            if (std::uint64_t(staging) + w > kMax32 + 1)
                return ItemOutcome::Abort;
            // The fill covers the whole write, so no leftovers of the block phase go into the flash;
            // the last word's bytes go one by one, so no padding zero is programmed past the item.
            if (!sink.SendCommand(tv::Format("mw.b 0x%x 0xff %x", staging, unsigned(w))) ||
                !PlaceBytes(sink, staging, data))
                return ItemOutcome::Failed;
            if (t == "sf" && !sink.SendCommand("sf probe 0"))
                return ItemOutcome::Failed;
            return sink.SendCommand(
                       tv::Format("%s write 0x%x 0x%x 0x%x", t.c_str(), staging, unsigned(q), unsigned(w)))
                       ? ItemOutcome::Written
                       : ItemOutcome::Failed;
        }
    }

    // Anywhere else: read the whole blocks that cover the item, change its bytes in memory, and put
    // the blocks back (after an erase on nand and serial flash), so every other byte keeps its value.
    const tagFlashSpan span = CoveringSpan(layout, q, data.size());
    if (span.qwStart + span.qwLength > kMax32 + 1 || std::uint64_t(staging) + span.qwLength > kMax32 + 1)
        return ItemOutcome::Abort;
    const unsigned e = unsigned(span.qwStart), n = unsigned(span.qwLength);
    if (t == "sf" && !sink.SendCommand("sf probe 0"))
        return ItemOutcome::Failed;
    if (!sink.SendCommand(ReadCommand(layout, staging, span)) ||
        !PlaceBytes(sink, staging + std::uint32_t(q - span.qwStart), data))
        return ItemOutcome::Failed;
    if (t == "emmc")
        return sink.SendCommand(
                   tv::Format("mmc write 0 0x%x 0x%x 0x%x", staging, e / kEmmcSector, n / kEmmcSector))
                   ? ItemOutcome::Written
                   : ItemOutcome::Failed;
    if (!sink.SendCommand(tv::Format("%s erase 0x%x 0x%x", t.c_str(), e, n)))
        return ItemOutcome::Abort;
    return sink.SendCommand(tv::Format("%s write 0x%x 0x%x 0x%x", t.c_str(), staging, e, n))
               ? ItemOutcome::Written
               : ItemOutcome::Failed;
}

ItemOutcome WriteOffsetItem(ICommandSink& sink, const tagFlashLayout& layout, std::uint32_t staging,
                            std::uint32_t offset, const std::string& value) {
    if (value.empty())
        return ItemOutcome::Written;
    if (CommandWord(layout.strFlashType).empty() || layout.dwBlockSize == 0)
        return ItemOutcome::Abort;
    Bytes data;
    const ItemOutcome read = ReadOffsetItemData(value, offset, layout.dwBlockSize, data);
    return read == ItemOutcome::Written ? WriteItemData(sink, layout, staging, offset, data) : read;
}
