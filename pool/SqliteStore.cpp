// The SQLite store: one file, one station. Writers take the file's write lock at the start of
// their transaction and wait for each other (busy time-out); readers never wait (WAL).
#include "SqlPool.h"

#include <QFileInfo>
#include <QSqlError>

#include <map>
#include <memory>

namespace {

// One writer at a time per file in this process. SQLite's own wait for its write lock sleeps
// between tries (1, 2, 5, 10 ms and on up to 25), so the ports of one station, queueing there,
// each lost tens of milliseconds per reservation; a mutex hands the turn on at once. Other
// processes on the same file still queue in SQLite.
std::mutex& WriterMutex(const QString& path) {
    static std::mutex guard;
    static std::map<QString, std::unique_ptr<std::mutex>> writers; // one per file, for the process's life
    std::lock_guard<std::mutex> lock(guard);
    std::unique_ptr<std::mutex>& m = writers[QFileInfo(path).absoluteFilePath()];
    if (!m)
        m = std::make_unique<std::mutex>();
    return *m;
}

class CSqlitePool : public CSqlPool {
public:
    CSqlitePool(const std::string& url, const std::string& path)
        : CSqlPool(url, QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), NewConnectionName())),
          m_path(QString::fromLocal8Bit(path.c_str())) {}

protected:
    bool Connect(QString& error) override {
        Db().setDatabaseName(m_path);
        // Eight stations' worth of writers queue well within this; a held lock beyond it is a fault.
        Db().setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
        if (!Db().open()) {
            error = Db().lastError().text();
            return false;
        }
        // Every commit reaches the disk: a unit handed out and then forgotten by a power cut could
        // be handed out again.
        return Exec(QStringLiteral("PRAGMA journal_mode=WAL"), {}, error) &&
               Exec(QStringLiteral("PRAGMA synchronous=FULL"), {}, error);
    }
    const char* BeginWrite() const override { return "BEGIN IMMEDIATE"; }
    const char* LockFreeRow() const override { return ""; }
    bool LockSchema(QString&) override { return true; } // BEGIN IMMEDIATE already holds the file
    std::unique_lock<std::mutex> WriterTurn() override {
        return std::unique_lock<std::mutex>(WriterMutex(m_path));
    }
    Liveness OwnerLiveness(const std::string& owner, qint64) override {
        ProcessIdentity p;
        return ParseOwnerText(owner, p) ? ProcessLiveness(p) : Liveness::Unknown;
    }

private:
    QString m_path;
};

} // namespace

std::unique_ptr<CSqlPool> MakeSqlitePool(const std::string& url, const std::string& path) {
    return std::make_unique<CSqlitePool>(url, path);
}
