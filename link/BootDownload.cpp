// The boot-ROM download: start, head, data and tail frames, then the wait for the boot loader.
#include "BurnConfig.h"
#include "SafeFile.h"
#include "SerialComm.h"
#include "StrUtil.h"
#include "TextTables.h"
#include "WindowInterface.h"

#include <vector>

namespace {

// The start frame's attempt limit and the port time-outs per frame kind (the other frames'
// limit is CSerialComm::kFrameAttempts).
constexpr std::uint32_t kStartAttempts = 32767;
constexpr unsigned kStartTimeoutMs = 13;
constexpr unsigned kHeadTimeoutMs = 30;
constexpr unsigned kDataTimeoutMs = 150;
constexpr std::uint32_t kBootStartLimitMs = 10000;

std::string BootFileFaultText(const std::string& path, const std::vector<std::uint8_t>& bytes,
                              BootFileFault fault) {
    const unsigned size = unsigned(bytes.size());
    switch (fault) {
    case BootFileFault::TooShort:
        return tv::FormatRuntime(Txt(strBootFileTooShort), path.c_str(), size);
    case BootFileFault::TailTooLong:
        return tv::FormatRuntime(Txt(strBootFileTailTooLong), path.c_str(),
                                 unsigned(BootFileTailLength(bytes.data(), bytes.size())), size);
    case BootFileFault::BadDescription:
        return tv::FormatRuntime(Txt(strBootFileBadDescription), path.c_str(),
                                 unsigned(BootFileDescriptionLength(bytes.data(), bytes.size())));
    case BootFileFault::TooLarge:
    case BootFileFault::None:
        break;
    }
    return std::string();
}

} // namespace

int CSerialComm::SendStartFrame() {
    const std::uint32_t t1 = TickCount();
    const std::uint32_t t2 = TickCount();
    Bytes frame = BuildStartFrame(t1, t2);
    SetTimeouts(kStartTimeoutMs, kStartTimeoutMs);
    return SendFrame(frame.data(), std::uint32_t(frame.size()), kStartAttempts);
}

int CSerialComm::SendHeadFrame(const tagBootSegment& segment) {
    Bytes frame = BuildHeadFrame(segment.dwLength, segment.dwAddress);
    SetTimeouts(kHeadTimeoutMs, kHeadTimeoutMs);
    return SendFrame(frame.data(), std::uint32_t(frame.size()), kFrameAttempts);
}

int CSerialComm::SendDataFrame(std::uint8_t number, const std::uint8_t* data, std::uint32_t n) {
    Bytes frame = BuildDataFrame(number, data, n);
    SetTimeouts(kDataTimeoutMs, kDataTimeoutMs);
    return SendFrame(frame.data(), std::uint32_t(frame.size()), kFrameAttempts);
}

int CSerialComm::SendTailFrame(std::uint8_t number) {
    // Keeps the time-outs in force: the data frames' after data, the head frame's for an empty segment.
    Bytes frame = BuildTailFrame(number);
    int ok = SendFrame(frame.data(), std::uint32_t(frame.size()), kFrameAttempts);
    AppendToLog(frame.data(), frame.size());
    return ok;
}

void CSerialComm::SelectBootImages() {
    const BootImageRow& row = BuiltInBootImages(m_config ? m_config->m_nBoardType : 0);
    m_nSegments = 2;
    m_Segments[0] = row.segment0;
    m_Segments[1] = row.segment1;
    m_bootFile.clear();
}

int CSerialComm::LoadBootFile(const std::string& path) {
    m_nSegments = 2;
    m_strBootFileCause.clear();
    std::vector<std::uint8_t> bytes;
    const FileFault readFault = ReadRegularFile(path, kMaxBootFileBytes, bytes);
    if (readFault != FileFault::None) {
        m_strBootFileCause = readFault == FileFault::Missing
                                 ? tv::FormatRuntime(Txt(strBootFileMissing), path.c_str())
                                 : tv::FormatRuntime(Txt(strBootFileUnreadable), path.c_str(),
                                                     FileFaultText(readFault, kMaxBootFileBytes).c_str());
        return 0;
    }
    BootFileLayout layout;
    BootFileFault fault = BootFileFault::None;
    if (!ParseBootFile(bytes.data(), bytes.size(), layout, &fault)) {
        m_strBootFileCause = BootFileFaultText(path, bytes, fault);
        return 0;
    }
    if (layout.description)
        SendStatus(StatusKind::Append, *layout.description);
    // The segment table points into the file buffer, which the channel keeps while it does.
    m_bootFile = std::move(bytes);
    m_Segments[0] = {kBootFileSegment0Address, layout.segment0Length, m_bootFile.data()};
    m_Segments[1] = {kBootFileSegment1Address, layout.segment1Length,
                     m_bootFile.data() + layout.segment0Length};
    SendStatus(StatusKind::Append, Txt(strBootFileLoaded));
    return 1;
}

