// A fresh identity pool for one test, on either store: a file in a temporary folder, or a database
// of its own on the private PostgreSQL server that scripts/test.sh starts (TELVANOR_TEST_PG_URL,
// e.g. postgresql:///postgres?host=SOCKETDIR&port=PORT&user=postgres).
#pragma once

#include "BoardProcess.h"
#include "IdentityPool.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// "sqlite" and "postgresql", for parameterised tests.
std::vector<std::string> PoolBackends();

// A lot: MACs first to last (either accepted form), an ID string part and number range.
PoolLot TestLot(const std::string& name, const char* macFirst, const char* macLast,
                const std::string& idString = "", const char* idFirst = "", const char* idLast = "");

// Qt SQL wants an application object for its driver plug-ins.
void EnsureQtApp();

class CTestPool {
public:
    explicit CTestPool(const std::string& backend);
    ~CTestPool(); // drops the test's database
    CTestPool(const CTestPool&) = delete;
    CTestPool& operator=(const CTestPool&) = delete;

    // Empty when the store is there; otherwise why not (the caller skips, or fails when
    // TELVANOR_REQUIRE_PG=1 says the server must be there).
    const std::string& Missing() const { return m_missing; }
    const std::string& Url() const { return m_url; }
    const std::string& Dir() const { return m_dir.Path(); }

    std::unique_ptr<IIdentityPool> Open();
    // One statement straight on the store, for what only another version of the tool would write.
    bool RawExec(const std::string& sql);

private:
    std::string m_backend, m_url, m_missing, m_database;
    CTempDir m_dir;
};

// Skips the test when the store is missing, or fails it when the run requires it.
#define REQUIRE_POOL_STORE(pool)                                                                             \
    do {                                                                                                     \
        if (!(pool).Missing().empty()) {                                                                     \
            if (PoolStoreRequired())                                                                         \
                FAIL() << (pool).Missing();                                                                  \
            GTEST_SKIP() << (pool).Missing();                                                                \
        }                                                                                                    \
    } while (0)
bool PoolStoreRequired();
