#include "IdValue.h"

#include "StrUtil.h"

#include <cstdint>

const char* const kStringPlaceholder = "<String>";
const char* const kNumberPlaceholder = "<Number>";

namespace {

constexpr std::size_t kMaxDecimalDigits = 20;
constexpr std::size_t kMaxHexDigits = 16;
// 2^64 - 1, compared as text: a 20-character part above it cannot be read into 64 bits.
constexpr const char* kDecimalBound = "18446744073709551615";
constexpr std::uint64_t kMaxValue = ~std::uint64_t(0);

bool AllOf(const std::string& text, const char* digits) {
    return text.find_first_not_of(digits) == std::string::npos;
}

// The largest value of the given width that the decimal check accepts.
std::uint64_t LargestDecimal(std::size_t width) {
    if (width >= kMaxDecimalDigits)
        return kMaxValue;
    std::uint64_t v = 1;
    for (std::size_t i = 0; i < width; ++i)
        v *= 10;
    return v - 1;
}

} // namespace

bool IsPlaceholder(const std::string& text, const char* placeholder) {
    return tv::EqualsNoCase(tv::Trim(text), placeholder);
}

std::string PartWithoutPlaceholder(const std::string& text, const char* placeholder) {
    std::string part = tv::Trim(text);
    if (tv::EqualsNoCase(part, placeholder))
        part.clear();
    return part;
}

IdCheck ClassifyIdNumber(const std::string& text, bool hex) {
    const std::string n = tv::Trim(text);
    if (n.empty() || tv::EqualsNoCase(n, kNumberPlaceholder))
        return IdCheck::Ok;
    if (hex) {
        if (n.size() > kMaxHexDigits)
            return IdCheck::HexTooLong;
        if (!AllOf(n, "ABCDEFabcdef0123456789"))
            return IdCheck::HexInvalid;
        return IdCheck::Ok;
    }
    if (n.size() > kMaxDecimalDigits)
        return IdCheck::DecimalTooLong;
    // Byte-wise, before the digit check: a 20-character text with a letter that sorts above the
    // bound counts as out of range.
    if (n.size() == kMaxDecimalDigits && n.compare(kDecimalBound) > 0)
        return IdCheck::OutOfRange;
    if (!AllOf(n, "0123456789"))
        return IdCheck::DecimalInvalid;
    return IdCheck::Ok;
}

std::string AdvanceNumberPart(const std::string& number, int base, ChangeRule rule, unsigned step) {
    if (number.empty())
        return std::string();
    const bool hex = base == 16;
    const std::size_t width = number.size();
    std::uint64_t v = tv::ReadCUnsigned64(number, hex ? 16 : 10);
    if (rule == ChangeRule::Increase) {
        v += step;
    } else if (rule == ChangeRule::Decrease) {
        if (!hex && v < step) {
            // Wrap within the width rather than through 2^64, whose last digits could be a value
            // the check refuses (or a width-20 text above the bound): 00 - 1 gives 99.
            const std::uint64_t largest = LargestDecimal(width);
            std::uint64_t rest = std::uint64_t(step) - v - 1;
            if (largest != kMaxValue)
                rest %= largest + 1;
            v = largest - rest;
        } else {
            v -= step;
        }
    }
    std::string digits = hex ? tv::Format("%llx", static_cast<unsigned long long>(v))
                             : tv::Format("%llu", static_cast<unsigned long long>(v));
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    else if (digits.size() > width)
        digits.erase(0, digits.size() - width);
    return digits;
}
