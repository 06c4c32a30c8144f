// The serial port as the channel needs it: open by name, 115200 8N1 without flow control, purge,
// a write with a completion wait, a read with an interval and a total time-out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CStopFlag;

class IPort {
public:
    virtual ~IPort() = default;

    // Opens exclusively and configures 115200 baud, 8 data bits, no parity, one stop bit, no flow
    // control, 10240-byte queues. The name is as the operator chose it (COM12, ttyUSB0, /dev/pts/7).
    virtual bool Open(const std::string& name) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The port's own words for why the last Open failed (empty when it has none).
    virtual std::string OpenErrorText() const { return std::string(); }

    // Read total constant (ms) and write time per byte (ms); the read interval is always 1 ms.
    virtual void SetTimeouts(unsigned readTotalMs, unsigned writeMsPerByte) = 0;

    // Writes n bytes and waits for their completion; returns the count written.
    virtual std::uint32_t Write(const std::uint8_t* data, std::uint32_t n) = 0;
    // Returns after the read total when nothing arrives, about 1 ms after the line goes quiet once
    // bytes have arrived, or when n bytes are in. Returns early with what it has when stop is set.
    virtual std::uint32_t Read(std::uint8_t* buffer, std::uint32_t n) = 0;
    // True once the line has been quiet for at least us microseconds since the last byte read (or
    // the last purge, or the opening), waiting out what is left of that time; false as soon as a
    // byte is waiting, or when the port is lost or the job stopped. Waiting bytes stay for Read.
    virtual bool QuietFor(std::uint32_t us) = 0;

    virtual void PurgeRx() = 0;
    virtual void PurgeTx() = 0;

    // The device went away under an open port (an unplugged adapter): every later call fails.
    virtual bool IsLost() const = 0;

    // Stop flag of the job using the port: waits inside Read and Write end early once it is set.
    virtual void SetStopFlag(std::shared_ptr<CStopFlag> stop) = 0;
};

// The Qt SerialPort implementation. Must be created, used and destroyed on one QThread.
std::unique_ptr<IPort> CreateQtSerialPort();
