// A running telvanor-board for tests of any folder: started on a fresh output folder, its port
// path read from its first line, stopped (SIGTERM) at the latest by the destructor.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A unique temporary folder, removed with everything in it by the destructor.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& name) const { return m_strPath + "/" + name; }

private:
    std::string m_strPath;
};

class CBoardProcess {
public:
    // Starts the board with --out <a new folder> and the given arguments; fails the running test
    // when the board prints no port path in time.
    explicit CBoardProcess(const std::vector<std::string>& args = {});
    ~CBoardProcess();
    CBoardProcess(const CBoardProcess&) = delete;
    CBoardProcess& operator=(const CBoardProcess&) = delete;

    // True once the port path has arrived (and the board has not been stopped since).
    bool Started() const { return !m_strPort.empty(); }
    const std::string& PortPath() const { return m_strPort; }

    // SIGTERM and wait for the exit; does nothing when the board has already ended.
    void Stop();
    // SIGSTOP / SIGCONT: a frozen board answers nothing, as if the next board never came. Freezing
    // returns once the board has stopped.
    void Freeze(bool frozen);
    // Waits up to ms for the board to end by itself (--exit-after-boards, --disconnect-at).
    bool WaitForExit(int ms);
    bool Running() const { return m_nPid > 0; }
    pid_t Pid() const { return m_nPid; }
    // Exit code once ended (-1: killed by a signal, or still running).
    int ExitCode() const { return m_nExitCode; }

    // The trace is written as the board goes, so these work while it runs.
    std::string Trace() const;
    std::vector<std::string> TraceLines() const;
    // The texts of the "cmd ..." lines, in order.
    std::vector<std::string> Commands() const;

    // Written at exit: these stop the board first when it still runs.
    std::vector<std::uint8_t> Flash();
    std::vector<std::uint8_t> RamStaging();
    // stats.txt as key -> number (bytes_received, bytes_sent, power_ons, commands,
    // commands_failed, frames_acked, frames_rejected, output_late_max_ns, error_gap_max_ns,
    // held_up_max_ns, power_on.N.start_ns, power_on.N.last_eot_ns).
    std::map<std::string, std::uint64_t> Stats();

private:
    bool Reap(int waitMs);
    // The board has ended with this wait status.
    void Ended(int status);

    CTempDir m_OutDir;
    pid_t m_nPid = -1;
    int m_nStdout = -1;
    int m_nExitCode = -1;
    std::string m_strPort;
};
