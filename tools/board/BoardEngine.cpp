#include "BoardEngine.h"

#include "Frames.h"

#include <algorithm>
#include <cstdio>

namespace {

std::uint32_t Be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

// Command texts come from the line: keep the trace one line per entry whatever they contain.
std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7f) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Console lines end in CR LF whatever the banner option used.
std::string ConsoleLines(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

constexpr std::uint8_t kStartSignature[4] = {0xFE, 0x00, 0xFF, 0x01};
constexpr std::size_t kStartFrameSize = 14;

} // namespace

CTrace::~CTrace() {
    if (m_pFile)
        std::fclose(m_pFile);
}

bool CTrace::Open(const std::string& path) {
    m_pFile = std::fopen(path.c_str(), "w");
    return m_pFile != nullptr;
}

void CTrace::Line(const std::string& text) {
    if (!m_pFile)
        return;
    std::fputs(text.c_str(), m_pFile);
    std::fputc('\n', m_pFile);
    std::fflush(m_pFile);
}

CBoardEngine::CBoardEngine(const tagBoardOptions& options, CBootLoader& loader, CTrace& trace,
                           tagBoardStats& stats)
    : m_Options(options), m_Loader(loader), m_Trace(trace), m_Stats(stats),
      m_aErrorOnCount(options.aErrorOn.size()), m_aSilentOnCount(options.aSilentOn.size()),
      m_aDisconnectCount(options.aDisconnect.size()), m_aHoldOnCount(options.aHoldOn.size()) {}

void CBoardEngine::OnByte(std::uint8_t byte, std::int64_t now) {
    if (m_State == EState::Stopped)
        return;
    if (!m_bAnyByte) {
        m_bAnyByte = true;
        m_nFirstByteNs = now;
        m_nLastByteNs = now - kRestartGapNs;
    }
    if (m_Options.nPowerOnDelayMs != 0 && !m_bDelayOver) {
        if (now - m_nFirstByteNs < std::int64_t(m_Options.nPowerOnDelayMs) * 1'000'000) {
            ++m_qwDelayDropped;
            m_nLastByteNs = now;
            return;
        }
        m_bDelayOver = true;
        m_Trace.Line("power-on-delay dropped " + std::to_string(m_qwDelayDropped));
    }
    if (m_aIn.empty())
        m_nGapBeforeBufferNs = now - m_nLastByteNs;
    m_nLastByteNs = now;
    m_aIn.push_back(byte);
    while (!m_aIn.empty() && m_State != EState::Stopped)
        if (ParseOne(now) == EParse::NeedMore)
            break;
}

void CBoardEngine::OnTick(std::int64_t now) {
    if (m_State == EState::Stopped || !m_bAnyByte)
        return;
    bool idle = now - m_nLastByteNs >= kIdleFlushNs;
    if (idle && !m_aIn.empty()) {
        FlushSkipped();
        m_Trace.Line("drop " + std::to_string(m_aIn.size()) + " incomplete");
        m_aIn.clear();
    }
    if (idle)
        FlushSkipped();
    if (m_Options.nExitAfterBoards != 0 && m_nPowerOn == m_Options.nExitAfterBoards &&
        m_State == EState::Console && m_nCommandsThisPowerOn > 0 &&
        now - m_nLastByteNs >= std::int64_t(m_Options.nExitQuietMs) * 1'000'000) {
        m_Trace.Line("exit after board " + std::to_string(m_nPowerOn));
        m_StopRequest = EStopRequest::ExitWhenDrained;
        m_State = EState::Stopped;
    }
}

bool CBoardEngine::StartShaped(bool& complete) const {
    std::size_t n = std::min<std::size_t>(m_aIn.size(), 4);
    if (!std::equal(m_aIn.begin(), m_aIn.begin() + std::ptrdiff_t(n), kStartSignature))
        return false;
    complete = m_aIn.size() >= kStartFrameSize;
    return true;
}

