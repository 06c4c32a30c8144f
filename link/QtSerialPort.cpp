#include "Port.h"
#include "StopFlag.h"

#include <QElapsedTimer>
#include <QSerialPort>

#include <algorithm>
#include <cerrno>
#include <chrono>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <time.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

// Blocking use of QSerialPort without an event loop, on the thread that created it.
class CQtSerialPort : public IPort {
public:
    bool Open(const std::string& name) override {
        Close();
        m_lost = false;
        m_strOpenError.clear();
        m_port = std::make_unique<QSerialPort>();
        m_port->setPortName(QString::fromLocal8Bit(name.c_str()));
        if (!m_port->open(QIODevice::ReadWrite)) {
            m_strOpenError = m_port->errorString().toLocal8Bit().toStdString();
            m_port.reset();
            return false;
        }
        m_port->setBaudRate(115200);
        m_port->setDataBits(QSerialPort::Data8);
        m_port->setParity(QSerialPort::NoParity);
        m_port->setStopBits(QSerialPort::OneStop);
        m_port->setFlowControl(QSerialPort::NoFlowControl);
        m_port->setReadBufferSize(10240 * 16);
        m_port->clear(QSerialPort::AllDirections);
        m_lastByteNs = NowNs();
#ifdef Q_OS_LINUX
        // The waits for a quiet line on this, the port's thread, would otherwise end up to 50 us
        // late: the kernel's default timer slack.
        prctl(PR_SET_TIMERSLACK, 1000UL);
#endif
        return true;
    }

    void Close() override {
        if (!m_port)
            return;
        if (!m_lost)
            m_port->clear(QSerialPort::AllDirections);
        m_port->close();
        m_port.reset();
    }

    bool IsOpen() const override {
        return m_port != nullptr;
    }

    std::string OpenErrorText() const override {
        return m_strOpenError;
    }

    void SetTimeouts(unsigned readTotalMs, unsigned writeMsPerByte) override {
        m_readTotalMs = readTotalMs;
        m_writeMsPerByte = writeMsPerByte;
    }

    std::uint32_t Write(const std::uint8_t* data, std::uint32_t n) override {
        if (!Usable() || n == 0)
            return 0;
        // The write time-out: per-byte multiplier times the count plus a constant of 1 ms.
        const qint64 limit = qint64(m_writeMsPerByte) * qint64(n) + 1;
        QElapsedTimer timer;
        timer.start();
#ifdef Q_OS_UNIX
        // Straight to the descriptor (non-blocking, as the port opened it): the port's own write
        // buffer adds a copy and a poll to every frame, some 15 us three times a command.
        const int fd = int(m_port->handle());
        std::uint32_t done = 0;
        while (done < n) {
            const ssize_t r = ::write(fd, data + done, n - done);
            if (r > 0) {
                done += std::uint32_t(r);
                continue;
            }
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                m_lost = true; // an unplugged adapter (or a closed pseudo-terminal) answers EIO
                break;
            }
            if (Stopped() || timer.elapsed() > std::max<qint64>(limit, 1000))
                break;
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, int(std::min<qint64>(20, std::max<qint64>(1, limit)))) > 0 &&
                (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                m_lost = true;
                break;
            }
        }
        return done;
#else
        qint64 written = m_port->write(reinterpret_cast<const char*>(data), qint64(n));
        if (written <= 0) {
            CheckLost();
            return 0;
        }
        while (m_port->bytesToWrite() > 0) {
            if (Stopped() || timer.elapsed() > std::max<qint64>(limit, 1000))
                break;
            if (!m_port->waitForBytesWritten(int(std::min<qint64>(20, std::max<qint64>(1, limit)))) &&
                CheckLost())
                return 0;
        }
        return std::uint32_t(written - m_port->bytesToWrite());
