#include "StatusLog.h"

#include "StrUtil.h"

namespace {

void CutAtLastCr(std::string& log) {
    size_t cr = log.rfind('\r');
    log.erase(cr == std::string::npos ? 0 : cr);
}

} // namespace

bool ApplyBurnStatus(std::string& log, StatusKind kind, const std::string& text) {
    if (kind != StatusKind::ReplaceAll && kind != StatusKind::ReplaceLast && kind != StatusKind::Append)
        return false;
    if (kind == StatusKind::ReplaceAll) {
        log = text;
        return true;
    }
    std::string line;
    if (text == "#")
        line = (!log.empty() && log.back() == '#') ? "#" : "\r\n#";
    else
        line = "\r\n" + text;
    if (kind == StatusKind::ReplaceLast) {
        CutAtLastCr(log);
        size_t lf = log.rfind('\n');
        const std::string last = lf == std::string::npos ? log : log.substr(lf + 1);
        if (tv::Contains(last, "Boot") && tv::Contains(last, "downloaded"))
            CutAtLastCr(log);
        if (tv::Contains(last, "COM:") && tv::Contains(last, "sent"))
            CutAtLastCr(log);
        if (tv::Contains(last, "COM:") && tv::Contains(last, "received"))
            CutAtLastCr(log);
    }
    log += line;
    return true;
}
