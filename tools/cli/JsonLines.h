// The burn command's output for a line's test and tracking systems: one JSON object per line on
// its own stream, UTF-8, snake_case keys, each with the event's name, the time (RFC 3339, UTC,
// milliseconds) and the port. The schema is described in the README; within schema 1 fields may be
// added, never renamed or removed.
#pragma once

#include "BurnEvents.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

constexpr int kJsonSchema = 1;

class CJsonLines : public IBurnListener {
public:
    // port: as the operator gave it (local 8-bit); "" for the lines of a run of several ports.
    CJsonLines(std::FILE* out, const std::string& port);
    // The lines of one port of several, on the stream of run (whole lines, never interleaved).
    CJsonLines(const CJsonLines& run, const std::string& port);

    // ports: every port of the run.
    void Hello(const std::string& program, const std::string& version, const std::vector<std::string>& ports);
    // A status-log line (local 8-bit) with its kind.
    void Status(StatusKind kind, const std::string& text);

    void BoardStarted() override;
    void Progress(BurnStage stage, int percent) override;
    void BoardBurnt(const tagBoardBurnt& board) override;
    void BoardFailed(const tagBoardFailed& failure) override;
    void RunFinished(int good, int failed, int exitStatus) override;

private:
    // Writes {"event":..,"time":..,"port":..<fields>} and a line break, and flushes: a reader sees
    // each event as it happens. fields: "" or text starting with a comma.
    void Line(const char* event, const std::string& fields);

    // Events come from the runners' threads and from the one that stops a job.
    std::shared_ptr<std::mutex> m_mutex;
    std::FILE* m_out;
    std::string m_port;
};

// The JSON string literal of a local 8-bit text: converted to UTF-8, bytes that are not UTF-8
// replaced by U+FFFD, quotes, backslashes and control characters escaped.
std::string JsonString(const std::string& local);
// RFC 3339 in UTC with milliseconds, e.g. 2026-01-31T23:59:59.123Z.
std::string JsonTime(std::int64_t unixMilliseconds);
