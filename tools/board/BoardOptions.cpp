#include "BoardOptions.h"

#include "OptionTable.h"

#include <functional>
#include <optional>

namespace {

const char kUsage[] = R"USAGE(Usage: telvanor-board [OPTION]...
Plays a board (boot ROM, then boot loader console) on a new pseudo-terminal. Prints the slave's
path as the first line of standard output, runs until SIGTERM or SIGINT (or an exit condition
below), writes its outputs and exits 0. Usage errors exit 64.

Numbers are decimal or 0x-hexadecimal; sizes also take a K, M or G suffix (powers of 1024).
Every option taking a value also accepts the --name=value form.

Board:
  --flash nand|spi|emmc      flash type (default nand)
  --flash-size BYTES         flash size (default 64M, at most 4G)
  --bootargs TEXT            bootargs value of "print" (default per flash type; deviceinfo at
                             5M on nand, 0x90000 on spi, 2M on emmc)
  --getinfo-page TEXT        whole "Page: ..." line of getinfo
  --getinfo-block TEXT       whole "Block: ..." line of getinfo
  --banner TEXT              boot loader banner; \n, \r, \t and \\ are escapes
  --ca                       announce with five spaces, then wait for the byte 0xAA
  --segments N               boot segments before the boot loader starts (default 2)
  --staging-address ADDR     start of the 64 KiB written to ram-staging.bin (default 0x81000000)
  --out DIR                  outputs: trace.txt (written as it goes), and at exit flash.bin,
                             ram-staging.bin, stats.txt
  --swap-boards              a fresh flash at every power-on after the first (a new board)
  --exit-after-boards N[:QUIET_MS]
                             exit once the N-th power-on is at its console, has completed at
                             least one command and the line has been quiet for QUIET_MS (default
                             1000), or when a start frame of power-on N+1 arrives (unanswered)

Timing:
  --pace                     pace output and input processing at 11520 bytes/s (115200 baud)
  --ack-delay-us US          without --pace, answer a frame US after its last byte (default 1000)
  --delay-ms MS              extra processing time of every console command

Faults (frame and command counts run over the whole run, retransmissions included; a frame is
counted when it is well formed and its CRC is right; options may be repeated):
  --silent-start N           ignore the first N start frames
  --power-on-delay MS        ignore all input until MS after the first byte arrives
  --wrong-ack KIND:N[:BYTE]  answer the N-th frame of KIND with BYTE (default 0x55) and do not
                             accept it; KIND = start|head|data|tail|cmdhead|cmdword
  --crc-error KIND:N         treat the N-th frame of KIND as having a bad CRC (no answer)
  --drop-ack KIND:N          accept the N-th frame of KIND (a command word runs its command) but
                             never send its 0xAA, as if line noise had lost that one byte
  --delay-ack KIND:N:US      accept the N-th frame of KIND and send its 0xAA, and all that
                             follows it, US later
  --error-on PREFIX[:N]      end the N-th command starting with PREFIX (default every one) with
                             "[EOT](ERROR)" without running it
  --silent-on PREFIX[:N]     never end that command (no output, no marker)
  --hold-on PREFIX[:N]       hold that command for --hold-ms MS (default 3000) before it runs, its
                             "cmd" trace line written at once: a fixed window inside a command
  --huge-reply PREFIX:BYTES  answer every command starting with PREFIX with BYTES bytes of text
                             and no marker
  --split-markers            write every end marker in two writes 20 ms apart ("[EO", "T]...")
  --error-gap-us US          write the "(ERROR)" of an error marker US after its "[EOT]", as a
                             receive FIFO or a USB adapter can hand it over in a later batch
                             (not with --split-markers)
  --noise N                  N bytes of line noise (never 0x00 or space) before the banner
  --corrupt-flash OFFSET     after the first flash write of a power-on that covers OFFSET, flip
                             the lowest bit of the byte there (flash that does not keep what it
                             was given)
  --disconnect-at POINT      close the pseudo-terminal, write the outputs and exit 0 at POINT:
                               start             on the first start frame (unanswered)
                               data:N            on the N-th data frame (unanswered)
                               wait              after the last tail frame, before the banner
                               cmd:PREFIX[:N]    on the N-th matching command (N default 1),
                                                 after its word frame is acknowledged
                               after-cmd:PREFIX[:N]
                                                 after that command's reply has been written
                                                 (and 200 ms for the reader to take it)
  --help                     this text

Power-ons: a start frame restarts the boot ROM (a new power-on) when it arrives at the console,
while the boot loader starts, in place of a data or tail frame, or in place of a head frame after
the line has been quiet for 2 s. RAM starts empty (reading as 0x00) at every power-on; the flash
persists unless --swap-boards.

Frames: a frame with a wrong structure, number or CRC gets no answer; its bytes are dropped and
the board resynchronises on the next frame (an incomplete frame is dropped after 20 ms of
silence). A frame identical to the last accepted one (its 0xAA was lost) is answered again but
not applied twice; a repeated last tail frame or command word also repeats the announcement or
the command's reply. Command texts may be up to 1024 bytes.
)USAGE";

