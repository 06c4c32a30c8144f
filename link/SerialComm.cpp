#include "SerialComm.h"

#include "BurnConfig.h"
#include "Crc16.h"
#include "FlashLayout.h"
#include "PortDiagnosis.h"
#include "StopFlag.h"
#include "StrUtil.h"
#include "TextTables.h"
#include "WindowInterface.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

CSerialComm g_SerialComm;

CSerialComm::CSerialComm()
    : m_pHistory(new std::uint8_t[kHistorySize]),
      m_pReply(static_cast<std::uint8_t*>(std::calloc(kReplySize + 1, 1))) {}

CSerialComm::~CSerialComm() {
    Close();
}

void CSerialComm::Attach(IBurnWindow* window, const BurnConfig* config, std::shared_ptr<CStopFlag> stop,
                         IBurnListener* listener) {
    if (config != m_config)
        CloseLog(); // another folder, another "Log.txt"
    m_window = window;
    m_listener = listener;
    m_config = config;
    m_stop = std::move(stop);
    if (m_port)
        m_port->SetStopFlag(m_stop);
}

void CSerialComm::SetPort(std::unique_ptr<IPort> port) {
    m_port = std::move(port);
    if (m_port)
        m_port->SetStopFlag(m_stop);
}

void CSerialComm::SetLogName(const std::string& name) {
    CloseLog();
    m_strLogName = name;
}

void CSerialComm::ReleasePort() {
    Close();
    m_port.reset();
}

bool CSerialComm::IsStopped() const {
    return m_stop && m_stop->IsStopped();
}

bool CSerialComm::PortLost() const {
    return m_port && m_port->IsLost();
}

