// The device info block and the console commands that put it, and the offset items, into flash.
#pragma once

#include "Frames.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct tagFlashLayout {
    std::string strFlashType; // "nand", "spi" or "emmc"; empty when no burn address was found
    std::uint32_t dwPartOffset = 0;
    std::uint32_t dwBlockSize = 0;
    std::uint32_t dwPageSize = 0;
};

constexpr std::uint32_t DEVINFO_MAX_SIZE = 1024;

// Where one console command goes; true when the boot loader completed it.
class ICommandSink {
public:
    virtual ~ICommandSink() = default;
    virtual bool SendCommand(const std::string& text) = 0;
    // What the boot loader printed for the last command (before its end marker).
    virtual std::string LastOutput() const { return std::string(); }
};

// True for the commands of the write sequence that erase or program the flash ("nand erase ...",
// "sf write ...", "mmc write ..."): from the first of them on, a board may hold the job's values.
bool ChangesFlash(const std::string& command);

// 0x01000000 for board type 4, 0x81000000 otherwise.
std::uint32_t StagingAddress(int boardType);

// The block fits: L rounded up to whole words is at most DEVINFO_MAX_SIZE, and the key entries fit
// beside the 36-byte header that shares their buffer. hasKeyItems: the configuration has key items
// at all (fixed or entered).
bool DeviceInfoBlockFits(const std::string& id, const std::vector<std::string>& keyEntries, bool hasKeyItems);
// The L bytes of the block; empty when it does not fit.
std::optional<Bytes> ComposeDeviceInfoBlock(const std::string& mac, const std::string& id,
                                            const std::vector<std::string>& keyEntries, bool hasKeyItems);
// The block's size L without building it (for the burn command's message).
std::uint32_t DeviceInfoBlockLength(const std::string& id, const std::vector<std::string>& keyEntries,
                                    bool hasKeyItems);

// Word k: bytes 4k..4k+3 little-endian, zero-padded.
std::vector<std::uint32_t> ToWords(const Bytes& data);

// The fill command, then one "mw.l" per word; stops at the first failure; the last result.
bool StageToBoardRam(ICommandSink& sink, std::uint32_t staging, const std::string& fill, const Bytes& data);

bool WriteDeviceInfoBlock(ICommandSink& sink, const tagFlashLayout& layout, std::uint32_t staging,
                          const Bytes& block);

enum class ItemOutcome { Written, Failed, Abort };

// The item's bytes at the address: "mw.l" for the whole aligned words, "mw.b" for the bytes before
// the first and after the last of them. Stops at the first failure.
bool PlaceBytes(ICommandSink& sink, std::uint32_t address, const Bytes& data);

// The data of an offset item: the value and a zero byte, or a file's contents and a zero byte.
// Empty data for an empty value (nothing to write). Abort: the file cannot be read, is too long for
// an offset inside the first erase block, or memory cannot be had.
ItemOutcome ReadOffsetItemData(const std::string& value, std::uint32_t offset, std::uint32_t blockSize,
                               Bytes& data);

// The whole erase blocks (512-byte blocks on eMMC) that cover [flashOffset, flashOffset + size).
struct tagFlashSpan {
    std::uint64_t qwStart = 0;
    std::uint64_t qwLength = 0;
};
tagFlashSpan CoveringSpan(const tagFlashLayout& layout, std::uint64_t flashOffset, std::uint64_t size);
// "nand read", "sf read" or "mmc read" of the span into the staging area.
std::string ReadCommand(const tagFlashLayout& layout, std::uint32_t staging, const tagFlashSpan& span);

// Writes the data at byte `offset` of the partition. Inside the first erase block of nand or serial
// flash (erased by the block phase) it is programmed directly; anywhere else, and always on eMMC, the
// covering blocks are read, changed in memory and written back, so no other byte changes.
ItemOutcome WriteItemData(ICommandSink& sink, const tagFlashLayout& layout, std::uint32_t staging,
                          std::uint32_t offset, const Bytes& data);

// value: the item's value (fixed or string part + number part); empty writes nothing.
ItemOutcome WriteOffsetItem(ICommandSink& sink, const tagFlashLayout& layout, std::uint32_t staging,
                            std::uint32_t offset, const std::string& value);
