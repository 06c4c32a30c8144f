// The operator's entries kept between runs: five values in the user's settings (on Windows the
// registry key HKEY_CURRENT_USER\Software\Brisvane).
#pragma once

#include <QString>

#include <memory>
#include <optional>

class QSettings;

struct tagSavedEntries {
    QString strSerialPort;
    QString strMacAddress;
    int nMacAddressChangeMode = 0; // 1 Remove, 2 Increase, 3 Decrease, 0 none checked
    int nIsSave = 0;
    int nPorts = 0; // 1 two network ports
};

std::unique_ptr<QSettings> OpenEntryStore();
// Nothing when the store holds none of the five values (first run); a missing single value reads
// as empty or 0.
std::optional<tagSavedEntries> LoadSavedEntries();
// Writes the five values together; false when the store cannot be written (nothing is reported).
bool StoreSavedEntries(const tagSavedEntries& entries);