std::uint32_t CSerialComm::TickCount() {
    using namespace std::chrono;
    return std::uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void CSerialComm::SendStatus(StatusKind kind, const std::string& text) {
    // A stopped job sends nothing more to the window.
    if (m_window && !IsStopped())
        m_window->BurnStatus(kind, text);
}

void CSerialComm::AppendToLog(const std::uint8_t* data, std::size_t n) {
    if (!m_config || n == 0)
        return;
    // Opened once per job, not per piece: an acknowledgement byte is logged three times a
    // command, and opening the file costs more than the line time of the byte. Unbuffered, so
    // every byte is in the file as soon as it is logged.
    if (!m_pLog) {
        m_pLog = std::fopen(m_config->PathInModuleDir(m_strLogName).c_str(), "ab");
        if (!m_pLog)
            return; // the traffic log is best effort
        std::setvbuf(m_pLog, nullptr, _IONBF, 0);
    }
    if (std::fwrite(data, 1, n, m_pLog) != n)
        CloseLog(); // tried afresh with the next piece
}

void CSerialComm::CloseLog() {
    if (m_pLog)
        std::fclose(m_pLog);
    m_pLog = nullptr;
}

void CSerialComm::FlushHistoryToLog() {
    // Every received byte goes to the log exactly once, in order.
    if (m_nHistory > m_nHistoryLogged)
        AppendToLog(m_pHistory.get() + m_nHistoryLogged, m_nHistory - m_nHistoryLogged);
    m_nHistoryLogged = m_nHistory;
}

void CSerialComm::SetTimeouts(unsigned readTotalMs, unsigned writeMsPerByte) {
    if (m_port)
        m_port->SetTimeouts(readTotalMs, writeMsPerByte);
}

int CSerialComm::Open(const std::string& name) {
    Close();
    if (!m_port)
        m_port = CreateQtSerialPort();
    m_port->SetStopFlag(m_stop);
    if (!m_port->Open(name)) {
        m_strStatus = tv::FormatRuntime(Txt(strOpenFailed), name.c_str());
        SendStatus(StatusKind::Append, m_strStatus);
        // The cause on a line of its own, so the line above stays as it always was.
        const std::string cause = PortOpenCause(name, m_port->OpenErrorText());
        if (!cause.empty())
            SendStatus(StatusKind::Append, cause);
        return 0;
    }
    m_port->SetTimeouts(2000, 100);
    return m_pHistory && m_pReply ? 1 : 0;
}

void CSerialComm::Close() {
    FlushHistoryToLog();
    CloseLog();
    if (m_port && m_port->IsOpen())
        m_port->Close();
}

std::uint32_t CSerialComm::Write(const std::uint8_t* data, std::uint32_t n) {
    if (!m_port || IsStopped())
        return 0;
    return m_port->Write(data, n);
}

std::uint32_t CSerialComm::Read(std::uint8_t* buffer, std::uint32_t n) {
    if (!m_port || IsStopped())
        return 0;
    return m_port->Read(buffer, n);
}

int CSerialComm::SendFrame(const std::uint8_t* frame, std::uint32_t length, std::uint32_t attemptLimit) {
    if (attemptLimit == 0 || !m_port)
        return 0;
    for (std::uint32_t attempt = 0; attempt < attemptLimit; ++attempt) {
        if (IsStopped() || m_port->IsLost())
            return 0;
        // Stale input is discarded before the frame goes out, never after: the board may answer
        // before this thread runs again (a busy machine), and that answer is this frame's.
        m_port->PurgeTx();
        m_port->PurgeRx();
        if (Write(frame, length) < length)
            return 0; // a short write is not retried
        if (m_frameWritten)
            m_frameWritten();
        std::uint8_t answer = 0;
        if (Read(&answer, 1) == 1 && answer == kAck) {
            AppendToLog(&answer, 1);
            return 1;
        }
    }
    return 0;
}

std::uint32_t CSerialComm::ReceiveChunk(std::uint8_t* buffer) {
    std::uint32_t n = Read(buffer, kChunkSize);
    if (n == 0)
        return 0;
    if (m_nHistory + n > kHistorySize) {
        // The history is full: log what it holds before it is emptied.
        FlushHistoryToLog();
        m_nHistory = 0;
        m_nHistoryLogged = 0;
    }
    std::memcpy(m_pHistory.get() + m_nHistory, buffer, n);
    m_nHistory += n;
    if (m_nReply + n > kReplySize)
        m_nReply = 0;
    std::memcpy(m_pReply.get() + m_nReply, buffer, n);
    m_nReply += n;
    m_pReply[m_nReply] = 0;
    m_nReplyDirty = std::max(m_nReplyDirty, m_nReply);

    buffer[n] = 0;
    std::string text(reinterpret_cast<const char*>(buffer));
    for (size_t at; (at = text.find("[EOT]")) != std::string::npos;)
        text.erase(at, 5);
    text = tv::Trim(text);
    if (!text.empty())
        SendStatus(StatusKind::Append, text);
    return n;
}

bool CSerialComm::ReplyContains(const char* needle, std::uint32_t from) const {
    // The reply is searched as bytes, not just up to a zero byte: a stray zero from line noise must
    // not hide an announcement or a marker that follows it. Callers pass where the new bytes begin
    // (less the needle's length), so a long reply is not scanned again for every chunk.
    const std::size_t len = std::strlen(needle);
    if (m_nReply < len)
        return false;
    const std::uint8_t* hay = m_pReply.get();
    for (std::uint32_t i = from; i + len <= m_nReply; ++i)
        if (hay[i] == std::uint8_t(needle[0]) && std::memcmp(hay + i, needle, len) == 0)
            return true;
    return false;
}

std::uint32_t CSerialComm::ScanStart(std::uint32_t previousLength, std::size_t needleLength) const {
    if (previousLength > m_nReply)
        return 0; // the reply was emptied because it was full
    return previousLength > needleLength ? previousLength - std::uint32_t(needleLength) : 0;
}

void CSerialComm::ClearReply() {
    std::memset(m_pReply.get(), 0, std::size_t(m_nReplyDirty) + 1);
    m_nReply = 0;
    m_nReplyDirty = 0;
}
