// Console commands of the boot loader, and the flash-layout queries built on them.
#include "FlashLayout.h"
#include "SerialComm.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <cstring>

namespace {

// A command's frames get one attempt each. Once an acknowledgement is missing or wrong, what the
// board says next can no longer be tied to this command: it may have run it already (only the 0xAA
// was lost), and a frame sent again would run it twice and queue its answers behind the next
// command's. The command fails instead.
constexpr std::uint32_t kCommandFrameAttempts = 1;
// After such an exchange the line is drained until it has been quiet this long (longer than the
// 150 ms a frame waits for its answer), so nothing the board still says about this command is read
// as the next command's acknowledgement or outcome.
constexpr std::uint32_t kDrainQuietMs = 200;

} // namespace

int CSerialComm::SendCommandFrame(const Bytes& frame, std::uint32_t start, std::uint32_t timeoutMs) {
    if (SendFrame(frame.data(), std::uint32_t(frame.size()), kCommandFrameAttempts))
        return 1;
    if (!m_port)
        return 0;
    // What came instead of the acknowledgement, and everything after it, is taken in as the
    // board's output (history, status log) and goes no further.
    std::uint8_t chunk[kChunkSize + 1];
    std::uint32_t quietSince = TickCount();
    while (!IsStopped() && !PortLost() && std::uint32_t(TickCount() - start) <= timeoutMs &&
           std::uint32_t(TickCount() - quietSince) < kDrainQuietMs) {
        if (ReceiveChunk(chunk) != 0)
            quietSince = TickCount();
    }
    return 0;
}

int CSerialComm::SendCommand(const std::string& command, std::uint32_t timeoutMs) {
    static const char kError[] = "[EOT](ERROR)";
    static const char kDone[] = "[EOT]";
    // The word frame is built in a 128-byte buffer: a longer text is refused before anything is sent.
    if (command.size() > kMaxCommandLength) {
        m_strStatus = tv::FormatRuntime(Txt(strCmdHeadFailed), command.c_str());
        SendStatus(StatusKind::Append, m_strStatus);
        return 0;
    }
    const std::uint32_t frameStart = TickCount();
    if (!SendCommandFrame(BuildCommandHeadFrame(std::uint16_t(command.size())), frameStart, timeoutMs)) {
        m_strStatus = tv::FormatRuntime(Txt(strCmdHeadFailed), command.c_str());
        SendStatus(StatusKind::Append, m_strStatus);
        return 0;
    }
    if (!SendCommandFrame(BuildCommandWordFrame(command), frameStart, timeoutMs)) {
        m_strStatus = tv::FormatRuntime(Txt(strCmdWordFailed), command.c_str());
        SendStatus(StatusKind::Append, m_strStatus);
        return 0;
    }
    ClearReply();
    const std::uint32_t start = TickCount();
    std::uint8_t chunk[kChunkSize + 1];
    bool ended = false; // the reply holds "[EOT]"
    for (;;) {
        if (IsStopped() || PortLost())
            return 0;
        if (std::uint32_t(TickCount() - start) > timeoutMs)
            return 0; // the time-out itself reports nothing
        const std::uint32_t before = m_nReply;
        if (ReceiveChunk(chunk) != 0) {
            // The error marker contains the plain one, so it is tested first.
            if (ReplyContains(kError, ScanStart(before, sizeof kError - 1))) {
                m_strStatus = tv::FormatRuntime(Txt(strCmdReturnFailed), command.c_str());
                SendStatus(StatusKind::Append, m_strStatus);
                return 0;
            }
            ended = ended || ReplyContains(kDone, ScanStart(before, sizeof kDone - 1));
        }
        // "(ERROR)" can still follow "[EOT]" in a later piece: success only once the line has been
        // quiet for the guard after the reply, however its bytes came.
        if (ended && m_port->QuietFor(kMarkerGuardUs)) {
            m_strStatus = tv::FormatRuntime(Txt(strCmdReturned), command.c_str());
            SendStatus(StatusKind::Append, m_strStatus);
            return 1;
        }
    }
}

std::uint32_t CSerialComm::GetDeviceInfoOffset(std::string& flashType) {
    if (!SendCommand("print", kConsoleTimeoutMs))
        return 0;
    return ParseDeviceInfoOffset(std::string_view(ReplyText()), flashType);
}

// The size queries: "emmc" needs none, other types than "nand" and "spi" (letter case counts) get 0.
static std::uint32_t GetInfoSize(CSerialComm& comm, const std::string& flashType, std::string_view keyword) {
    if (flashType == "emmc")
        return 512;
    if (flashType != "nand" && flashType != "spi")
        return 0;
    if (!comm.SendCommand("getinfo " + flashType, CSerialComm::kConsoleTimeoutMs))
        return 0;
    return ParseGetinfoSize(std::string_view(comm.ReplyText()), keyword);
}

std::uint32_t CSerialComm::GetBlockSize(const std::string& flashType) {
    return GetInfoSize(*this, flashType, "Block:");
}

std::uint32_t CSerialComm::GetPageSize(const std::string& flashType) {
    return GetInfoSize(*this, flashType, "Page:");
}
