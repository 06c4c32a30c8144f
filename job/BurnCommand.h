// The burn button: the checks in their order, the prompt, the job start.
#pragma once

class IBurnWindow;
class CJobRunner;
struct BurnConfig;

// Runs on the window's thread. Returns true when a job was started; on a refusal exactly one
// message was shown and nothing else changed. While a job is queued or running it does nothing at
// all (the job disables the button only once it has opened the port, so a quick second click
// arrives here).
bool OnBurn(IBurnWindow& window, CJobRunner& runner, const BurnConfig& config);