CBoardEngine::EParse CBoardEngine::ParseOne(std::int64_t now) {
    bool complete = false;
    if (IsRepeat(complete)) {
        if (!complete)
            return EParse::NeedMore;
        return OnRepeat(now);
    }
    if (m_State != EState::RomData && m_State != EState::RomTail && StartShaped(complete)) {
        if (!complete)
            return EParse::NeedMore;
        // Start and head frames look alike; a head is expected right after a start frame, so only
        // a long silence first makes it a new power-on.
        bool asHead = m_State == EState::RomHead && m_nGapBeforeBufferNs < kRestartGapNs;
        return OnStartShaped(now, asHead);
    }
    switch (m_State) {
    case EState::RomData:
        if (m_aIn[0] == 0xDA)
            return OnDataFrame(now);
        break;
    case EState::RomTail:
        if (m_aIn[0] == 0xED)
            return OnTailFrame(now);
        break;
    case EState::CaWait:
        if (m_aIn[0] == kAck) {
            m_Trace.Line("ca-ack");
            Consume(1);
            m_State = EState::Console;
            return EParse::Done;
        }
        break;
    case EState::Console:
        if (m_aIn[0] == 0xAB)
            return OnCommandHead(now);
        if (m_aIn[0] == 0xCD && m_bCommandPending)
            return OnCommandWord(now);
        break;
    default:
        break;
    }
    if (m_State == EState::RomData || m_State == EState::RomTail) {
        // In place of a data or tail frame a complete, correct start frame can only be a new
        // power-on.
        if (StartShaped(complete)) {
            if (!complete)
                return EParse::NeedMore;
            return OnStartShaped(now, false);
        }
    }
    Skip();
    return EParse::Done;
}

CBoardEngine::EParse CBoardEngine::OnStartShaped(std::int64_t now, bool asHead) {
    if (!CheckCrc(m_aIn.data(), kStartFrameSize)) {
        Reject(asHead ? "head" : "start", "crc");
        Skip();
        return EParse::Done;
    }
    if (!asHead) {
        OnStartFrame(now);
        return EParse::Done;
    }
    std::uint32_t length = Be32(&m_aIn[4]);
    std::uint32_t address = Be32(&m_aIn[8]);
    std::string label = "head len=" + std::to_string(length) + " addr=" + Hex(address);
    if (CountFrame(EFrameKind::Head)) {
        Reject(label, "crc-injected");
    } else if (!m_Loader.Ram().CanStore(address, length) || std::uint64_t(address) + length > (1ull << 32)) {
        Reject(label, "range");
    } else if (Answer(EFrameKind::Head, label, now)) {
        Remember(EFrameKind::Head, Bytes(m_aIn.begin(), m_aIn.begin() + kStartFrameSize), label,
                 m_aOut.size());
        Log(label);
        m_dwSegLength = length;
        m_dwSegAddress = address;
        m_dwSegReceived = 0;
        m_byNumber = 1;
        m_State = length == 0 ? EState::RomTail : EState::RomData;
    }
    Consume(kStartFrameSize);
    return EParse::Done;
}

void CBoardEngine::OnStartFrame(std::int64_t now) {
    bool injected = CountFrame(EFrameKind::Start);
    unsigned nth = m_aFrameCount[int(EFrameKind::Start)];
    for (const tagDisconnect& d : m_Options.aDisconnect)
        if (d.point == EDisconnectPoint::Start && nth == 1) {
            Log("disconnect start");
            m_StopRequest = EStopRequest::Disconnect;
            m_State = EState::Stopped;
            return;
        }
    if (m_Options.nExitAfterBoards != 0 && m_nPowerOn >= m_Options.nExitAfterBoards) {
        Log("exit at start of board " + std::to_string(m_nPowerOn + 1));
        m_StopRequest = EStopRequest::ExitWhenDrained;
        m_State = EState::Stopped;
        return;
    }
    if (injected) {
        Reject("start", "crc-injected");
    } else if (nth <= m_Options.nSilentStart) {
        Log("silent start " + std::to_string(nth));
    } else if (Answer(EFrameKind::Start, "start", now, EOutTag::StartAck)) {
        Remember(EFrameKind::Start, Bytes(m_aIn.begin(), m_aIn.begin() + kStartFrameSize), "start",
                 m_aOut.size());
        ++m_nPowerOn;
        m_Stats.nPowerOns = m_nPowerOn;
        m_aOut.back().nPowerOn = m_nPowerOn;
        Log("power-on " + std::to_string(m_nPowerOn));
        Log("start");
        m_Loader.PowerOn(m_Options.bSwapBoards && m_nPowerOn > 1);
        m_nCommandsThisPowerOn = 0;
        m_nSegment = 0;
        m_bCommandPending = false;
        m_State = EState::RomHead;
    }
    Consume(kStartFrameSize);
}

