// ID number parts: placeholders, the check of the burn command (without its messages), the
// width-keeping advance.
#pragma once

#include "MacValue.h"

#include <string>

extern const char* const kStringPlaceholder; // "<String>"
extern const char* const kNumberPlaceholder; // "<Number>"

// True when the trimmed text equals the placeholder, ignoring case.
bool IsPlaceholder(const std::string& text, const char* placeholder);
// Trimmed, and empty when it is the placeholder.
std::string PartWithoutPlaceholder(const std::string& text, const char* placeholder);

enum class IdCheck { Ok, DecimalTooLong, OutOfRange, DecimalInvalid, HexTooLong, HexInvalid };
// The check alone, without any message.
IdCheck ClassifyIdNumber(const std::string& text, bool hex);

// The next number part: same width, lower-case hexadecimal; empty stays empty. A decimal part
// smaller than the step under Decrease wraps within its width.
std::string AdvanceNumberPart(const std::string& number, int base, ChangeRule rule, unsigned step);
