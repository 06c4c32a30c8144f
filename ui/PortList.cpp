#include "PortList.h"

#include <QSerialPortInfo>

#include <algorithm>

namespace {

std::optional<QStringList>& InjectedPorts() {
    static std::optional<QStringList> ports;
    return ports;
}

bool& ComFallbackForced() {
    static bool forced = false;
    return forced;
}

} // namespace

QStringList EnumeratePorts() {
    if (InjectedPorts())
        return *InjectedPorts();
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.portName();
    return names;
}

QStringList FallbackPorts() {
    QStringList names;
#ifdef Q_OS_WIN
    const bool com = true;
#else
    const bool com = ComFallbackForced();
#endif
    if (com) {
        for (int i = 1; i <= 100; ++i)
            names << QStringLiteral("COM%1").arg(i);
        return names;
    }
    for (const char* stem : {"ttyUSB", "ttyACM", "ttyS"})
        for (int i = 0; i < 10; ++i)
            names << QStringLiteral("%1%2").arg(QLatin1String(stem)).arg(i);
    return names;
}

void SortPortNames(QStringList& names) {
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
}

int FindPortByPrefix(const QStringList& names, const QString& prefix, int start) {
    const int n = int(names.size());
    for (int step = 1; step <= n; ++step) {
        const int i = (start + step) % n;
        if (names[i].startsWith(prefix, Qt::CaseInsensitive))
            return i;
    }
    return -1;
}

int FindSavedPort(const QStringList& names, const QString& saved) {
    for (int i = 0; i < int(names.size()); ++i)
        if (names[i].compare(saved, Qt::CaseInsensitive) == 0)
            return i;
    return FindPortByPrefix(names, saved, 0);
}

void SetPortEnumerationForTests(std::optional<QStringList> ports) {
    InjectedPorts() = std::move(ports);
}

void ForceComFallbackForTests(bool force) {
    ComFallbackForced() = force;
}