CBoardEngine::EParse CBoardEngine::OnDataFrame(std::int64_t now) {
    std::size_t n = std::min<std::uint32_t>(m_dwSegLength - m_dwSegReceived, kMaxDataPerFrame);
    if (m_aIn.size() >= 3 && m_aIn[2] != std::uint8_t(~m_aIn[1])) {
        Skip();
        return EParse::Done;
    }
    if (m_aIn.size() < n + 5)
        return EParse::NeedMore;
    std::uint8_t number = m_aIn[1];
    std::string label = "data " + std::to_string(number);
    if (!CheckCrc(m_aIn.data(), n + 5)) {
        Reject(label, "crc");
        Skip();
        return EParse::Done;
    }
    bool injected = CountFrame(EFrameKind::Data);
    for (const tagDisconnect& d : m_Options.aDisconnect)
        if (d.point == EDisconnectPoint::Data && d.nNth == m_aFrameCount[int(EFrameKind::Data)]) {
            Log("disconnect " + label);
            m_StopRequest = EStopRequest::Disconnect;
            m_State = EState::Stopped;
            return EParse::Done;
        }
    std::uint32_t at = m_dwSegAddress + m_dwSegReceived;
    if (injected) {
        Reject(label, "crc-injected");
    } else if (number != m_byNumber) {
        Reject(label, "number, expected " + std::to_string(m_byNumber));
    } else if (!m_Loader.Ram().CanStore(at, n)) {
        Reject(label, "memory");
    } else if (Answer(EFrameKind::Data, label, now)) {
        Remember(EFrameKind::Data, Bytes(m_aIn.begin(), m_aIn.begin() + std::ptrdiff_t(n + 5)), label,
                 m_aOut.size());
        Log(label + " n=" + std::to_string(n));
        m_Loader.Ram().Write(at, &m_aIn[3], n);
        m_dwSegReceived += std::uint32_t(n);
        ++m_byNumber;
        if (m_dwSegReceived == m_dwSegLength)
            m_State = EState::RomTail;
    }
    Consume(n + 5);
    return EParse::Done;
}

CBoardEngine::EParse CBoardEngine::OnTailFrame(std::int64_t now) {
    if (m_aIn.size() >= 3 && m_aIn[2] != std::uint8_t(~m_aIn[1])) {
        Skip();
        return EParse::Done;
    }
    if (m_aIn.size() < 5)
        return EParse::NeedMore;
    std::string label = "tail " + std::to_string(m_aIn[1]);
    if (!CheckCrc(m_aIn.data(), 5)) {
        Reject(label, "crc");
        Skip();
        return EParse::Done;
    }
    if (CountFrame(EFrameKind::Tail)) {
        Reject(label, "crc-injected");
    } else if (m_aIn[1] != m_byNumber) {
        Reject(label, "number, expected " + std::to_string(m_byNumber));
    } else if (Answer(EFrameKind::Tail, label, now)) {
        Log(label);
        std::size_t outputFrom = m_aOut.size();
        ++m_nSegment;
        if (m_nSegment == m_Options.nSegments)
            BootLoaderStarts(now);
        else
            m_State = EState::RomHead;
        // A repeated last tail brings the announcement again: the tool's resend purged the first.
        Remember(EFrameKind::Tail, Bytes(m_aIn.begin(), m_aIn.begin() + 5), label, outputFrom);
    }
    Consume(5);
    return EParse::Done;
}

