// The burn button: the checks in their order, the prompt, the job start.
#pragma once

#include <optional>
#include <string>

class IBurnWindow;
class CJobRunner;
struct BurnConfig;

// Runs on the window's thread. Returns true when a job was started; on a refusal exactly one
// message was shown, the runner's listener heard a refused board, and nothing else changed. While
// a job is queued or running it does nothing at all (the job disables the button only once it has
// opened the port, so a quick second click arrives here).
bool OnBurn(IBurnWindow& window, CJobRunner& runner, const BurnConfig& config);

// What the check of an ID number part tells the operator on a refusal: "[label] " + the entry's
// text in the message dialog, or the English-only text in the platform's own box for a value out of
// range. Nothing when the part is accepted.
struct tagRefusal {
    std::string caption, text;
    bool systemBox = false;
};
std::optional<tagRefusal> IdNumberRefusal(const std::string& text, const std::string& label, bool hex);
// Shows the refusal, if any, through the window; true when the part is accepted.
bool CheckIdNumber(IBurnWindow& window, const std::string& text, const std::string& label, bool hex);

// The burn button's checks of the entries and the configuration, in their order: the first
// refusal, or nothing. From a lot the MAC and ID fields are not the board's and are not checked.
std::optional<tagRefusal> BurnEntriesRefusal(IBurnWindow& window, const BurnConfig& config, bool fromLot);
// Shows a refusal through the window (its dialog or the platform's box).
void ShowRefusal(IBurnWindow& window, const tagRefusal& refusal);