std::optional<std::uint64_t> ParseNumber(const std::string& text, bool allowSuffix) {
    std::string digits = text;
    std::uint64_t unit = 1;
    if (allowSuffix && !digits.empty()) {
        char last = digits.back();
        if (last == 'k' || last == 'K')
            unit = 1ull << 10;
        else if (last == 'm' || last == 'M')
            unit = 1ull << 20;
        else if (last == 'g' || last == 'G')
            unit = 1ull << 30;
        if (unit != 1)
            digits.pop_back();
    }
    unsigned base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits = digits.substr(2);
    }
    if (digits.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        unsigned d;
        if (c >= '0' && c <= '9')
            d = unsigned(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = unsigned(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = unsigned(c - 'A' + 10);
        else
            return std::nullopt;
        if (value > (UINT64_MAX - d) / base)
            return std::nullopt;
        value = value * base + d;
    }
    if (value > UINT64_MAX / unit)
        return std::nullopt;
    return value * unit;
}

std::optional<unsigned> ParseSmall(const std::string& text) {
    auto value = ParseNumber(text, false);
    if (!value || *value > 0x7fffffffu)
        return std::nullopt;
    return unsigned(*value);
}

std::optional<EFrameKind> ParseFrameKind(const std::string& text) {
    for (int i = 0; i < kFrameKindCount; ++i)
        if (text == FrameKindName(EFrameKind(i)))
            return EFrameKind(i);
    return std::nullopt;
}

bool AllDigits(const std::string& text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// "PREFIX[:N]": N is taken only when the text after the last colon is a positive decimal number.
bool ParseCommandFault(const std::string& text, unsigned defaultNth, tagCommandFault& fault) {
    fault.strPrefix = text;
    fault.nNth = defaultNth;
    std::size_t colon = text.rfind(':');
    if (colon != std::string::npos && AllDigits(text.substr(colon + 1))) {
        auto n = ParseSmall(text.substr(colon + 1));
        if (!n || *n == 0)
            return false;
        fault.strPrefix = text.substr(0, colon);
        fault.nNth = *n;
    }
    return !fault.strPrefix.empty();
}

// The options that pick a frame by kind and count, and what a third field gives.
enum class EFrameFaultExtra { None, OptionalByte, Microseconds };

struct tagFrameFaultOption {
    const char* pszName;
    std::vector<tagFrameFault> tagBoardOptions::*pRules;
    EFrameFaultExtra extra;
};

const tagFrameFaultOption kFrameFaultOptions[] = {
    {"--wrong-ack", &tagBoardOptions::aWrongAck, EFrameFaultExtra::OptionalByte},
    {"--crc-error", &tagBoardOptions::aCrcError, EFrameFaultExtra::None},
    {"--drop-ack", &tagBoardOptions::aDropAck, EFrameFaultExtra::None},
    {"--delay-ack", &tagBoardOptions::aDelayAck, EFrameFaultExtra::Microseconds},
};

// KIND:N, then BYTE (optional) or US (required) as the option wants.
bool ParseFrameFault(const std::string& text, EFrameFaultExtra extra, tagFrameFault& fault) {
    std::size_t first = text.find(':');
    if (first == std::string::npos)
        return false;
    auto kind = ParseFrameKind(text.substr(0, first));
    if (!kind)
        return false;
    std::string rest = text.substr(first + 1);
    std::optional<std::string> third;
    std::size_t second = rest.find(':');
    if (second != std::string::npos) {
        third = rest.substr(second + 1);
        rest = rest.substr(0, second);
    }
    auto n = ParseSmall(rest);
    if (!n || *n == 0)
        return false;
    fault.kind = *kind;
    fault.nNth = *n;
    switch (extra) {
    case EFrameFaultExtra::None:
        return !third;
    case EFrameFaultExtra::OptionalByte: {
        if (!third)
            return true;
        auto b = ParseNumber(*third, false);
        if (!b || *b > 0xff)
            return false;
        fault.byAnswer = std::uint8_t(*b);
        return true;
    }
    case EFrameFaultExtra::Microseconds: {
        auto us = third ? ParseSmall(*third) : std::nullopt;
        if (!us)
            return false;
        fault.nDelayUs = *us;
        return true;
    }
    }
    return false;
}

bool ParseDisconnect(const std::string& text, tagDisconnect& d) {
    if (text == "start") {
        d.point = EDisconnectPoint::Start;
        return true;
    }
    if (text == "wait") {
        d.point = EDisconnectPoint::Wait;
        return true;
    }
    if (text.rfind("data:", 0) == 0) {
        auto n = ParseSmall(text.substr(5));
        if (!n || *n == 0)
            return false;
        d.point = EDisconnectPoint::Data;
        d.nNth = *n;
        return true;
    }
    std::string rest;
    if (text.rfind("cmd:", 0) == 0) {
        d.point = EDisconnectPoint::Cmd;
        rest = text.substr(4);
    } else if (text.rfind("after-cmd:", 0) == 0) {
        d.point = EDisconnectPoint::AfterCmd;
        rest = text.substr(10);
    } else {
        return false;
    }
    tagCommandFault fault;
    if (!ParseCommandFault(rest, 1, fault))
        return false;
    d.strPrefix = fault.strPrefix;
    d.nNth = fault.nNth;
    return true;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char c = text[++i];
            if (c == 'n')
                out += '\n';
            else if (c == 'r')
                out += '\r';
            else if (c == 't')
                out += '\t';
            else if (c == '\\')
                out += '\\';
            else {
                out += '\\';
                out += c;
            }
        } else {
            out += text[i];
        }
    }
    return out;
}

