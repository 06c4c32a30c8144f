#include "StrUtil.h"

#include <QString>

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace tv {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (e > b && IsSpace(s[e - 1]))
        --e;
    while (b < e && IsSpace(s[b]))
        ++b;
    return std::string(s.substr(b, e - b));
}

static char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool Contains(std::string_view text, std::string_view needle) {
    return text.find(needle) != std::string_view::npos;
}

std::string ToUpperAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return r;
}

static int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

// Leading white space and one optional sign, as every C number reader takes them; returns the
// index of what follows and whether the sign was '-'.
static size_t SkipSpaceAndSign(std::string_view s, bool& negative) {
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    return i;
}

std::uint32_t ReadCUnsigned32(std::string_view s) {
    // strtoul on a 32-bit unsigned long: the magnitude saturates, then a '-' negates it.
    bool negative = false;
    const std::string_view rest = s.substr(SkipSpaceAndSign(s, negative));
    if (!rest.empty() && (rest[0] == '+' || rest[0] == '-' || IsSpace(rest[0])))
        return 0; // one sign only, directly before the digits
    const std::uint64_t magnitude = ReadCUnsigned64(rest, 0);
    if (magnitude > 0xFFFFFFFFull)
        return 0xFFFFFFFFu;
    const std::uint32_t r = std::uint32_t(magnitude);
    return negative ? std::uint32_t(0u - r) : r;
}

std::uint64_t ReadCUnsigned64(std::string_view s, int base) {
    if (base != 0 && (base < 2 || base > 36))
        return 0;
    bool negative = false;
    size_t i = SkipSpaceAndSign(s, negative);
    bool hexPrefix =
        i + 2 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') && DigitValue(s[i + 2]) < 16;
    if ((base == 0 || base == 16) && hexPrefix) {
        base = 16;
        i += 2;
    } else if (base == 0) {
        base = (i < s.size() && s[i] == '0') ? 8 : 10;
    }
    const std::uint64_t limit = ~std::uint64_t(0);
    std::uint64_t v = 0;
    bool overflow = false;
    for (; i < s.size(); ++i) {
        int d = DigitValue(s[i]);
        if (d >= base)
            break;
        if (!overflow) {
            if (v > (limit - unsigned(d)) / unsigned(base))
                overflow = true;
            else
                v = v * unsigned(base) + unsigned(d);
        }
    }
    if (overflow)
        return limit;
    return negative ? std::uint64_t(0) - v : v;
}

std::uint32_t ReadLeadingDecimal(std::string_view s) {
    bool negative = false;
    size_t i = SkipSpaceAndSign(s, negative);
    std::uint32_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        v = v * 10u + std::uint32_t(s[i] - '0');
    return negative ? std::uint32_t(0u - v) : v;
}

static std::string VFormat(const char* fmt, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0)
        return std::string();
    if (size_t(n) < sizeof small)
        return std::string(small, size_t(n));
    std::vector<char> big(size_t(n) + 1);
    std::vsnprintf(big.data(), big.size(), fmt, ap);
    return std::string(big.data(), size_t(n));
}

std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string r = VFormat(fmt, ap);
    va_end(ap);
    return r;
}

std::string FormatText(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string r = VFormat(fmt, ap);
    va_end(ap);
    return r;
}

std::string Utf8ToLocal(std::string_view utf8) {
    QByteArray b = QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).toLocal8Bit();
    return std::string(b.constData(), size_t(b.size()));
}

std::string LocalToUtf8(std::string_view local) {
    QByteArray b = QString::fromLocal8Bit(local.data(), qsizetype(local.size())).toUtf8();
    return std::string(b.constData(), size_t(b.size()));
}

} // namespace tv
