// A reader for "BurnConfig.ini" with the Windows profile-reader rules: section and key names
// ignore case, the value is the raw text after the first '=', trimmed, with one pair of enclosing
// quotes (double or single) dropped; nothing is unescaped. A file that starts with a UTF-16
// byte-order mark is read as UTF-16 text.
#pragma once

#include "SafeFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Far beyond any configuration of this tool; the limit only keeps a wrong file from filling memory.
constexpr std::uint64_t kMaxProfileBytes = 1u << 20;

class CProfileReader {
public:
    // A missing file reads as empty: every lookup then yields its default. Any other fault (a
    // directory, no permission, larger than kMaxProfileBytes) also reads as empty and is told in
    // fault, so the caller can refuse to work from a configuration it could not see.
    static CProfileReader FromFile(const std::string& path, FileFault* fault = nullptr);
    static CProfileReader FromBytes(std::string_view bytes);

    // Like GetPrivateProfileStringA into a buffer of bufferSize bytes: at most bufferSize-1 bytes.
    std::string GetString(std::string_view section, std::string_view key, std::string_view def,
                          size_t bufferSize = 8192) const;
    // Like GetPrivateProfileIntA: optional sign, "0x" hex, else decimal digits; 32-bit wrap;
    // a missing key or an empty value yields def.
    std::int32_t GetInt(std::string_view section, std::string_view key, std::int32_t def) const;

    // Every key of the section as written (name, raw value), in file order; repeated keys included.
    std::vector<std::pair<std::string, std::string>> Keys(std::string_view section) const;
    bool HasSection(std::string_view section) const;

private:
    static CProfileReader FromText(std::string_view bytes);
    struct Entry {
        std::string section, key, value;
    };
    const std::string* Find(std::string_view section, std::string_view key) const;
    std::vector<Entry> m_entries;
    std::vector<std::string> m_sections;
};