int CSerialComm::DownloadBoot() {
    if (m_config && m_config->m_nIsCA != 0) {
        if (!LoadBootFile(m_config->PathInModuleDir("ProgrammerforCA.bin"))) {
            SendStatus(StatusKind::Append, Txt(strBootFileFailed));
            // Which file, and why, on a line of its own after the message above.
            if (!m_strBootFileCause.empty())
                SendStatus(StatusKind::Append, m_strBootFileCause);
            return 0;
        }
    } else {
        SelectBootImages();
    }
    if (!DownloadSegments()) {
        SendStatus(StatusKind::Append, Txt(strDataFailed));
        return 0;
    }
    if (!WaitBootStart()) {
        SendStatus(StatusKind::Append, Txt(strBootStartFailed));
        return 0;
    }
    return 1;
}

void CSerialComm::SendModalBox(const std::string& text) {
    if (m_window && !IsStopped())
        m_window->ShowSystemMessageBox("Telvanor", text);
}

int CSerialComm::DownloadSegments() {
    if (!SendStartFrame())
        return 0;
    SendStatus(StatusKind::None, "Start frame sent successfully!");
    if (m_listener && !IsStopped())
        m_listener->BoardStarted();
    // The progress event covers the whole download, both segments; it goes out when its percent moves.
    std::uint64_t total = 0, done = 0;
    for (int i = 0; i < m_nSegments; ++i)
        total += m_Segments[i].dwLength;
    int reported = -1;
    auto progress = [&] {
        const int percent = total == 0 ? 100 : int(done * 100 / total);
        if (percent != reported && m_listener && !IsStopped()) {
            reported = percent;
            m_listener->Progress(BurnStage::Download, percent);
        }
    };
    progress();
    for (int i = 0; i < m_nSegments; ++i) {
        const tagBootSegment& seg = m_Segments[i];
        if (!SendHeadFrame(seg))
            return 0;
        SendStatus(StatusKind::None, "Head frame sent successfully!");
        std::uint8_t k = 1;
        std::uint32_t sent = 0;
        std::uint32_t remaining = seg.dwLength;
        while (remaining > 0) {
            const std::uint32_t n = remaining < kMaxDataPerFrame ? remaining : kMaxDataPerFrame;
            const std::uint8_t number = k;
            const int ok = SendDataFrame(number, seg.pData + sent, n);
            ++k; // 8-bit: wraps from 255 to 0
            if (!ok)
                return 0;
            remaining -= n;
            sent += n;
            done += n;
            // 64-bit so a large boot file cannot overflow the percentage.
            const int percent = int(std::uint64_t(sent) * 100 / seg.dwLength);
            m_strStatus = tv::FormatRuntime(Txt(i == 0 ? strSegment1Progress : strSegment2Progress), percent);
            SendStatus(number == 1 ? StatusKind::Append : StatusKind::ReplaceLast, m_strStatus);
            progress();
        }
        if (!SendTailFrame(k)) {
            if (!IsStopped())
                SendModalBox(tv::Format("Failed to send step %d tail frame fail!", i));
            return 0;
        }
    }
    SendStatus(StatusKind::Append, Txt(strDataDownloaded));
    return 1;
}

int CSerialComm::WaitBootStart() {
    static const char kAnnouncement[] = "start download process.";
    static const char kFiveSpaces[] = "     ";
    ClearReply();
    const std::uint32_t start = TickCount();
    std::uint8_t chunk[kChunkSize + 1];
    for (int i = 0; i < 65535; ++i) {
        if (IsStopped() || PortLost())
            return 0;
        if (std::uint32_t(TickCount() - start) > kBootStartLimitMs)
            return 0;
        const std::uint32_t before = m_nReply;
        if (ReceiveChunk(chunk) == 0)
            continue;
        if (m_config && m_config->m_nIsCA != 0 && m_nReply >= 5 &&
            ReplyContains(kFiveSpaces, ScanStart(before, sizeof kFiveSpaces - 1))) {
            const std::uint8_t answer = kAck;
            Write(&answer, 1);
            SendStatus(StatusKind::Append, Txt(strBootStarted));
            return 1;
        }
        if (ReplyContains(kAnnouncement, ScanStart(before, sizeof kAnnouncement - 1))) {
            SendStatus(StatusKind::Append, Txt(strBootStarted));
            return 1;
        }
    }
    return 0;
}
