// MAC address texts: the two accepted forms, the burn form and the change rule's advance.
#pragma once

#include <string>

enum class ChangeRule { Remove, Increase, Decrease };

// Validation as the burn command applies it (the text is trimmed first): empty, 12 hexadecimal
// digits, or colon form. Shows nothing: the caller reports "Invalid machine address!".
bool IsValidMac(const std::string& text);

// A valid, non-empty MAC whose first octet has its lowest bit set: a multicast address, or the
// broadcast ff:ff:ff:ff:ff:ff. A device's own address never is one.
bool IsGroupMac(const std::string& text);

// The colon form of a trimmed typed MAC (':' inserted into a 12-character text); other texts unchanged.
std::string MacBurnForm(const std::string& typed);

// The next board's MAC from the typed and burn forms; rule Remove leaves the value as it is.
// Result lower case, in the typed form's shape, boundaries decided on the typed form.
std::string AdvanceMac(const std::string& typed, const std::string& burnForm, ChangeRule rule, unsigned step);
