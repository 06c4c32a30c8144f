#include "PtyLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

std::int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

bool CPty::Open(std::string& error) {
    m_nMaster = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_nMaster < 0 || grantpt(m_nMaster) != 0 || unlockpt(m_nMaster) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (ptsname_r(m_nMaster, name, sizeof name) != 0) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    m_strSlavePath = name;
    m_nSlave = open(name, O_RDWR | O_NOCTTY);
    if (m_nSlave < 0) {
        error = "cannot open " + m_strSlavePath + ": " + std::strerror(errno);
        return false;
    }
    termios tio{};
    if (tcgetattr(m_nSlave, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B115200);
        cfsetospeed(&tio, B115200);
        tcsetattr(m_nSlave, TCSANOW, &tio);
    }
    int flags = fcntl(m_nMaster, F_GETFL);
    fcntl(m_nMaster, F_SETFL, flags | O_NONBLOCK);
    return true;
}

void CPty::Close() {
    if (m_nMaster >= 0)
        close(m_nMaster);
    if (m_nSlave >= 0)
        close(m_nSlave);
    m_nMaster = m_nSlave = -1;
}

void CInputLine::Add(const std::uint8_t* data, std::size_t n, std::int64_t arrivalNs) {
    for (std::size_t i = 0; i < n; ++i) {
        std::int64_t due = arrivalNs;
        if (m_bPace)
            due = std::max(arrivalNs, m_nLastDueNs) + kByteNs;
        m_nLastDueNs = due;
        m_aBytes.push_back({data[i], due});
    }
}

std::int64_t CInputLine::Deliver(CBoardEngine& engine, std::int64_t now) {
    while (!m_aBytes.empty() && m_aBytes.front().dueNs <= now) {
        engine.OnByte(m_aBytes.front().value, m_aBytes.front().dueNs);
        m_aBytes.pop_front();
    }
    if (m_aBytes.empty())
        return -1;
    return m_aBytes[std::min(m_aBytes.size(), kStepBytes) - 1].dueNs;
}

void COutputLine::Take(std::deque<tagOutChunk>& chunks) {
    while (!chunks.empty()) {
        m_aChunks.push_back(std::move(chunks.front()));
        chunks.pop_front();
    }
}

std::int64_t COutputLine::NextStepNs(std::size_t size) const {
    // The first byte alone: the gap before a chunk (a late "(ERROR)") keeps its exact length.
    const std::size_t step = m_nWritten == 0 ? 1 : kStepBytes;
    return m_nStartNs + std::int64_t(std::min(size, m_nWritten + step)) * kByteNs;
}

std::int64_t COutputLine::Pump(int fd, std::int64_t now, bool& blocked) {
    blocked = false;
    m_bByteNext = false;
    while (!m_aChunks.empty()) {
        tagOutChunk& chunk = m_aChunks.front();
        if (!m_bStarted) {
            std::int64_t release = std::max(chunk.nNotBeforeNs, m_nLastDoneNs + chunk.nGapNs);
            if (now < release)
                return release;
            m_bStarted = true;
            // A paced line cannot start before the previous byte has left it.
            m_nStartNs = m_bPace ? std::max(release, m_nLastDoneNs) : release;
            m_nWritten = 0;
            m_nPlannedNs = m_bPace ? NextStepNs(chunk.data.size()) : m_nStartNs;
        }
        std::size_t due = chunk.data.size();
        if (m_bPace)
            due = std::min<std::size_t>(due, std::size_t((now - m_nStartNs) / kByteNs));
        if (m_nWritten < due && now > m_nPlannedNs)
            m_Stats.qwOutputLateMaxNs =
                std::max(m_Stats.qwOutputLateMaxNs, std::uint64_t(now - m_nPlannedNs));
        while (m_nWritten < due) {
            ssize_t n = write(fd, chunk.data.data() + m_nWritten, due - m_nWritten);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                blocked = true;
                return -1;
            }
            const std::int64_t writtenNs = MonotonicNs();
            if (m_nWritten == 0 && chunk.tag == EOutTag::ErrorAfterGap)
                m_Stats.qwErrorGapMaxNs =
                    std::max(m_Stats.qwErrorGapMaxNs, std::uint64_t(writtenNs - m_nLastWriteNs));
            m_nLastWriteNs = writtenNs;
            m_nWritten += std::size_t(n);
            m_Stats.qwBytesSent += std::uint64_t(n);
        }
        if (m_nWritten < chunk.data.size()) {
            m_nPlannedNs = NextStepNs(chunk.data.size());
            m_bByteNext =
                m_nWritten == 0 || m_nPlannedNs == m_nStartNs + std::int64_t(chunk.data.size()) * kByteNs;
            return m_nPlannedNs;
        }
        if (chunk.tag == EOutTag::StartAck)
            m_Stats.aStartNs[chunk.nPowerOn] = now;
        else if (chunk.tag == EOutTag::Eot)
            m_Stats.aLastEotNs[chunk.nPowerOn] = now;
        m_nLastDoneNs = m_bPace ? m_nStartNs + std::int64_t(chunk.data.size()) * kByteNs : now;
        m_bStarted = false;
        m_aChunks.pop_front();
    }
    return -1;
}