void ApplyDefaults(tagBoardOptions& o, bool bootargsSet, bool pageSet, bool blockSet, bool bannerSet) {
    const char* console = "console=ttyAMA0,115200 ";
    switch (o.flash) {
    case EFlashType::Nand:
        if (!bootargsSet)
            o.strBootargs = std::string(console) +
                            "root=/dev/mtdblock4 mtdparts=nand0:1M(boot),4M(kernel),1M(deviceinfo),-(rootfs)";
        if (!pageSet)
            o.strGetinfoPage = "Page: 2KB, OOB: 64B";
        if (!blockSet)
            o.strGetinfoBlock = "Block: 128KB";
        break;
    case EFlashType::Spi:
        if (!bootargsSet)
            o.strBootargs =
                std::string(console) +
                "root=/dev/mtdblock4 mtdparts=flash_sfc:512k(boot),64k(env),64k(deviceinfo),-(rootfs)";
        if (!pageSet)
            o.strGetinfoPage = "Page: 256B";
        if (!blockSet)
            o.strGetinfoBlock = "Block: 64KB";
        break;
    case EFlashType::Emmc:
        if (!bootargsSet)
            o.strBootargs =
                std::string(console) +
                "root=/dev/mmcblk0p4 blkdevparts=mmcblk0:1M(boot),1M(env),1M(deviceinfo),-(rootfs)";
        if (!pageSet)
            o.strGetinfoPage = "Page: 512B";
        if (!blockSet)
            o.strGetinfoBlock = "Block: 512B";
        break;
    }
    if (!bannerSet)
        o.strBanner =
            "\nTelvanor virtual board\nDRAM: 256 MiB\nFlash: " + std::string(FlashTypeName(o.flash)) + ", " +
            std::to_string(o.qwFlashSize >> 20) + " MiB";
}

} // namespace

