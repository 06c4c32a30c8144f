// MAC and number-part values on arbitrary bytes. Whatever the change rule writes back must pass the
// burn command's check on the next board, or the line stops with a value nobody typed.
// The first byte chooses rule (bits 0-1), step 2 (bit 2), base 16 (bit 3) and an arbitrary step from
// the next four bytes (bit 4); the rest is the window text.
#include "IdValue.h"
#include "MacValue.h"
#include "StrUtil.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

bool HasUpperCase(const std::string& s) {
    for (char c : s)
        if (std::isupper(static_cast<unsigned char>(c)))
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t flags = data[0];
    const ChangeRule rule = static_cast<ChangeRule>((flags & 3) % 3);
    unsigned step = (flags & 0x04) ? 2u : 1u;
    const bool hex = (flags & 0x08) != 0;
    std::size_t offset = 1;
    // Now and then an arbitrary step, so the arithmetic is tried beyond the two the window uses.
    if ((flags & 0x10) && size >= 5) {
        std::memcpy(&step, data + 1, sizeof step);
        offset = 5;
    }
    const std::string text(reinterpret_cast<const char*>(data + offset), size - offset);

    // MAC: any text must be handled; a valid one stays valid and keeps its shape.
    const std::string typed = tv::Trim(text);
    const std::string burn = MacBurnForm(typed);
    const std::string next = AdvanceMac(typed, burn, rule, step);
    if (IsValidMac(text)) {
        Require(burn.empty() || burn.size() == 17);
        Require(IsValidMac(next));
        Require(next.size() == typed.size());
        Require(!HasUpperCase(next));
    }

    // Number part: a part that passed the check keeps its width and passes it again.
    const IdCheck check = ClassifyIdNumber(text, hex);
    const std::string number = PartWithoutPlaceholder(text, kNumberPlaceholder);
    const std::string advanced = AdvanceNumberPart(number, hex ? 16 : 10, rule, step);
    if (check == IdCheck::Ok) {
        Require(advanced.size() == number.size());
        Require(ClassifyIdNumber(advanced, hex) == IdCheck::Ok);
        if (hex)
            Require(!HasUpperCase(advanced));
    }
    AdvanceNumberPart(text, hex ? 10 : 16, rule, step); // the other base, unchecked text
    return 0;
}
