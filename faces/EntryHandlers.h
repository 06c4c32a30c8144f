// What the window does to the entries when the operator works it: the rule buttons, the focus on an
// entry that shows its placeholder, and the entries a face without a window prints for the next board.
// Shared by the Qt window and the command line; run on the window's thread.
#pragma once

#include "BurnConfig.h"

#include <string>

class IBurnWindow;

void OnRuleStep(IBurnWindow& window, const BurnConfig& config);
void OnRuleRemove(IBurnWindow& window, const BurnConfig& config);
void OnSetFocusIdString(IBurnWindow& window);
void OnSetFocusIdNumber(IBurnWindow& window);
void OnSetFocusItemString(IBurnWindow& window, int controlId);
void OnSetFocusItemNumber(IBurnWindow& window, int controlId);
void EnableItemStrings(IBurnWindow& window, const BurnConfig& config, bool enable);
void EnableItemNumbers(IBurnWindow& window, const BurnConfig& config, bool enable);

// The entries the window holds for the next board, for a face without one (printed at the end of a
// command-line run): a heading, then "  MAC: ...", "  ID: [string] [number]" and one such line per
// operator-entered item, the parts exactly as the window would show them.
std::string NextBoardEntriesText(IBurnWindow& window, const BurnConfig& config);
