// The PostgreSQL store: one server, several stations. Reservers skip the rows others have locked;
// each connection holds an advisory lock on its own key while it lives, so a reservation whose
// key nobody holds belongs to a connection that is gone, on whatever machine it ran.
#include "SqlPool.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>

namespace {

// The schema lock's two-part key lives apart from the connections' one-part keys.
constexpr int kSchemaLockClass = 0x5456; // "TV"
constexpr int kSchemaLockObject = 1;

class CPostgresPool : public CSqlPool {
public:
    explicit CPostgresPool(const std::string& url)
        : CSqlPool(url, QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), NewConnectionName())) {}

protected:
    bool Connect(QString& error) override {
        ApplyPostgresUrl(Db(), Url());
        if (!Db().open()) {
            error = Db().lastError().text();
            return false;
        }
        // The schema's "already exists" notices are no news to an operator.
        return Exec(QStringLiteral("SET client_min_messages TO warning"), {}, error) &&
               Exec(QStringLiteral("SELECT pg_advisory_lock(?)"), {OwnerKey()}, error);
    }
    const char* BeginWrite() const override { return "BEGIN"; }
    const char* LockFreeRow() const override { return " FOR UPDATE SKIP LOCKED"; }
    bool LockSchema(QString& error) override {
        return Exec(QStringLiteral("SELECT pg_advisory_xact_lock(?, ?)"),
                    {kSchemaLockClass, kSchemaLockObject}, error);
    }
    Liveness OwnerLiveness(const std::string&, qint64 ownerKey) override {
        if (ownerKey == 0)
            return Liveness::Unknown;
        // Taken (and let go at once) only when no live connection holds the key.
        CStatement q(*this);
        QString error;
        if (!Exec(q, QStringLiteral("SELECT pg_try_advisory_xact_lock(?)"), {ownerKey}, error) || !q->next())
            return Liveness::Unknown;
        return q->value(0).toBool() ? Liveness::Gone : Liveness::Alive;
    }
};

} // namespace

void ApplyPostgresUrl(QSqlDatabase& db, const std::string& url) {
    // The URI's parts go to the driver one by one (it does not pass a URI on to libpq); the
    // query's host may be a socket folder, other query items are libpq options. No password:
    // libpq takes it from PGPASSWORD or the user's password file.
    const QUrl parsed(QString::fromLocal8Bit(url.c_str()));
    if (!parsed.host().isEmpty())
        db.setHostName(parsed.host());
    if (parsed.port() > 0)
        db.setPort(parsed.port());
    if (!parsed.userName().isEmpty())
        db.setUserName(parsed.userName());
    if (parsed.path().size() > 1)
        db.setDatabaseName(parsed.path().mid(1));
    QStringList options;
    for (const auto& [key, value] : QUrlQuery(parsed).queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host"))
            db.setHostName(value);
        else if (key == QLatin1String("port"))
            db.setPort(value.toInt());
        else if (key == QLatin1String("user"))
            db.setUserName(value);
        else if (key == QLatin1String("dbname"))
            db.setDatabaseName(value);
        else
            options << key + QLatin1Char('=') + value;
    }
    db.setConnectOptions(options.join(QLatin1Char(';')));
}

std::unique_ptr<CSqlPool> MakePostgresPool(const std::string& url) {
    return std::make_unique<CPostgresPool>(url);
}
