#include "SavedEntries.h"

#include <QSettings>

namespace {

const QString kSerialPort = QStringLiteral("SerialPort");
const QString kMacAddress = QStringLiteral("MacAddress");
const QString kChangeMode = QStringLiteral("MacAddressChangeMode");
const QString kIsSave = QStringLiteral("isSave");
const QString kPorts = QStringLiteral("Ports");

} // namespace

std::unique_ptr<QSettings> OpenEntryStore() {
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\Brisvane"),
                                       QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Brisvane"));
#endif
}

std::optional<tagSavedEntries> LoadSavedEntries() {
    const std::unique_ptr<QSettings> store = OpenEntryStore();
    bool any = false;
    for (const QString& key : {kSerialPort, kMacAddress, kChangeMode, kIsSave, kPorts})
        any = any || store->contains(key);
    if (!any)
        return std::nullopt;
    tagSavedEntries entries;
    entries.strSerialPort = store->value(kSerialPort).toString();
    entries.strMacAddress = store->value(kMacAddress).toString();
    entries.nMacAddressChangeMode = store->value(kChangeMode).toInt();
    entries.nIsSave = store->value(kIsSave).toInt();
    entries.nPorts = store->value(kPorts).toInt();
    return entries;
}

bool StoreSavedEntries(const tagSavedEntries& entries) {
    const std::unique_ptr<QSettings> store = OpenEntryStore();
    if (!store->isWritable())
        return false;
    store->setValue(kSerialPort, entries.strSerialPort);
    store->setValue(kMacAddress, entries.strMacAddress);
    store->setValue(kChangeMode, entries.nMacAddressChangeMode);
    store->setValue(kIsSave, entries.nIsSave);
    store->setValue(kPorts, entries.nPorts);
    store->sync();
    return store->status() == QSettings::NoError;
}
