#include "JsonLines.h"

#include "StrUtil.h"

#include <charconv>
#include <chrono>
#include <ctime>

namespace {

// The length of the valid UTF-8 sequence at s[i], 0 when there is none.
std::size_t Utf8Length(const std::string& s, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n;
    unsigned min;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    unsigned code = c & (0xFF >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (b & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return n;
}

std::int64_t NowMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string Field(const char* key, const std::string& jsonValue) {
    return std::string(",\"") + key + "\":" + jsonValue;
}

// With a point whatever the locale (the Qt application takes the environment's).
std::string Seconds(double seconds) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 3);
    return std::string(text, result.ptr);
}

} // namespace

std::string JsonString(const std::string& local) {
    const std::string s = tv::LocalToUtf8(local);
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = Utf8Length(s, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        const char c = s[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (n == 1 && static_cast<unsigned char>(c) < 0x20) {
            switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += tv::Format("\\u%04x", unsigned(c));
            }
        } else {
            out.append(s, i, n);
        }
        i += n;
    }
    return out + "\"";
}

std::string JsonTime(std::int64_t unixMilliseconds) {
    const std::time_t seconds = std::time_t(unixMilliseconds / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    return tv::Format("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                      utc.tm_hour, utc.tm_min, utc.tm_sec, int(unixMilliseconds % 1000));
}

CJsonLines::CJsonLines(std::FILE* out, const std::string& port)
    : m_mutex(std::make_shared<std::mutex>()), m_out(out), m_port(port) {}

CJsonLines::CJsonLines(const CJsonLines& run, const std::string& port)
    : m_mutex(run.m_mutex), m_out(run.m_out), m_port(port) {}

void CJsonLines::Line(const char* event, const std::string& fields) {
    std::lock_guard<std::mutex> lock(*m_mutex);
    const std::string line = std::string("{\"event\":\"") + event + "\",\"time\":\"" +
                             JsonTime(NowMilliseconds()) + "\",\"port\":" + JsonString(m_port) + fields +
                             "}\n";
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fflush(m_out);
}

void CJsonLines::Hello(const std::string& program, const std::string& version,
                       const std::vector<std::string>& ports) {
    std::string list = "[";
    for (const std::string& port : ports)
        list += (list.size() > 1 ? "," : "") + JsonString(port);
    list += "]";
    Line("hello", Field("schema", std::to_string(kJsonSchema)) + Field("program", JsonString(program)) +
                      Field("version", JsonString(version)) + Field("ports", list));
}

void CJsonLines::Status(StatusKind kind, const std::string& text) {
    Line("status", Field("kind", JsonString(StatusKindName(kind))) + Field("text", JsonString(text)));
}

void CJsonLines::BoardStarted() {
    Line("board_started", std::string());
}

void CJsonLines::Progress(BurnStage stage, int percent) {
    Line("progress",
         Field("stage", JsonString(StageName(stage))) + Field("percent", std::to_string(percent)));
}

void CJsonLines::BoardBurnt(const tagBoardBurnt& board) {
    std::string items = "[";
    for (const tagItemValue& item : board.items) {
        if (items.size() > 1)
            items += ',';
        items += item.offset ? "{\"offset\":" + std::to_string(*item.offset)
                             : "{\"name\":" + JsonString(item.name);
        items += Field("value", JsonString(item.value)) + "}";
    }
    items += "]";
    Line("board_burnt", Field("mac", JsonString(board.mac)) + Field("id", JsonString(board.id)) +
                            Field("items", items) + Field("record", JsonString(board.recordLine)) +
                            Field("seconds", Seconds(board.seconds)));
}

void CJsonLines::BoardFailed(const tagBoardFailed& failure) {
    Line("board_failed", Field("reason", JsonString(ReasonName(failure.reason))) +
                             Field("message", JsonString(failure.message)) +
                             Field("mac", JsonString(failure.mac)) + Field("id", JsonString(failure.id)));
}

void CJsonLines::RunFinished(int good, int failed, int exitStatus) {
    Line("run_finished", Field("good", std::to_string(good)) + Field("failed", std::to_string(failed)) +
                             Field("exit_status", std::to_string(exitStatus)));
}
