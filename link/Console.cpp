// Console commands of the boot loader, and the flash-layout queries built on them.
#include "FlashLayout.h"
#include "SerialComm.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <cstring>

int CSerialComm::SendCommand(const std::string& command, std::uint32_t timeoutMs) {
    static const char kError[] = "[EOT](ERROR)";
    static const char kDone[] = "[EOT]";
    // The word frame is built in a 128-byte buffer: a longer text is refused before anything is sent.
    if (command.size() > kMaxCommandLength) {
        m_strStatus = tv::FormatRuntime(Txt(strCmdHeadFailed), command.c_str());
        SendStatus(3, m_strStatus);
        return 0;
    }
    Bytes head = BuildCommandHeadFrame(std::uint16_t(command.size()));
    if (!SendFrame(head.data(), std::uint32_t(head.size()), 127)) {
        m_strStatus = tv::FormatRuntime(Txt(strCmdHeadFailed), command.c_str());
        SendStatus(3, m_strStatus);
        return 0;
    }
    Bytes word = BuildCommandWordFrame(command);
    if (!SendFrame(word.data(), std::uint32_t(word.size()), 127)) {
        m_strStatus = tv::FormatRuntime(Txt(strCmdWordFailed), command.c_str());
        SendStatus(3, m_strStatus);
        return 0;
    }
    ClearReply();
    const std::uint32_t start = TickCount();
    std::uint8_t chunk[kChunkSize + 1];
    for (;;) {
        if (IsStopped() || PortLost())
            return 0;
        if (std::uint32_t(TickCount() - start) > timeoutMs)
            return 0; // the time-out itself reports nothing
        const std::uint32_t before = m_nReply;
        // A reply ends with its marker: the read need not wait out the quiet millisecond after it.
        static constexpr std::string_view kMarkers[] = {"[EOT]"};
        if (ReceiveChunk(chunk, kMarkers) == 0)
            continue;
        // The error marker contains the plain one, so it is tested first.
        if (ReplyContains(kError, ScanStart(before, sizeof kError - 1))) {
            m_strStatus = tv::FormatRuntime(Txt(strCmdReturnFailed), command.c_str());
            SendStatus(3, m_strStatus);
            return 0;
        }
        if (ReplyContains(kDone, ScanStart(before, sizeof kDone - 1))) {
            m_strStatus = tv::FormatRuntime(Txt(strCmdReturned), command.c_str());
            SendStatus(3, m_strStatus);
            return 1;
        }
    }
}

std::uint32_t CSerialComm::GetDeviceInfoOffset(std::string& flashType) {
    if (!SendCommand("print", 12000))
        return 0;
    return ParseDeviceInfoOffset(std::string_view(ReplyText()), flashType);
}

// The size queries: "emmc" needs none, other types than "nand" and "spi" (letter case counts) get 0.
static std::uint32_t GetInfoSize(CSerialComm& comm, const std::string& flashType, std::string_view keyword) {
    if (flashType == "emmc")
        return 512;
    if (flashType != "nand" && flashType != "spi")
        return 0;
    if (!comm.SendCommand("getinfo " + flashType, 12000))
        return 0;
    return ParseGetinfoSize(std::string_view(comm.ReplyText()), keyword);
}

std::uint32_t CSerialComm::GetBlockSize(const std::string& flashType) {
    return GetInfoSize(*this, flashType, "Block:");
}

std::uint32_t CSerialComm::GetPageSize(const std::string& flashType) {
    return GetInfoSize(*this, flashType, "Page:");
}
