// The burn button: the checks in their order, the prompt, the job start.
#pragma once

class IBurnWindow;
class CJobRunner;
struct BurnConfig;

// Runs on the window's thread. Returns true when a job was started; on a refusal exactly one
// message was shown and nothing else changed.
bool OnBurn(IBurnWindow& window, CJobRunner& runner, const BurnConfig& config);
