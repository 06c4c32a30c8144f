// Where a pool is: "sqlite:PATH" or a PostgreSQL connection URI.
#include "SqlPool.h"

#include "StrUtil.h"
#include "TextTables.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QUrlQuery>

namespace {

PoolResult Refuse(const std::string& url, const std::string& why) {
    return {PoolCode::Refused, tv::FormatRuntime(Txt(strPoolOpenFailed), url.c_str(), why.c_str())};
}

} // namespace

std::unique_ptr<IIdentityPool> OpenIdentityPool(const std::string& url, const std::string& programDir,
                                                bool mayCreate, PoolResult& result) {
    std::unique_ptr<CSqlPool> pool;
    if (tv::StartsWithNoCase(url, "sqlite:")) {
        const QString given = QString::fromLocal8Bit(url.substr(7).c_str());
        if (given.isEmpty()) {
            result = Refuse(url, "sqlite:PATH names the pool's file");
            return nullptr;
        }
        const QString path = QFileInfo(given).isAbsolute()
                                 ? given
                                 : QDir(QString::fromLocal8Bit(programDir.c_str())).filePath(given);
        // Only the pool commands' create makes a new file: a mistyped path is an error, not a new
        // empty pool.
        if (!mayCreate && !QFileInfo::exists(path)) {
            result = Refuse(url, "no pool file at " + path.toStdString());
            return nullptr;
        }
        pool = MakeSqlitePool(url, path.toLocal8Bit().toStdString());
    } else if (tv::StartsWithNoCase(url, "postgresql://") || tv::StartsWithNoCase(url, "postgres://")) {
        const QUrl parsed(QString::fromLocal8Bit(url.c_str()));
        if (!parsed.isValid()) {
            result = Refuse(url, "not a valid connection URI");
            return nullptr;
        }
        if (!parsed.password().isEmpty() || QUrlQuery(parsed).hasQueryItem(QStringLiteral("password"))) {
            result =
                Refuse("postgresql://...", "a password does not belong in the URL (use PGPASSWORD or the "
                                           "password file ~/.pgpass)");
            return nullptr;
        }
        pool = MakePostgresPool(url);
    } else {
        result = Refuse(url, "a pool is sqlite:PATH or postgresql://USER@HOST:PORT/DATABASE");
        return nullptr;
    }
    if (!pool->Start(result))
        return nullptr;
    return pool;
}
