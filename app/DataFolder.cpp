#include "DataFolder.h"

#include "StrUtil.h"
#include "TextTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

QString FromLocal(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), qsizetype(s.size()));
}

std::string ToLocal(const QString& s) {
    const QByteArray b = QDir::toNativeSeparators(s).toLocal8Bit();
    return std::string(b.constData(), size_t(b.size()));
}

// Asked by writing, not by the permission bits: those say nothing of Windows' access lists,
// read-only mounts or a full disk.
bool CanCreateFileIn(const QString& dir) {
    QTemporaryFile probe(dir + QStringLiteral("/.telvanor-probe-XXXXXX"));
    return probe.open();
}

// An installed program shares its prefix with its documentation: the folder is the system's,
// even for a user (root) who could write to it.
bool IsInstalledLayout(const QString& dir) {
    return QFileInfo(dir).fileName() == QLatin1String("bin") &&
           QFileInfo::exists(dir + QStringLiteral("/../share/doc/telvanor"));
}

} // namespace

tagDataFolder ChooseDataFolder(const std::string& programDir, bool programDirUsable,
                               const std::string& userDataDir) {
    if (programDirUsable || userDataDir.empty())
        return {programDir, false};
    return {userDataDir, true};
}

tagDataFolder ResolveDataFolder(const std::string& programDir) {
    const QString dir = FromLocal(programDir);
    const bool usable = !IsInstalledLayout(dir) && CanCreateFileIn(dir);
    std::string userDataDir;
    if (!usable) {
        // The same folder for the window and the command line, whichever program asks.
        const QString name = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(QStringLiteral("telvanor"));
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QCoreApplication::setApplicationName(name);
        if (!data.isEmpty() && QDir().mkpath(data))
            userDataDir = ToLocal(data);
    }
    return ChooseDataFolder(programDir, usable, userDataDir);
}

std::string DataFolderNotice(const std::string& programDir, const tagDataFolder& folder) {
    if (!folder.bDiverted)
        return std::string();
    return tv::FormatRuntime(Txt(strDataFolderUsed), programDir.c_str(), folder.strDir.c_str());
}
