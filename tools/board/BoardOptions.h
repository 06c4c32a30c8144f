// Command line of telvanor-board: what kind of board to play and which faults to inject.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class EFlashType { Nand, Spi, Emmc };

// Frame kinds that the fault rules can name.
enum class EFrameKind { Start, Head, Data, Tail, CmdHead, CmdWord };
constexpr int kFrameKindCount = 6;

const char* FlashTypeName(EFlashType type);
const char* FrameKindName(EFrameKind kind);

// --wrong-ack, --crc-error, --drop-ack and --delay-ack: the n-th well-formed frame of a kind
// (counted over the whole run, retransmissions included).
struct tagFrameFault {
    EFrameKind kind = EFrameKind::Start;
    unsigned nNth = 1;
    std::uint8_t byAnswer = 0x55; // --wrong-ack
    unsigned nDelayUs = 0;        // --delay-ack
};

// --error-on and --silent-on: commands whose text starts with the prefix; nNth 0 means every one.
struct tagCommandFault {
    std::string strPrefix;
    unsigned nNth = 0;
};

struct tagHugeReply {
    std::string strPrefix;
    std::uint64_t qwBytes = 0;
};

enum class EDisconnectPoint { Start, Data, Wait, Cmd, AfterCmd };

struct tagDisconnect {
    EDisconnectPoint point = EDisconnectPoint::Start;
    std::string strPrefix; // Cmd, AfterCmd
    unsigned nNth = 1;     // Data: the n-th data frame; Cmd, AfterCmd: the n-th matching command
};

struct tagBoardOptions {
    EFlashType flash = EFlashType::Nand;
    std::uint64_t qwFlashSize = 64ull << 20;
    std::string strBootargs;
    std::string strGetinfoPage;
    std::string strGetinfoBlock;
    std::string strBanner;
    bool bCa = false;
    unsigned nSegments = 2;
    std::string strOutDir;
    std::uint32_t dwStagingAddress = 0x81000000;

    bool bSwapBoards = false;
    unsigned nExitAfterBoards = 0; // 0: run until a signal
    unsigned nExitQuietMs = 1000;

    bool bPace = false;
    unsigned nDelayMs = 0;
    unsigned nAckDelayUs = 1000;

    unsigned nSilentStart = 0;
    unsigned nPowerOnDelayMs = 0;
    std::vector<tagFrameFault> aWrongAck;
    std::vector<tagFrameFault> aCrcError;
    std::vector<tagFrameFault> aDropAck;
    std::vector<tagFrameFault> aDelayAck;
    std::vector<tagCommandFault> aErrorOn;
    std::vector<tagCommandFault> aSilentOn;
    std::vector<tagCommandFault> aHoldOn;
    unsigned nHoldMs = 3000;
    std::vector<tagHugeReply> aHugeReply;
    bool bSplitMarkers = false;
    unsigned nErrorGapUs = 0;
    unsigned nNoise = 0;
    std::vector<tagDisconnect> aDisconnect;
    // --corrupt-flash: after the first flash write of a power-on that covers this offset, one bit of
    // its byte flips.
    std::uint64_t qwCorruptFlashAt = ~std::uint64_t(0);
};

enum class EParseResult { Run, Help, UsageError };

// Fills the options from argv; on a usage error the message is in error. Values left empty on the
// command line (boot arguments, getinfo lines, banner) get the defaults of the flash type.
EParseResult ParseBoardOptions(int argc, char** argv, tagBoardOptions& options, std::string& error);

const char* BoardUsageText();