const char* FlashTypeName(EFlashType type) {
    switch (type) {
    case EFlashType::Nand:
        return "nand";
    case EFlashType::Spi:
        return "spi";
    case EFlashType::Emmc:
        return "emmc";
    }
    return "?";
}

const char* FrameKindName(EFrameKind kind) {
    switch (kind) {
    case EFrameKind::Start:
        return "start";
    case EFrameKind::Head:
        return "head";
    case EFrameKind::Data:
        return "data";
    case EFrameKind::Tail:
        return "tail";
    case EFrameKind::CmdHead:
        return "cmdhead";
    case EFrameKind::CmdWord:
        return "cmdword";
    }
    return "?";
}

const char* BoardUsageText() {
    return kUsage;
}

namespace {

// An option whose value read refuses as "bad value for NAME: 'VALUE'".
tagOption Valued(const char* name, const char* valueName, std::function<bool(const std::string&)> read) {
    return {name, valueName, [name, read = std::move(read)](const std::string& value) {
                return read(value) ? std::string()
                                   : "bad value for " + std::string(name) + ": '" + value + "'";
            }};
}

// A whole number up to 0x7fffffff into target.
tagOption Small(const char* name, const char* valueName, unsigned& target, unsigned high = 0x7fffffffu) {
    return Valued(name, valueName, [&target, high](const std::string& value) {
        auto n = ParseSmall(value);
        if (!n || *n > high)
            return false;
        target = *n;
        return true;
    });
}

tagOption Text(const char* name, const char* valueName, std::string& target, bool& given) {
    return Valued(name, valueName, [&target, &given](const std::string& value) {
        target = value;
        given = true;
        return true;
    });
}

} // namespace

