#include "MacValue.h"

#include "StrUtil.h"

#include <cstdint>

namespace {

constexpr std::size_t kPlainLength = 12;
constexpr std::size_t kColonLength = 17;

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsColonPosition(std::size_t i) {
    return i % 3 == 2;
}

// Inserting at 2, 5, 8, 11, 14 one after the other is the same as a ':' after every pair.
std::string InsertColons(const std::string& plain) {
    std::string r;
    r.reserve(plain.size() + plain.size() / 2);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (i != 0 && i % 2 == 0)
            r += ':';
        r += plain[i];
    }
    return r;
}

} // namespace

bool IsValidMac(const std::string& text) {
    const std::string mac = tv::Trim(text);
    if (mac.empty())
        return true;
    if (mac.size() != kPlainLength && mac.size() != kColonLength)
        return false;
    const std::string colon = mac.size() == kPlainLength ? InsertColons(mac) : mac;
    for (std::size_t i = 0; i < colon.size(); ++i) {
        if (IsColonPosition(i) ? colon[i] != ':' : !IsHexDigit(colon[i]))
            return false;
    }
    return true;
}

bool IsGroupMac(const std::string& text) {
    const std::string mac = tv::Trim(text);
    if (mac.empty() || !IsValidMac(mac))
        return false;
    const char low = mac[1]; // the second digit of the first octet in both forms
    const unsigned digit = unsigned(low <= '9' ? low - '0' : (low | 0x20) - 'a' + 10);
    return (digit & 1u) != 0;
}

std::string MacBurnForm(const std::string& typed) {
    return typed.size() == kPlainLength ? InsertColons(typed) : typed;
}

std::string AdvanceMac(const std::string& typed, const std::string& burnForm, ChangeRule rule,
                       unsigned step) {
    if (typed.empty())
        return std::string();
    std::string digits;
    for (char c : burnForm)
        if (c != ':')
            digits += c;
    std::uint64_t v = digits.empty() ? 0 : tv::ReadCUnsigned64(digits, 16);
    if (rule == ChangeRule::Increase)
        v += step;
    else if (rule == ChangeRule::Decrease)
        v -= step;
    std::string hex = tv::Format("%012llx", static_cast<unsigned long long>(v));
    hex = hex.substr(hex.size() - kPlainLength);

    const bool colonForm = typed.size() == kColonLength;
    const std::string zero = colonForm ? "00:00:00:00:00:00" : "000000000000";
    const std::string full = colonForm ? "ff:ff:ff:ff:ff:ff" : "ffffffffffff";
    // The ends of the range are decided on what was typed, so with step 2 the address after the
    // last one is the first one, not first + 1.
    if (rule == ChangeRule::Decrease && typed == zero)
        return full;
    if (rule == ChangeRule::Increase && tv::EqualsNoCase(typed, full))
        return zero;
    return colonForm ? InsertColons(hex) : hex;
}