void CBoardEngine::BootLoaderStarts(std::int64_t) {
    Log("boot-loader");
    for (const tagDisconnect& d : m_Options.aDisconnect)
        if (d.point == EDisconnectPoint::Wait) {
            Log("disconnect wait");
            m_StopRequest = EStopRequest::DisconnectWhenDrained;
            m_State = EState::Stopped;
            return;
        }
    std::int64_t gap = kBootGapNs;
    if (m_Options.nNoise != 0) {
        Bytes noise;
        while (noise.size() < m_Options.nNoise) {
            m_dwNoiseSeed = m_dwNoiseSeed * 1664525u + 1013904223u;
            std::uint8_t b = std::uint8_t(m_dwNoiseSeed >> 24);
            // A zero would end the tool's view of the text, a space could fake the CA signal.
            if (b != 0x00 && b != ' ')
                noise.push_back(b);
        }
        tagOutChunk chunk;
        chunk.data = std::move(noise);
        chunk.nGapNs = gap;
        m_aOut.push_back(std::move(chunk));
        gap = 1'000'000;
    }
    std::string text = ConsoleLines(m_Options.strBanner) + "\r\n";
    text += m_Options.bCa ? "     " : "start download process.\r\n";
    Say(text, gap);
    m_bCommandPending = false;
    m_State = m_Options.bCa ? EState::CaWait : EState::Console;
}

CBoardEngine::EParse CBoardEngine::OnCommandHead(std::int64_t now) {
    if (m_aIn.size() < 5)
        return EParse::NeedMore;
    if (!CheckCrc(m_aIn.data(), 5)) {
        Reject("cmdhead", "crc");
        Skip();
        return EParse::Done;
    }
    std::uint16_t length = std::uint16_t(m_aIn[1] << 8 | m_aIn[2]);
    std::string label = "cmdhead len=" + std::to_string(length);
    if (CountFrame(EFrameKind::CmdHead)) {
        Reject(label, "crc-injected");
    } else if (length > kMaxCommandLength) {
        Reject(label, "length");
    } else if (Answer(EFrameKind::CmdHead, label, now)) {
        // A repeated head (its 0xAA lost) simply replaces the pending one; a new command also
        // ends any repeat of the previous word.
        m_aLastAccepted.clear();
        m_bCommandPending = true;
        m_wCommandLength = length;
    }
    Consume(5);
    return EParse::Done;
}

CBoardEngine::EParse CBoardEngine::OnCommandWord(std::int64_t now) {
    std::size_t size = std::size_t(m_wCommandLength) + 3;
    if (m_aIn.size() < size)
        return EParse::NeedMore;
    if (!CheckCrc(m_aIn.data(), size)) {
        Reject("cmdword", "crc");
        Skip();
        return EParse::Done;
    }
    std::string text(m_aIn.begin() + 1, m_aIn.begin() + std::ptrdiff_t(size - 2));
    if (CountFrame(EFrameKind::CmdWord)) {
        Reject("cmdword " + Printable(text), "crc-injected");
    } else if (Answer(EFrameKind::CmdWord, "cmdword " + Printable(text), now)) {
        m_bCommandPending = false;
        Bytes frame(m_aIn.begin(), m_aIn.begin() + std::ptrdiff_t(size));
        std::size_t outputFrom = m_aOut.size();
        Consume(size);
        RunCommand(text, now);
        // The reply goes again with a repeated word: the tool's resend purged the first one.
        Remember(EFrameKind::CmdWord, std::move(frame), "cmdword " + Printable(text), outputFrom);
        return EParse::Done;
    }
    Consume(size);
    return EParse::Done;
}

