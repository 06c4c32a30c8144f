#include "ProfileReader.h"

#include "StrUtil.h"

#include <algorithm>

namespace {

// UTF-16 text after its byte-order mark, as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    auto unit = [&](size_t i) {
        const auto b0 = std::uint8_t(bytes[i]), b1 = std::uint8_t(bytes[i + 1]);
        return bigEndian ? std::uint32_t(b0 << 8 | b1) : std::uint32_t(b1 << 8 | b0);
    };
    auto put = [&out](std::uint32_t c) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | c >> 12);
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | c >> 18);
            out += char(0x80 | (c >> 12 & 0x3F));
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            const std::uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                put(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        put(c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
    }
    return out;
}

// The profile reader drops one pair of matching quotes around a value ("x" or 'x', not "x').
std::string WithoutEnclosingQuotes(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

CProfileReader CProfileReader::FromFile(const std::string& path, FileFault* fault) {
    std::vector<std::uint8_t> bytes;
    const FileFault f = ReadRegularFile(path, kMaxProfileBytes, bytes);
    if (fault)
        *fault = f;
    if (f != FileFault::None)
        return CProfileReader();
    return FromBytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

CProfileReader CProfileReader::FromBytes(std::string_view bytes) {
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
        const std::string text = tv::Utf8ToLocal(Utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFE'));
        return FromText(text);
    }
    return FromText(bytes);
}

CProfileReader CProfileReader::FromText(std::string_view bytes) {
    CProfileReader r;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") // a UTF-8 byte-order mark is not part of the first line
        bytes.remove_prefix(3);
    std::string section;
    bool inSection = false;
    size_t pos = 0;
    while (pos <= bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string line = tv::Trim(bytes.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            section = tv::Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            r.m_sections.push_back(section);
            inSection = true;
            continue;
        }
        if (!inSection)
            continue;
        size_t eq = line.find('=');
        std::string key = tv::Trim(line.substr(0, eq));
        std::string value =
            eq == std::string::npos ? std::string() : WithoutEnclosingQuotes(tv::Trim(line.substr(eq + 1)));
        r.m_entries.push_back({section, key, value});
    }
    return r;
}

const std::string* CProfileReader::Find(std::string_view section, std::string_view key) const {
    // The first matching key of the first matching section wins, as repeated keys do on Windows.
    for (const Entry& e : m_entries)
        if (tv::EqualsNoCase(e.section, section) && tv::EqualsNoCase(e.key, key))
            return &e.value;
    return nullptr;
}

std::vector<std::pair<std::string, std::string>> CProfileReader::Keys(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> keys;
    for (const Entry& e : m_entries)
        if (tv::EqualsNoCase(e.section, section))
            keys.emplace_back(e.key, e.value);
    return keys;
}

bool CProfileReader::HasSection(std::string_view section) const {
    return !Keys(section).empty() ||
           std::any_of(m_sections.begin(), m_sections.end(),
                       [&](const std::string& s) { return tv::EqualsNoCase(s, section); });
}

std::string CProfileReader::GetString(std::string_view section, std::string_view key, std::string_view def,
                                      size_t bufferSize) const {
    const std::string* v = Find(section, key);
    std::string r = v ? *v : std::string(def);
    if (bufferSize == 0)
        return std::string();
    if (r.size() > bufferSize - 1)
        r.resize(bufferSize - 1);
    return r;
}

std::int32_t CProfileReader::GetInt(std::string_view section, std::string_view key, std::int32_t def) const {
    const std::string* v = Find(section, key);
    if (!v || v->empty())
        return def;
    std::string_view s = *v;
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    std::uint32_t value = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        unsigned d;
        if (c >= '0' && c <= '9')
            d = unsigned(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = unsigned(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = unsigned(c - 'A' + 10);
        else
            break;
        value = value * base + d;
    }
    return std::int32_t(negative ? 0u - value : value);
}
