#include "Port.h"
#include "StopFlag.h"

#include <QElapsedTimer>
#include <QSerialPort>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sched.h>
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
        m_port = std::make_unique<QSerialPort>();
        m_port->setPortName(QString::fromLocal8Bit(name.c_str()));
        if (!m_port->open(QIODevice::ReadWrite)) {
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
#ifdef Q_OS_LINUX
        // The reads' short waits (a fifth of a millisecond after a reply's marker) on this, the
        // port's thread, would otherwise end up to 50 us late: the kernel's default timer slack.
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

    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t n,
                       std::span<const std::string_view> endMarkers) override {
        if (!Usable() || n == 0)
            return 0;
        QElapsedTimer timer;
        timer.start();
        std::uint32_t got = 0;
        bool complete = false;
        qint64 lastArrivalNs = 0;
        // Byte-by-byte delivery seen so far: pieces in a row of one or two bytes, and how far each
        // of the last few came off its character times.
        std::uint32_t bytewise = 0;
        qint64 offNs[kBytewisePieces] = {};
        auto take = [&](std::uint32_t r) {
            const qint64 at = timer.nsecsElapsed();
            if (r <= kBytewisePiece)
                offNs[bytewise++ % kBytewisePieces] =
                    got > 0 ? std::abs(at - lastArrivalNs - qint64(r) * kCharNs) : 0;
            else
                bytewise = 0;
            const std::uint32_t before = got;
            got += r;
            lastArrivalNs = at;
            complete = complete || EndsReply(buffer, before, got, endMarkers);
        };
        // A complete reply is followed, if at all, by its marker's continuation ("(ERROR)" after
        // "[EOT]") within a character time on the wire. Only a line that hands bytes over one or
        // two at a time shows it that soon, and only about as punctually as it showed the bytes
        // before; a UART's receive FIFO or a USB adapter passes them on in batches up to a
        // millisecond apart, so after those the read keeps the full quiet millisecond.
        auto quietNs = [&]() -> qint64 {
            if (!complete || bytewise < kBytewisePieces)
                return kQuietNs;
            const qint64 off = *std::max_element(std::begin(offNs), std::end(offNs));
            return std::min(kQuietNs, std::max(kCompleteQuietNs, kCharNs + 2 * off));
        };
        while (got < n) {
            // Bytes the port object holds come first: its notifier may have read some while the
            // thread's event loop ran.
            const qint64 avail = m_port->bytesAvailable();
            if (avail > 0) {
                const qint64 r =
                    m_port->read(reinterpret_cast<char*>(buffer) + got, std::min<qint64>(avail, n - got));
                if (r > 0)
                    take(std::uint32_t(r));
                continue;
            }
            const qint64 quiet = quietNs();
#ifdef Q_OS_UNIX
            // Then straight from the descriptor into the caller's buffer, sparing the port object's
            // second poll, size query and copy of every piece.
            const ssize_t r = ::read(int(m_port->handle()), buffer + got, n - got);
            if (r > 0) {
                take(std::uint32_t(r));
                continue;
            }
            if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                m_lost = true; // EIO: an unplugged adapter or a closed pseudo-terminal
                break;
            }
            if (quiet < kQuietNs) {
                // A short quiet is watched rather than slept: a timer wake-up comes tens of
                // microseconds late, a tenth of what a console command costs above its line time.
                // Yielding lets the kernel's worker that hands the next byte over run on this core.
                if (timer.nsecsElapsed() - lastArrivalNs >= quiet || Stopped())
                    break;
                sched_yield();
                continue;
            }
#endif
            const qint64 leftUs = (qint64(m_readTotalMs) * 1000000 - timer.nsecsElapsed()) / 1000;
            if (leftUs <= 0 || Stopped())
                break;
            // Before the first byte wait in short slices (so a stop is seen); after it, the line's
            // quiet interval ends the read.
            qint64 waitUs = got == 0 ? std::min<qint64>(leftUs, 20000) : (quiet + 999) / 1000;
            waitUs = std::min(waitUs, leftUs);
            const int ready = WaitReadable(waitUs);
            if (ready < 0)
                break; // the port is lost
            if (ready == 0 && got > 0)
                break;
        }
        return got;
    }

    void PurgeRx() override {
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
    static constexpr qint64 kQuietNs = 1000000;
    // About two character times at 115200 baud: after a complete reply on a line that delivers
    // bytes as they come, with perfect timing, the quiet that ends the read.
    static constexpr qint64 kCompleteQuietNs = 200000;
    static constexpr qint64 kCharNs = 86806;
    // Byte-by-byte delivery: pieces of at most two bytes (a reader a little late sees two), at
    // least three in a row, so "[EOT]" came in them and the gaps between them can be timed.
    static constexpr std::uint32_t kBytewisePiece = 2;
    static constexpr std::uint32_t kBytewisePieces = 3;

    static bool EndsReply(const std::uint8_t* buffer, std::uint32_t before, std::uint32_t got,
                          std::span<const std::string_view> endMarkers) {
        const std::string_view data(reinterpret_cast<const char*>(buffer), got);
        for (std::string_view marker : endMarkers) {
            // Only the new bytes (and a marker's length before them) can complete a marker.
            const std::size_t from = before > marker.size() ? before - marker.size() : 0;
            if (data.find(marker, from) != std::string_view::npos)
                return true;
        }
        return false;
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
    std::shared_ptr<CStopFlag> m_stop;
};

} // namespace

std::unique_ptr<IPort> CreateQtSerialPort() {
    return std::make_unique<CQtSerialPort>();
}
