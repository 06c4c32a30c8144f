// Runs a program as a user without privileges: file permissions deny nothing to root, so tests of
// an unreadable port or an unwritable folder run their program as "nobody" when they run as root.
#pragma once

#include <string>
#include <vector>

// The prefix that starts a program as nobody (setpriv) when this process is root, empty otherwise;
// nullopt-like: sets ok to false when root and no way to drop privileges is installed.
std::vector<std::string> UnprivilegedPrefix(bool& ok);

// True when this process runs as root.
bool RunningAsRoot();
