// Why a serial port could not be opened, in words an operator can act on.
#pragma once

#include <string>

// The device file a port name stands for: the name itself when it holds a path, else under /dev
// (on Windows the name as it is).
std::string PortDevicePath(const std::string& name);

// One status line: the system's reason (no such device, permission denied, busy) and, for a
// device the user may not open on Linux, the group that may and how to join it. portErrorText is
// the port's own account, used when the device itself shows nothing wrong. Empty when there is
// nothing to say.
std::string PortOpenCause(const std::string& name, const std::string& portErrorText);
