#include "ProcessOwner.h"

#include <QString>
#include <QSysInfo>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
std::string StartOf(long long pid, bool& running) {
    running = false;
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!h)
        return std::string();
    FILETIME created, exited, kernel, user;
    DWORD code = 0;
    std::string start;
    if (GetProcessTimes(h, &created, &exited, &kernel, &user) && GetExitCodeProcess(h, &code)) {
        running = code == STILL_ACTIVE;
        start = std::to_string((std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime);
    }
    CloseHandle(h);
    return start;
}

std::string BootId() {
    return std::string(); // the process start time alone tells processes apart
}
#else
// Field 22 of /proc/PID/stat (start time in clock ticks since boot); the command name in field 2
// may hold blanks and parentheses, so fields are counted from its closing parenthesis.
std::string StartOf(long long pid, bool& running) {
    running = false;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return std::string();
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos)
        return std::string();
    std::istringstream rest(line.substr(close + 1));
    std::vector<std::string> fields;
    std::string f;
    while (rest >> f)
        fields.push_back(f);
    // fields[0] is field 3 (the state), so field 22 is fields[19].
    if (fields.size() < 20)
        return std::string();
    running = fields[0] != "Z" && fields[0] != "X"; // a killed process not yet reaped is gone
    return fields[19];
}

std::string BootId() {
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(in, id);
    return id;
}
#endif

long long OwnPid() {
#ifdef _WIN32
    return static_cast<long long>(GetCurrentProcessId());
#else
    return static_cast<long long>(getpid());
#endif
}

} // namespace

ProcessIdentity ThisProcess() {
    ProcessIdentity p;
    p.host = QSysInfo::machineHostName().toStdString();
    p.boot = BootId();
    p.pid = OwnPid();
    bool running = false;
    p.start = StartOf(p.pid, running);
    return p;
}

std::string OwnerText(const ProcessIdentity& p, const std::string& tag) {
    return p.host + "|" + p.boot + "|" + std::to_string(p.pid) + "|" + p.start + "|" + tag;
}

bool ParseOwnerText(const std::string& text, ProcessIdentity& p) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t bar = text.find('|', from);
        parts.push_back(text.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
        if (bar == std::string::npos)
            break;
        from = bar + 1;
    }
    if (parts.size() != 5 || parts[2].empty())
        return false;
    p.host = parts[0];
    p.boot = parts[1];
    try {
        p.pid = std::stoll(parts[2]);
    } catch (...) {
        return false;
    }
    p.start = parts[3];
    return true;
}

Liveness ProcessLiveness(const ProcessIdentity& p) {
    static const ProcessIdentity self = ThisProcess();
    if (p.host != self.host)
        return Liveness::Unknown;
    if (p.boot != self.boot)
        return Liveness::Gone; // the machine started again since
    bool running = false;
    const std::string start = StartOf(p.pid, running);
    return running && start == p.start ? Liveness::Alive : Liveness::Gone;
}