void CBoardEngine::RunCommand(const std::string& text, std::int64_t) {
    ++m_nCommandsThisPowerOn;
    ++m_Stats.nCommands;
    Log("cmd " + Printable(text));

    bool disconnectAfter = false;
    for (std::size_t i = 0; i < m_Options.aDisconnect.size(); ++i) {
        const tagDisconnect& d = m_Options.aDisconnect[i];
        if ((d.point != EDisconnectPoint::Cmd && d.point != EDisconnectPoint::AfterCmd) ||
            !StartsWith(text, d.strPrefix) || ++m_aDisconnectCount[i] != d.nNth)
            continue;
        if (d.point == EDisconnectPoint::Cmd) {
            Log("disconnect cmd");
            m_StopRequest = EStopRequest::DisconnectWhenDrained;
            m_State = EState::Stopped;
            return;
        }
        disconnectAfter = true;
    }
    // Every rule counts its own matches, whichever rule then decides the answer.
    bool silent = CommandRuleHits(m_aSilentOnCount, m_Options.aSilentOn, text);
    bool error = CommandRuleHits(m_aErrorOnCount, m_Options.aErrorOn, text);
    const tagHugeReply* huge = nullptr;
    for (const tagHugeReply& rule : m_Options.aHugeReply)
        if (!huge && StartsWith(text, rule.strPrefix))
            huge = &rule;

    std::int64_t delay = std::int64_t(m_Options.nDelayMs) * 1'000'000;
    if (CommandRuleHits(m_aHoldOnCount, m_Options.aHoldOn, text)) {
        Log("hold " + std::to_string(m_Options.nHoldMs));
        delay += std::int64_t(m_Options.nHoldMs) * 1'000'000;
    }
    if (silent) {
        Log("silent");
    } else if (huge) {
        std::string out;
        out.reserve(huge->qwBytes);
        for (unsigned n = 0; out.size() < huge->qwBytes; ++n) {
            char line[64];
            std::snprintf(line, sizeof line, "%08u 0123456789abcdefghijklmnopqrstuvwxyz\r\n", n);
            out += line;
        }
        out.resize(huge->qwBytes);
        Say(out, delay);
        Log("huge " + std::to_string(huge->qwBytes));
    } else {
        tagCommandResult result;
        if (error)
            result = {false, "error: command refused\r\n"};
        else
            result = m_Loader.Run(text);
        Say(result.strOutput, delay);
        Marker(result.bOk);
        Log(result.bOk ? "ok" : "error");
        if (!result.bOk)
            ++m_Stats.nCommandsFailed;
    }
    if (disconnectAfter) {
        Log("disconnect after-cmd");
        m_StopRequest = EStopRequest::DisconnectWhenDrained;
        m_State = EState::Stopped;
    }
}

bool CBoardEngine::IsRepeat(bool& complete) const {
    if (m_aLastAccepted.empty())
        return false;
    std::size_t n = std::min(m_aIn.size(), m_aLastAccepted.size());
    if (!std::equal(m_aIn.begin(), m_aIn.begin() + std::ptrdiff_t(n), m_aLastAccepted.begin()))
        return false;
    complete = m_aIn.size() >= m_aLastAccepted.size();
    return true;
}

CBoardEngine::EParse CBoardEngine::OnRepeat(std::int64_t now) {
    std::string label = "repeat " + m_strLastLabel;
    std::size_t n = m_aLastAccepted.size();
    if (CountFrame(m_LastKind)) {
        Reject(label, "crc-injected");
    } else if (Answer(m_LastKind, label, now)) {
        Log(label);
        m_aOut.insert(m_aOut.end(), m_aLastFollowUp.begin(), m_aLastFollowUp.end());
    }
    Consume(n);
    return EParse::Done;
}

void CBoardEngine::Remember(EFrameKind kind, Bytes frame, const std::string& label, std::size_t outputFrom) {
    m_aLastAccepted = std::move(frame);
    m_LastKind = kind;
    m_strLastLabel = label;
    m_aLastFollowUp.assign(m_aOut.begin() + std::ptrdiff_t(outputFrom), m_aOut.end());
}

bool CBoardEngine::CommandRuleHits(std::vector<unsigned>& counters, const std::vector<tagCommandFault>& rules,
                                   const std::string& text) {
    bool hit = false;
    for (std::size_t i = 0; i < rules.size(); ++i)
        if (StartsWith(text, rules[i].strPrefix)) {
            ++counters[i];
            if (rules[i].nNth == 0 || counters[i] == rules[i].nNth)
                hit = true;
        }
    return hit;
}

bool CBoardEngine::CountFrame(EFrameKind kind) {
    unsigned nth = ++m_aFrameCount[int(kind)];
    for (const tagFrameFault& f : m_Options.aCrcError)
        if (f.kind == kind && f.nNth == nth)
            return true;
    return false;
}

