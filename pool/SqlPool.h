// The pool over Qt SQL: every statement of both stores, with the few places where SQLite and
// PostgreSQL differ left to the two backends below.
#pragma once

#include "IdentityPool.h"
#include "ProcessOwner.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include <QSqlQuery>

#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>

class CSqlPool : public IIdentityPool {
public:
    ~CSqlPool() override;

    std::string Url() const override { return m_url; }
    PoolResult CreateLot(PoolLot lot) override;
    PoolResult Reserve(const std::string& lot, const std::string& port, PoolUnit& unit,
                       std::uint64_t* left) override;
    PoolResult Commit(const PoolUnit& unit, const BurntInfo& info) override;
    PoolResult GiveBack(const PoolUnit& unit) override;
    PoolResult MarkUncertain(const PoolUnit& unit, const std::string& note) override;
    PoolResult Status(const std::string& lot, std::vector<LotStatus>& out) override;
    PoolResult Export(const std::string& lot, std::vector<UnitRecord>& out) override;
    PoolResult Resolve(const std::string& lot, const std::string& mac, UnitState target) override;

    // Connects and brings the schema to this version; false with result filled on failure.
    bool Start(PoolResult& result);

    static constexpr int kSchemaVersion = 1;

protected:
    CSqlPool(std::string url, QSqlDatabase db);

    // Backend hooks.
    virtual bool Connect(QString& error) = 0;
    // Starts a transaction that writes; SQLite takes the write lock at once.
    virtual const char* BeginWrite() const = 0;
    // Appended to the query for the lowest free unit row.
    virtual const char* LockFreeRow() const = 0;
    // Serialises schema creation between processes that start together (inside the transaction).
    virtual bool LockSchema(QString& error) = 0;
    virtual Liveness OwnerLiveness(const std::string& owner, qint64 ownerKey) = 0;
    // Held from the start of a write transaction to its end, for writers that should queue in
    // this process rather than in the store; none by default.
    virtual std::unique_lock<std::mutex> WriterTurn() { return {}; }

    // One statement at a time with its rows. A statement with values stays prepared for the
    // connection's life: PostgreSQL's driver spends three round trips (prepare, run, deallocate) on
    // one it prepares anew, which a station pays on every board.
    class CStatement {
    public:
        explicit CStatement(CSqlPool& pool) : m_pool(pool) {}
        ~CStatement() { Release(); }
        CStatement(const CStatement&) = delete;
        CStatement& operator=(const CStatement&) = delete;

        // Runs sql with args (the rows of the statement run before are let go); on failure fills
        // error with the driver's text.
        bool Run(const QString& sql, std::initializer_list<QVariant> args, QString& error);
        // Lets the rows go (SQLite holds its read lock until then) and keeps the statement.
        void Release();
        QSqlQuery* operator->() { return &*m_q; }
        const QSqlQuery& operator*() const { return *m_q; }

    private:
        CSqlPool& m_pool;
        QString m_sql; // empty for a statement run once
        std::optional<QSqlQuery> m_q;
    };

    bool Exec(CStatement& q, const QString& sql, std::initializer_list<QVariant> args, QString& error) {
        return q.Run(sql, args, error);
    }
    bool Exec(const QString& sql, std::initializer_list<QVariant> args, QString& error);
    // A write that is a transaction of its own (one statement, outside InTransaction): it takes
    // the writers' turn too, or it would wait for the lock in the store after all.
    bool ExecWrite(CStatement& q, const QString& sql, std::initializer_list<QVariant> args, QString& error) {
        std::unique_lock<std::mutex> turn = WriterTurn();
        return q.Run(sql, args, error);
    }

    QSqlDatabase& Db() { return m_db; }
    const std::string& Owner() const { return m_owner; }
    qint64 OwnerKey() const { return m_ownerKey; }

private:
    // body runs inside a transaction (a write one when write); committed when it returns Ok,
    // rolled back otherwise. A lost connection or a busy store fails with the driver's text.
    PoolResult InTransaction(bool write, const std::function<PoolResult(QString& error)>& body);
    PoolResult Migrate();
    bool LoadLot(const std::string& name, PoolLot& lot, QString& error, bool& found);
    bool LoadLots(std::vector<PoolLot>& lots, QString& error);
    // Turns the reservations of owners that are gone into uncertain units.
    bool Sweep(QString& error);
    bool CountLot(const PoolLot& lot, LotStatus& status, QString& error);
    // The lowest unit without a row at or above the lot's counter, or none.
    bool FirstUntouched(const PoolLot& lot, std::optional<std::uint64_t>& index, QString& error);
    PoolResult Failure(const QString& error) const;
    void ReleaseHeld(); // the connection closes: what it still holds may be in a board

    std::string m_url;
    QSqlDatabase m_db;
    std::map<QString, QSqlQuery> m_prepared; // idle prepared statements by their text
    QString m_connectionName;
    std::string m_owner;
    qint64 m_ownerKey = 0;
    std::string m_host;
};

std::unique_ptr<CSqlPool> MakeSqlitePool(const std::string& url, const std::string& path);
std::unique_ptr<CSqlPool> MakePostgresPool(const std::string& url);
// Host, port, socket folder, user, database and libpq options of a PostgreSQL URI onto db.
void ApplyPostgresUrl(QSqlDatabase& db, const std::string& url);

// A connection name no other pool object uses.
QString NewConnectionName();
std::string NowUtcText();
