// The serial port list of the main window.
#pragma once

#include <QStringList>

#include <optional>

// The ports the system lists (a list a test injected comes first).
QStringList EnumeratePorts();
// Offered when the system lists none: COM1 to COM100 on Windows; elsewhere the usual device names of
// USB adapters and built-in ports (ttyUSB0-9, ttyACM0-9, ttyS0-9), so a later plugged adapter has
// its name in the list already.
QStringList FallbackPorts();
// As a sorted combo box orders its entries: alphabetically without regard to case (COM10 before COM2).
void SortPortNames(QStringList& names);
// The port list's search by prefix: the first entry after start whose text begins with prefix,
// ignoring case, wrapping round to start itself; -1 when none.
int FindPortByPrefix(const QStringList& names, const QString& prefix, int start);

// The saved port at opening: the entry with exactly that name, ignoring case, if there is one (COM1
// stays COM1 beside COM10); else the prefix search from the first entry. -1 when none matches.
int FindSavedPort(const QStringList& names, const QString& saved);

// Test seams: a fixed enumeration (nullopt: the system's), and the Windows fallback everywhere.
void SetPortEnumerationForTests(std::optional<QStringList> ports);
void ForceComFallbackForTests(bool force);
