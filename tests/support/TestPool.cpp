#include "TestPool.h"

#include "SqlPool.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <atomic>
#include <cstdlib>
#include <random>

std::vector<std::string> PoolBackends() {
    return {"sqlite", "postgresql"};
}

PoolLot TestLot(const std::string& name, const char* macFirst, const char* macLast,
                const std::string& idString, const char* idFirst, const char* idLast) {
    PoolLot lot;
    lot.name = name;
    lot.macFirst = ParseMacValue(macFirst).value_or(0);
    lot.macLast = ParseMacValue(macLast).value_or(0);
    lot.idString = idString;
    lot.idFirst = idFirst;
    lot.idLast = idLast;
    return lot;
}

void EnsureQtApp() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "pool_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

bool PoolStoreRequired() {
    const char* v = std::getenv("TELVANOR_REQUIRE_PG");
    return v && std::string(v) == "1";
}

namespace {

bool AdminExec(const std::string& adminUrl, const std::string& sql, std::string& error) {
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("test-admin-%1").arg(++serial);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        ApplyPostgresUrl(db, adminUrl);
        if (db.open()) {
            QSqlQuery q(db);
            ok = q.exec(QString::fromStdString(sql));
            if (!ok)
                error = q.lastError().text().toStdString();
        } else {
            error = db.lastError().text().toStdString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

} // namespace

CTestPool::CTestPool(const std::string& backend) : m_backend(backend) {
    EnsureQtApp();
    if (backend == "sqlite") {
        m_url = "sqlite:" + m_dir.File("pool.db");
        return;
    }
    const char* admin = std::getenv("TELVANOR_TEST_PG_URL");
    if (!admin || !*admin) {
        m_missing = "no PostgreSQL server for the tests (TELVANOR_TEST_PG_URL is not set; scripts/test.sh "
                    "starts one)";
        return;
    }
    std::random_device rd;
    m_database = "telvanor_test_" + std::to_string(rd()) + std::to_string(rd() % 1000);
    std::string error;
    if (!AdminExec(admin, "CREATE DATABASE " + m_database, error)) {
        m_missing = "cannot make a test database on " + std::string(admin) + ": " + error;
        m_database.clear();
        return;
    }
    QUrl url(QString::fromStdString(admin));
    url.setPath(QString::fromStdString("/" + m_database));
    m_url = url.toString().toStdString();
}

CTestPool::~CTestPool() {
    if (m_database.empty())
        return;
    std::string error;
    AdminExec(std::getenv("TELVANOR_TEST_PG_URL"), "DROP DATABASE " + m_database + " WITH (FORCE)", error);
}

std::unique_ptr<IIdentityPool> CTestPool::Open() {
    PoolResult r;
    std::unique_ptr<IIdentityPool> pool = OpenIdentityPool(m_url, m_dir.Path(), true, r);
    EXPECT_TRUE(pool) << r.message;
    return pool;
}

bool CTestPool::RawExec(const std::string& sql) {
    if (m_backend != "sqlite") {
        std::string error;
        return AdminExec(m_url, sql, error);
    }
    const QString name = QStringLiteral("test-raw");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QString::fromStdString(m_url.substr(7)));
        ok = db.open() && QSqlQuery(db).exec(QString::fromStdString(sql));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}