std::int64_t CBoardEngine::AnswerTime(std::int64_t now) const {
    // Paced input already reaches the board at line speed; otherwise a real board still needs
    // the frame's wire time before it can answer (--ack-delay-us 0 answers at once, which a
    // pseudo-terminal allows and a line does not).
    return m_Options.bPace ? now : now + std::int64_t(m_Options.nAckDelayUs) * 1000;
}

const tagFrameFault* CBoardEngine::FrameRuleHits(const std::vector<tagFrameFault>& rules,
                                                 EFrameKind kind) const {
    for (const tagFrameFault& f : rules)
        if (f.kind == kind && f.nNth == m_aFrameCount[int(kind)])
            return &f;
    return nullptr;
}

bool CBoardEngine::Answer(EFrameKind kind, const std::string& label, std::int64_t now, EOutTag tag) {
    tagOutChunk chunk;
    chunk.nNotBeforeNs = AnswerTime(now);
    chunk.nPowerOn = m_nPowerOn;
    if (const tagFrameFault* f = FrameRuleHits(m_Options.aWrongAck, kind)) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%02x", f->byAnswer);
        Log("wrong-ack " + label + " " + text);
        ++m_Stats.nFramesRejected;
        chunk.data = {f->byAnswer};
        m_aOut.push_back(std::move(chunk));
        return false;
    }
    if (const tagFrameFault* f = FrameRuleHits(m_Options.aDelayAck, kind)) {
        Log("delay-ack " + label + " " + std::to_string(f->nDelayUs) + " us");
        chunk.nNotBeforeNs += std::int64_t(f->nDelayUs) * 1000;
    }
    if (FrameRuleHits(m_Options.aDropAck, kind)) {
        // Taken, but its 0xAA is lost on the line. The empty chunk keeps the output's order.
        Log("drop-ack " + label);
        m_aOut.push_back(std::move(chunk));
        return true;
    }
    chunk.data = {kAck};
    chunk.tag = tag;
    m_aOut.push_back(std::move(chunk));
    ++m_Stats.nFramesAcked;
    return true;
}

void CBoardEngine::Reject(const std::string& label, const std::string& reason) {
    Log("nak " + label + " " + reason);
    ++m_Stats.nFramesRejected;
}

void CBoardEngine::Consume(std::size_t n) {
    m_aIn.erase(m_aIn.begin(), m_aIn.begin() + std::ptrdiff_t(std::min(n, m_aIn.size())));
    m_nGapBeforeBufferNs = 0;
}

void CBoardEngine::Skip() {
    m_aIn.erase(m_aIn.begin());
    m_nGapBeforeBufferNs = 0;
    ++m_nSkipped;
}

void CBoardEngine::FlushSkipped() {
    if (m_nSkipped == 0)
        return;
    m_Trace.Line("drop " + std::to_string(m_nSkipped));
    m_nSkipped = 0;
}

void CBoardEngine::Log(const std::string& line) {
    FlushSkipped();
    m_Trace.Line(line);
}

void CBoardEngine::Say(const std::string& text, std::int64_t gapNs, EOutTag tag) {
    if (text.empty() && gapNs == 0 && tag == EOutTag::None)
        return;
    tagOutChunk chunk;
    chunk.data.assign(text.begin(), text.end());
    chunk.nGapNs = gapNs;
    chunk.tag = tag;
    chunk.nPowerOn = m_nPowerOn;
    m_aOut.push_back(std::move(chunk));
}

void CBoardEngine::Marker(bool ok) {
    std::string marker = ok ? "[EOT]" : "[EOT](ERROR)";
    EOutTag tag = ok ? EOutTag::Eot : EOutTag::None;
    if (!ok && m_Options.nErrorGapUs != 0 && !m_Options.bSplitMarkers) {
        Say("[EOT]");
        Say("(ERROR)", std::int64_t(m_Options.nErrorGapUs) * 1000, EOutTag::ErrorAfterGap);
        return;
    }
    if (!m_Options.bSplitMarkers) {
        Say(marker, 0, tag);
        return;
    }
    Say(marker.substr(0, 3));
    Say(marker.substr(3), kSplitMarkerGapNs, tag);
}