#endif
    }

    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t n) override {
        if (!Usable() || n == 0)
            return 0;
        QElapsedTimer timer;
        timer.start();
        std::uint32_t got = 0;
        while (got < n) {
            // Bytes the port object holds come first: its notifier may have read some while the
            // thread's event loop ran.
            const qint64 avail = m_port->bytesAvailable();
            if (avail > 0) {
                const qint64 r =
                    m_port->read(reinterpret_cast<char*>(buffer) + got, std::min<qint64>(avail, n - got));
                if (r > 0) {
                    got += std::uint32_t(r);
                    m_lastByteNs = NowNs();
                }
                continue;
            }
#ifdef Q_OS_UNIX
            // Then straight from the descriptor into the caller's buffer, sparing the port object's
            // second poll, size query and copy of every piece.
            const ssize_t r = ::read(int(m_port->handle()), buffer + got, n - got);
            if (r > 0) {
                got += std::uint32_t(r);
                m_lastByteNs = NowNs();
                continue;
            }
            if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                m_lost = true; // EIO: an unplugged adapter or a closed pseudo-terminal
                break;
            }
#endif
            const qint64 leftUs = (qint64(m_readTotalMs) * 1000000 - timer.nsecsElapsed()) / 1000;
            if (leftUs <= 0 || Stopped())
                break;
            // Before the first byte wait in short slices (so a stop is seen); after it, the line's
            // quiet interval ends the read.
            qint64 waitUs = got == 0 ? std::min<qint64>(leftUs, 20000) : kQuietUs;
            waitUs = std::min(waitUs, leftUs);
            const int ready = WaitReadable(waitUs);
            if (ready < 0)
                break; // the port is lost
            if (ready == 0 && got > 0)
                break;
        }
        return got;
    }

    bool QuietFor(std::uint32_t us) override {
        for (;;) {
            if (!Usable() || Stopped() || m_port->bytesAvailable() > 0)
                return false;
            const qint64 leftNs = m_lastByteNs + qint64(us) * 1000 - NowNs();
            // Even once the time is up, a byte already waiting ends the quiet.
            const int ready = WaitReadable(leftNs > 0 ? std::min<qint64>((leftNs + 999) / 1000, 20000) : 0);
            if (ready != 0)
                return false;
            if (leftNs <= 0)
                return true;
        }
    }

    void PurgeRx() override {
        // A discarded byte may have arrived just now: the line's quiet starts afresh.
        m_lastByteNs = NowNs();
        if (Usable())
            m_port->clear(QSerialPort::Input);
    }

    void PurgeTx() override {
        if (Usable())
            m_port->clear(QSerialPort::Output);
    }

    bool IsLost() const override {
        return m_lost;
    }

    void SetStopFlag(std::shared_ptr<CStopFlag> stop) override {
        m_stop = std::move(stop);
    }

private:
    // The line's quiet interval that ends a read once bytes have come.
    static constexpr qint64 kQuietUs = 1000;

    static qint64 NowNs() {
        using namespace std::chrono;
        return qint64(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
    }

    // Waits up to us microseconds for input: 1 when bytes came (on Unix still in the descriptor,
    // elsewhere pulled into the port's buffer), 0 on a quiet line, -1 when the port is gone.
    int WaitReadable(qint64 us) {
#ifdef Q_OS_UNIX
        pollfd p{int(m_port->handle()), POLLIN, 0};
        const timespec ts{time_t(us / 1000000), long(us % 1000000) * 1000};
        const int r = ppoll(&p, 1, &ts, nullptr);
        if (r < 0)
            return errno == EINTR ? 0 : -1;
        if (r == 0)
            return 0;
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            m_lost = true;
            return -1;
        }
        return 1; // the caller reads the descriptor
#else
        if (m_port->waitForReadyRead(int(std::max<qint64>(1, (us + 999) / 1000))))
            return 1;
        return CheckLost() ? -1 : 0;
#endif
    }

    bool Usable() const {
        return m_port && !m_lost;
    }
    bool Stopped() const {
        return m_stop && m_stop->IsStopped();
    }

    // An unplugged adapter (or a closed pseudo-terminal) shows as a read, write or resource error
    // while the port still looks open: from then on the port is lost.
    bool CheckLost() {
        switch (m_port->error()) {
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
        case QSerialPort::ResourceError:
            m_lost = true;
            return true;
        case QSerialPort::TimeoutError:
            m_port->clearError();
            return false;
        default:
            return false;
        }
    }

    std::unique_ptr<QSerialPort> m_port;
    unsigned m_readTotalMs = 2000;
    unsigned m_writeMsPerByte = 100;
    bool m_lost = false;
    qint64 m_lastByteNs = 0; // steady clock: the last byte read, or the last purge or opening
    std::string m_strOpenError;
    std::shared_ptr<CStopFlag> m_stop;
};

} // namespace

std::unique_ptr<IPort> CreateQtSerialPort() {
    return std::make_unique<CQtSerialPort>();
}
