// Byte-string helpers shared by every folder: one trim, one number reader of each kind.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tv {

// White space as the edit boxes and the profile reader see it.
bool IsSpace(char c);

// Removes white space at both ends (blank, tab, CR, LF, VT, FF).
std::string Trim(std::string_view s);

bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool Contains(std::string_view text, std::string_view needle);

// Upper-cases a to z only; in the local 8-bit encoding every byte of a multibyte
// character is >= 0x80 on UTF-8 systems, so those bytes are left alone.
std::string ToUpperAscii(std::string_view s);

// C conventions of strtoul on a 32-bit unsigned long: leading white space, optional sign,
// "0x"/"0X" hexadecimal, leading "0" octal, else decimal; stops at the first character that does
// not fit; no digits give 0; a value beyond 32 bits saturates at 4294967295; a '-' negates.
std::uint32_t ReadCUnsigned32(std::string_view s);

// strtoull with an explicit base (2 to 36, or 0 for the C prefixes): leading white space, optional
// sign, "0x"/"0X" allowed for base 16; stops at the first character that does not fit; no digits
// give 0; a value beyond 64 bits saturates at 18446744073709551615; a '-' negates (wrapping).
std::uint64_t ReadCUnsigned64(std::string_view s, int base);

// atoi-like: leading white space, optional sign, decimal digits up to the first non-digit,
// 0 when there are none. 32-bit wrapping arithmetic, as the sums that use it.
std::uint32_t ReadLeadingDecimal(std::string_view s);

// printf into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Same, for formats that come from the text tables at run time.
std::string FormatText(const char* fmt, ...);
template <typename... Args> std::string FormatRuntime(const std::string& fmt, Args... args) {
    return FormatText(fmt.c_str(), args...);
}

// Operator text (UTF-16 in the widgets) enters the core in the platform's local 8-bit encoding;
// these two convert between UTF-8 source literals and that encoding.
std::string Utf8ToLocal(std::string_view utf8);
std::string LocalToUtf8(std::string_view local);

} // namespace tv
