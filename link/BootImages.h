// The boot programs: ten built-in ARM images (two per board-type row) and the CA boot file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct tagBootSegment {
    std::uint32_t dwAddress = 0;
    std::uint32_t dwLength = 0;
    const std::uint8_t* pData = nullptr;
};

struct BootImageRow {
    tagBootSegment segment0;
    tagBootSegment segment1;
    std::uint32_t registerBase; // B: the marker registers lie at B + 0xB0 .. B + 0xBC
};

// Row 1 to 4 for those board types, the default row for every other value.
const BootImageRow& BuiltInBootImages(int boardType);

// What the boot file yields. The parser takes bytes, not a path, and never reads outside them.
struct BootFileLayout {
    std::uint32_t segment0Length = 0; // file size - A, loaded at 0x12000
    std::uint32_t segment1Length = 0; // A, loaded at 0x81000000
    // The description when the version text is "v1.1.0" (any case): zero bytes turned into
    // blanks, trimmed. Empty optional for any other version.
    std::optional<std::string> description;
};

// The boot file's own limit is a 32-bit size; a boot program is tens of kilobytes, and 16 MiB would
// already take 24 minutes at line speed, so a larger file is refused before it is read.
constexpr std::uint32_t kMaxBootFileBytes = 16u << 20;

constexpr std::uint32_t kBootFileSegment0Address = 0x12000;
constexpr std::uint32_t kBootFileSegment1Address = 0x81000000;

// Which limit a rejected boot file breaks, so the operator can be told.
enum class BootFileFault {
    None,
    TooShort,       // fewer than 792 bytes
    TooLarge,       // beyond 32-bit segment lengths
    TailTooLong,    // A larger than the file
    BadDescription, // version matches, L outside 64..319 or past the end
};

// False for a file that breaks the limits: shorter than 792 bytes, A larger than the file, or,
// with the version matching, L outside 64..319 or the file shorter than L + 36 bytes; out is then
// left as it was, and fault (when given) names the limit.
bool ParseBootFile(const std::uint8_t* data, std::size_t size, BootFileLayout& out,
                   BootFileFault* fault = nullptr);

// The A and L fields as stored (0 when the file is too short to hold them).
std::uint32_t BootFileTailLength(const std::uint8_t* data, std::size_t size);
std::uint32_t BootFileDescriptionLength(const std::uint8_t* data, std::size_t size);
