// The serial channel: the tool's only path to the board. One instance, g_SerialComm, used by one
// job at a time on the job runner's thread; a station has one more per port, each on its own runner.
#pragma once

#include "BootImages.h"
#include "BurnEvents.h"
#include "Frames.h"
#include "Port.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class IBurnWindow;
class CStopFlag;
struct BurnConfig;

class CSerialComm {
public:
    static constexpr std::uint32_t kHistorySize = 0x1000000; // 16 MiB
    static constexpr std::uint32_t kReplySize = 0x100000;    // 1 MiB
    static constexpr std::uint32_t kChunkSize = 1024;
    // How long a console command may take, from its first frame to its end marker.
    static constexpr std::uint32_t kConsoleTimeoutMs = 12000;
    // How often a head, data or tail frame of the boot download is sent before the download fails.
    static constexpr std::uint32_t kFrameAttempts = 127;
    // A console reply ending in "[EOT]" is a success only once the line has been quiet this long
    // after it: the "(ERROR)" of a failed command may come in a later piece (a receive FIFO, a USB
    // adapter). The quiet millisecond, and half as much again for the way from the line to this
    // thread (the kernel's hand-over and the thread's wake-up vary by tens to hundreds of
    // microseconds on a busy machine). A longer gap still reads as success.
    static constexpr std::uint32_t kMarkerGuardUs = 1500;

    CSerialComm();
    virtual ~CSerialComm();
    CSerialComm(const CSerialComm&) = delete;
    CSerialComm& operator=(const CSerialComm&) = delete;

    // Who hears the status messages (null: no main window, nothing is sent), the configuration,
    // the stop flag of the running job, and who hears the board's first answer and the download's
    // progress (null: nobody). Set by the job before it opens the port.
    void Attach(IBurnWindow* window, const BurnConfig* config, std::shared_ptr<CStopFlag> stop,
                IBurnListener* listener = nullptr);
    // The port implementation; a Qt serial port is made on first use when none was given.
    void SetPort(std::unique_ptr<IPort> port);
    // The traffic log's file name in the program folder: "Log.txt" for the single port, one file
    // per port when a station burns on several. Set before the first job.
    void SetLogName(const std::string& name);

    // Part of the channel.
    int Open(const std::string& name);
    void Close();
    std::uint32_t Write(const std::uint8_t* data, std::uint32_t n);
    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t n);
    int SendFrame(const std::uint8_t* frame, std::uint32_t length, std::uint32_t attemptLimit);
    std::uint32_t ReceiveChunk(std::uint8_t* buffer);

    // Boot download.
    int DownloadBoot();
    int DownloadSegments();
    int WaitBootStart();
    int SendStartFrame();
    int SendHeadFrame(const tagBootSegment& segment);
    int SendDataFrame(std::uint8_t number, const std::uint8_t* data, std::uint32_t n);
    int SendTailFrame(std::uint8_t number);
    void SelectBootImages();
    int LoadBootFile(const std::string& path);

    // Console.
    int SendCommand(const std::string& command, std::uint32_t timeoutMs);

    // Flash layout.
    std::uint32_t GetDeviceInfoOffset(std::string& flashType);
    std::uint32_t GetBlockSize(const std::string& flashType);
    std::uint32_t GetPageSize(const std::string& flashType);

    // Test hook: runs on the job's thread right after each frame is written, before its
    // acknowledgement is read (tests hold the thread up here, as a busy machine can).
    void SetFrameWrittenHook(std::function<void()> hook) { m_frameWritten = std::move(hook); }

    // The port went away during the job (adapter unplugged).
    bool PortLost() const;
    bool IsStopped() const;

    // Closes the port and destroys it, on the thread that owns it.
    void ReleasePort();

    // Read access for tests and the job.
    const char* ReplyText() const { return reinterpret_cast<const char*>(m_pReply.get()); }
    std::uint32_t ReplyLength() const { return m_nReply; }
    std::uint32_t HistoryLength() const { return m_nHistory; }
    // The bytes received since the history held mark bytes (empty when it has been emptied since).
    std::string ReceivedSince(std::uint32_t mark) const {
        if (mark > m_nHistory)
            return std::string();
        return std::string(reinterpret_cast<const char*>(m_pHistory.get()) + mark, m_nHistory - mark);
    }
    const std::string& Status() const { return m_strStatus; }
    const tagBootSegment& Segment(int i) const { return m_Segments[i]; }

protected:
    // A status line to the window.
    void SendStatus(StatusKind kind, const std::string& text);
    // Appends bytes to "Log.txt", which stays open (unbuffered) until the port closes.
    void AppendToLog(const std::uint8_t* data, std::size_t n);
    void CloseLog();
    // Logs the history bytes not yet logged.
    void FlushHistoryToLog();
    void SetTimeouts(unsigned readTotalMs, unsigned writeMsPerByte);
    static std::uint32_t TickCount();
    void ClearReply();
    bool ReplyContains(const char* needle, std::uint32_t from) const;
    std::uint32_t ScanStart(std::uint32_t previousLength, std::size_t needleLength) const;
    void SendModalBox(const std::string& text);
    // One frame of a console command, one attempt; when it is not acknowledged the line is
    // drained (within the command's time-out from start) and 0 returned.
    int SendCommandFrame(const Bytes& frame, std::uint32_t start, std::uint32_t timeoutMs);

    tagBootSegment m_Segments[4];
    int m_nSegments = 0;
    std::unique_ptr<std::uint8_t[]> m_pHistory;
    std::uint32_t m_nHistory = 0;
    std::uint32_t m_nHistoryLogged = 0; // history bytes already in "Log.txt"
    std::FILE* m_pLog = nullptr;
    std::string m_strLogName = "Log.txt";
    struct tagFree {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    // Zero from calloc: fresh pages come zeroed from the system, where zeroing a megabyte per
    // port made a station with eight ports start noticeably later.
    std::unique_ptr<std::uint8_t[], tagFree> m_pReply;
    std::uint32_t m_nReply = 0;
    std::uint32_t m_nReplyDirty = 0; // bytes past m_nReply that may not be zero
    std::string m_strStatus;
    std::unique_ptr<IPort> m_port;
    std::vector<std::uint8_t> m_bootFile; // kept while the segment table points into it
    std::string m_strBootFileCause;       // why the last LoadBootFile failed, for the status log

    IBurnWindow* m_window = nullptr;
    IBurnListener* m_listener = nullptr;
    const BurnConfig* m_config = nullptr;
    std::shared_ptr<CStopFlag> m_stop;
    std::function<void()> m_frameWritten;
};

extern CSerialComm g_SerialComm;
