// The entries as the job reads them from the window, and the change rule it applies to them there.
#pragma once

#include "BurnConfig.h"
#include "Entries.h"
#include "MacValue.h"

class IBurnWindow;

// ReadBurnEntries: read once at the job's start, before the port is touched.
tagBurnEntries ReadBurnEntries(IBurnWindow& window, const BurnConfig& config);

// The rule checked in the window now: Increase, else Decrease, else Remove (also when none is checked).
ChangeRule CheckedRule(IBurnWindow& window);
// 1 with IDC_SINGLE_NET checked, otherwise 2.
unsigned CheckedStep(IBurnWindow& window);

void ClearEntries(IBurnWindow& window, const BurnConfig& config);
void AdvanceEntries(IBurnWindow& window, const BurnConfig& config, const tagBurnEntries& entries);