EParseResult ParseBoardOptions(int argc, char** argv, tagBoardOptions& o, std::string& error) {
    bool bootargsSet = false, pageSet = false, blockSet = false, bannerSet = false;
    std::vector<tagOption> table = {
        SwitchOption("--ca", o.bCa),
        SwitchOption("--swap-boards", o.bSwapBoards),
        SwitchOption("--pace", o.bPace),
        SwitchOption("--split-markers", o.bSplitMarkers),
        Valued("--flash", "nand|spi|emmc",
               [&](const std::string& value) {
                   for (EFlashType type : {EFlashType::Nand, EFlashType::Spi, EFlashType::Emmc})
                       if (value == FlashTypeName(type)) {
                           o.flash = type;
                           return true;
                       }
                   return false;
               }),
        Valued("--flash-size", "BYTES",
               [&](const std::string& value) {
                   auto n = ParseNumber(value, true);
                   if (!n || *n == 0 || *n > (4ull << 30))
                       return false;
                   o.qwFlashSize = *n;
                   return true;
               }),
        Valued("--corrupt-flash", "OFFSET",
               [&](const std::string& value) {
                   auto n = ParseNumber(value, true);
                   if (!n)
                       return false;
                   o.qwCorruptFlashAt = *n;
                   return true;
               }),
        Text("--bootargs", "TEXT", o.strBootargs, bootargsSet),
        Text("--getinfo-page", "TEXT", o.strGetinfoPage, pageSet),
        Text("--getinfo-block", "TEXT", o.strGetinfoBlock, blockSet),
        Valued("--banner", "TEXT",
               [&](const std::string& value) {
                   o.strBanner = Unescape(value);
                   bannerSet = true;
                   return true;
               }),
        Valued("--segments", "N",
               [&](const std::string& value) {
                   auto n = ParseSmall(value);
                   if (!n || *n == 0 || *n > 64)
                       return false;
                   o.nSegments = *n;
                   return true;
               }),
        Valued("--out", "DIR",
               [&](const std::string& value) {
                   o.strOutDir = value;
                   return !value.empty();
               }),
        Valued("--staging-address", "ADDR",
               [&](const std::string& value) {
                   auto n = ParseNumber(value, false);
                   if (!n || *n > 0xffffffffu)
                       return false;
                   o.dwStagingAddress = std::uint32_t(*n);
                   return true;
               }),
        Valued("--exit-after-boards", "N[:QUIET_MS]",
               [&](const std::string& value) {
                   std::string count = value, quiet;
                   std::size_t colon = value.find(':');
                   if (colon != std::string::npos) {
                       count = value.substr(0, colon);
                       quiet = value.substr(colon + 1);
                   }
                   auto n = ParseSmall(count);
                   if (!n || *n == 0)
                       return false;
                   o.nExitAfterBoards = *n;
                   if (colon != std::string::npos) {
                       auto q = ParseSmall(quiet);
                       if (!q)
                           return false;
                       o.nExitQuietMs = *q;
                   }
                   return true;
               }),
        Small("--ack-delay-us", "US", o.nAckDelayUs),
        Small("--delay-ms", "MS", o.nDelayMs),
        Small("--silent-start", "N", o.nSilentStart),
        Small("--power-on-delay", "MS", o.nPowerOnDelayMs),
        Small("--error-gap-us", "US", o.nErrorGapUs),
        Small("--hold-ms", "MS", o.nHoldMs),
        Small("--noise", "N", o.nNoise, 1u << 20),
        Valued("--huge-reply", "PREFIX:BYTES",
               [&](const std::string& value) {
                   std::size_t colon = value.rfind(':');
                   if (colon == std::string::npos || colon == 0)
                       return false;
                   auto n = ParseNumber(value.substr(colon + 1), true);
                   if (!n || *n > (256ull << 20))
                       return false;
                   o.aHugeReply.push_back({value.substr(0, colon), *n});
                   return true;
               }),
        Valued("--disconnect-at", "POINT",
               [&](const std::string& value) {
                   tagDisconnect d;
                   if (!ParseDisconnect(value, d))
                       return false;
                   o.aDisconnect.push_back(d);
                   return true;
               }),
    };
    for (const tagFrameFaultOption& option : kFrameFaultOptions)
        table.push_back(Valued(option.pszName, "KIND:N", [&o, &option](const std::string& value) {
            tagFrameFault fault;
            if (!ParseFrameFault(value, option.extra, fault))
                return false;
            (o.*(option.pRules)).push_back(fault);
            return true;
        }));
    for (auto [name, rules] : {std::pair{"--error-on", &o.aErrorOn}, std::pair{"--silent-on", &o.aSilentOn},
                               std::pair{"--hold-on", &o.aHoldOn}})
        table.push_back(Valued(name, "PREFIX[:N]", [rules](const std::string& value) {
            tagCommandFault fault;
            if (!ParseCommandFault(value, 0, fault))
                return false;
            rules->push_back(fault);
            return true;
        }));

    const tagOptionsRead read = ReadOptions(table, ArgumentList(argc, argv), 1);
    if (read.result == OptionsRead::Help)
        return EParseResult::Help;
    if (read.result == OptionsRead::UsageError) {
        error = read.error;
        return EParseResult::UsageError;
    }
    ApplyDefaults(o, bootargsSet, pageSet, blockSet, bannerSet);
    return EParseResult::Run;
}
