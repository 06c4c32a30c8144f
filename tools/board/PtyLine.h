// The board's end of the line: a pseudo-terminal whose slave the tool opens as its serial port,
// and the pacing of both directions at 115200 baud when asked for.
#pragma once

#include "BoardEngine.h"

#include <cstdint>
#include <deque>
#include <string>

std::int64_t MonotonicNs();

class CPty {
public:
    ~CPty() { Close(); }
    // Opens the master, raw mode on the slave, and keeps a slave descriptor open so the tool
    // closing and reopening its port never hangs up the master.
    bool Open(std::string& error);
    void Close();
    int Master() const { return m_nMaster; }
    const std::string& SlavePath() const { return m_strSlavePath; }

private:
    int m_nMaster = -1;
    int m_nSlave = -1;
    std::string m_strSlavePath;
};

// 10 bits per byte at 115200 baud, rounded up so paced bytes are never early.
constexpr std::int64_t kByteNs = 86806;
// A paced line is served in steps of this many bytes (about a millisecond), and at the last byte
// of what is queued, exactly: waking for every byte cost a virtual board a sixth of a core, which
// several of them on one machine take from the tool they stand beside. The engine sees each
// byte's own time, and the end of a frame or a reply keeps its exact time.
constexpr std::size_t kStepBytes = 12;

// Received bytes and the time the board gets to each: at once, or one byte time apart.
class CInputLine {
public:
    explicit CInputLine(bool pace) : m_bPace(pace) {}
    void Add(const std::uint8_t* data, std::size_t n, std::int64_t arrivalNs);
    // Hands every byte due by now to the engine; returns when to come back (the end of the next
    // step, or of what is queued), or -1.
    std::int64_t Deliver(CBoardEngine& engine, std::int64_t now);

private:
    struct tagByte {
        std::uint8_t value;
        std::int64_t dueNs;
    };
    bool m_bPace;
    std::int64_t m_nLastDueNs = 0;
    std::deque<tagByte> m_aBytes;
};

// Chunks from the engine onto the master: each at its earliest time, paced or in one write.
class COutputLine {
public:
    COutputLine(bool pace, tagBoardStats& stats) : m_bPace(pace), m_Stats(stats) {}
    void Take(std::deque<tagOutChunk>& chunks);
    bool Empty() const { return m_aChunks.empty(); }
    // Writes what is due; returns the next time something will be due (-1: nothing waits on
    // time). blocked tells that the pty did not take everything (wait for POLLOUT).
    std::int64_t Pump(int fd, std::int64_t now, bool& blocked);
    // True when the time Pump returned is a paced chunk's first or last byte, worth waking for
    // exactly.
    bool ByteNext() const { return m_bByteNext; }

private:
    // When the current chunk's next step of bytes has left the line.
    std::int64_t NextStepNs(std::size_t size) const;

    bool m_bPace;
    tagBoardStats& m_Stats;
    std::deque<tagOutChunk> m_aChunks;
    bool m_bStarted = false;
    std::int64_t m_nStartNs = 0;
    std::size_t m_nWritten = 0;
    std::int64_t m_nLastDoneNs = 0;
    std::int64_t m_nLastWriteNs = 0; // when the latest byte was written
    std::int64_t m_nPlannedNs = 0;   // when the next paced write was meant to happen
    bool m_bByteNext = false;
};
