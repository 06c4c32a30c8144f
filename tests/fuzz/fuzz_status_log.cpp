// The status-log rule on arbitrary message sequences: kind 2 never grows the log by more than its
// line, kind 1 replaces it, other kinds leave it alone.
#include "StatusLog.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string log;
    std::size_t at = 0;
    while (at + 2 <= size) {
        const int kind = data[at] % 5;
        const std::size_t len = std::min<std::size_t>(data[at + 1] % 32, size - at - 2);
        const std::string text(reinterpret_cast<const char*>(data + at + 2), len);
        at += 2 + len;
        const std::string before = log;
        const bool changed = ApplyBurnStatus(log, StatusKind(kind), text);
        if (kind == 1 && log != text)
            std::abort();
        if ((kind == 0 || kind == 4) && (changed || log != before))
            std::abort();
        if (kind == 2 && log.size() > before.size() + text.size() + 2)
            std::abort();
        if (kind == 3 && log.size() < before.size())
            std::abort();
    }
    return 0;
}
