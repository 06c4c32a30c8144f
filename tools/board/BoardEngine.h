// The board's side of the line: boot ROM frames, the boot loader's announcement and its console
// frames, with the fault rules applied at every frame and command. No I/O here: bytes come in
// with their time, and what the board says goes into an output queue with the earliest time it
// may go out, so the pty loop alone decides about pacing.
#pragma once

#include "BoardOptions.h"
#include "BootLoader.h"
#include "Frames.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

// One line per frame and command, flushed as it goes so a hung test still leaves its trace.
class CTrace {
public:
    ~CTrace();
    bool Open(const std::string& path);
    void Line(const std::string& text);

private:
    std::FILE* m_pFile = nullptr;
};

struct tagBoardStats {
    std::uint64_t qwBytesReceived = 0;
    std::uint64_t qwBytesSent = 0;
    unsigned nPowerOns = 0;
    unsigned nCommands = 0;
    unsigned nCommandsFailed = 0;
    unsigned nFramesAcked = 0;
    unsigned nFramesRejected = 0;
    // How late the latest byte left after its time (a chunk's release, a paced byte's slot): the
    // board is a process, not a UART, and a busy machine can hold it up.
    std::uint64_t qwOutputLateMaxNs = 0;
    // The longest quiet actually left on the line before an "(ERROR)" sent apart from its "[EOT]"
    // (--error-gap-us): from the write of the "]" to the write of the "(".
    std::uint64_t qwErrorGapMaxNs = 0;
    // The longest the board came back from a wait later than it asked to: it ran late at that
    // moment, input included.
    std::uint64_t qwHeldUpMaxNs = 0;
    // Per power-on: CLOCK_MONOTONIC ns when the start frame's 0xAA went out, and when the last
    // "[EOT]" went out.
    std::map<unsigned, std::int64_t> aStartNs;
    std::map<unsigned, std::int64_t> aLastEotNs;
};

enum class EOutTag { None, StartAck, Eot, ErrorAfterGap };

struct tagOutChunk {
    Bytes data;
    std::int64_t nNotBeforeNs = 0; // not written before this time
    std::int64_t nGapNs = 0;       // nor before this long after the previous chunk went out
    EOutTag tag = EOutTag::None;
    unsigned nPowerOn = 0;
};

enum class EStopRequest {
    None,
    Disconnect,            // close the pty at once
    DisconnectWhenDrained, // once the output is out (and a short linger), close the pty
    ExitWhenDrained,       // once the output is out, exit
};

class CBoardEngine {
public:
    static constexpr std::int64_t kIdleFlushNs = 20'000'000;     // incomplete frame dropped
    static constexpr std::int64_t kRestartGapNs = 2'000'000'000; // start frame instead of head
    static constexpr std::int64_t kBootGapNs = 10'000'000;       // last tail to banner
    static constexpr std::int64_t kSplitMarkerGapNs = 20'000'000;
    static constexpr std::size_t kMaxCommandLength = 1024;

    CBoardEngine(const tagBoardOptions& options, CBootLoader& loader, CTrace& trace, tagBoardStats& stats);

    // One received byte, at the time the board gets to it (after pacing).
    void OnByte(std::uint8_t byte, std::int64_t nowNs);
    // Time passing without input: drops incomplete frames, decides the quiet exit.
    void OnTick(std::int64_t nowNs);

    std::deque<tagOutChunk>& Output() { return m_aOut; }
    EStopRequest StopRequest() const { return m_StopRequest; }
    unsigned PowerOn() const { return m_nPowerOn; }

private:
    enum class EState { RomWaitStart, RomHead, RomData, RomTail, CaWait, Console, Stopped };
    enum class EParse { NeedMore, Done };

    EParse ParseOne(std::int64_t now);
    // A start frame (FE 00 FF 01 ...) at the buffer's head: 14 bytes or a mismatch. Returns
    // false when the prefix does not match; complete tells whether all 14 bytes are there.
    bool StartShaped(bool& complete) const;
    EParse OnStartShaped(std::int64_t now, bool asHead);
    EParse OnDataFrame(std::int64_t now);
    EParse OnTailFrame(std::int64_t now);
    EParse OnCommandHead(std::int64_t now);
    EParse OnCommandWord(std::int64_t now);
    void OnStartFrame(std::int64_t now);
    void BootLoaderStarts(std::int64_t now);
    // The last accepted frame, sent again because its 0xAA was lost: answered again, with the
    // output that followed it, but not applied twice.
    bool IsRepeat(bool& complete) const;
    EParse OnRepeat(std::int64_t now);
    void Remember(EFrameKind kind, Bytes frame, const std::string& label, std::size_t outputFrom);
    void RunCommand(const std::string& text, std::int64_t now);

    // Counts a well-formed frame; true when a --crc-error rule hits it (it is then dropped).
    bool CountFrame(EFrameKind kind);
    // The rule of the list that picks this frame (by kind and count), if any.
    const tagFrameFault* FrameRuleHits(const std::vector<tagFrameFault>& rules, EFrameKind kind) const;
    // Answers an accepted frame with 0xAA, or the byte of a --wrong-ack rule (then false: the
    // frame is not taken); --delay-ack holds the answer back, --drop-ack leaves it out.
    bool Answer(EFrameKind kind, const std::string& label, std::int64_t now, EOutTag tag = EOutTag::None);
    void Reject(const std::string& label, const std::string& reason);
    void Consume(std::size_t n);
    void Skip();
    void FlushSkipped();
    void Log(const std::string& line);
    void Say(const std::string& text, std::int64_t gapNs = 0, EOutTag tag = EOutTag::None);
    void Marker(bool ok);
    bool CommandRuleHits(std::vector<unsigned>& counters, const std::vector<tagCommandFault>& rules,
                         const std::string& text);
    std::int64_t AnswerTime(std::int64_t now) const;

    const tagBoardOptions& m_Options;
    CBootLoader& m_Loader;
    CTrace& m_Trace;
    tagBoardStats& m_Stats;

    EState m_State = EState::RomWaitStart;
    Bytes m_aIn;
    std::size_t m_nSkipped = 0;
    std::int64_t m_nLastByteNs = 0;
    std::int64_t m_nGapBeforeBufferNs = 0;
    bool m_bAnyByte = false;
    std::int64_t m_nFirstByteNs = 0;
    std::uint64_t m_qwDelayDropped = 0;
    bool m_bDelayOver = false;

    unsigned m_nPowerOn = 0;
    unsigned m_nCommandsThisPowerOn = 0;
    unsigned m_nSegment = 0;
    std::uint32_t m_dwSegLength = 0;
    std::uint32_t m_dwSegAddress = 0;
    std::uint32_t m_dwSegReceived = 0;
    std::uint8_t m_byNumber = 1;
    bool m_bCommandPending = false;
    std::uint16_t m_wCommandLength = 0;

    Bytes m_aLastAccepted;
    EFrameKind m_LastKind = EFrameKind::Start;
    std::string m_strLastLabel;
    std::vector<tagOutChunk> m_aLastFollowUp;

    unsigned m_aFrameCount[kFrameKindCount] = {};
    std::vector<unsigned> m_aErrorOnCount, m_aSilentOnCount, m_aDisconnectCount, m_aHoldOnCount;
    std::uint32_t m_dwNoiseSeed = 0x2545f491;

    std::deque<tagOutChunk> m_aOut;
    EStopRequest m_StopRequest = EStopRequest::None;
};
