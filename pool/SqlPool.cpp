#include "SqlPool.h"

#include "StrUtil.h"
#include "TextTables.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <map>

namespace {

QString Q(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), qsizetype(s.size()));
}

std::string S(const QVariant& v) {
    const QByteArray b = v.toString().toLocal8Bit();
    return std::string(b.constData(), size_t(b.size()));
}

QVariant N(std::uint64_t v) {
    return QVariant(qlonglong(v));
}

std::string Count(std::uint64_t v) {
    return std::to_string(v);
}

// Version 1: the lots, and a row for every unit that was ever handed out or decided on; a unit
// without a row is free. Every unit below a lot's counter has a row.
const char* const kSchemaV1[] = {
    "CREATE TABLE pool_lots ("
    " name TEXT PRIMARY KEY,"
    " mac_first BIGINT NOT NULL, mac_last BIGINT NOT NULL, step INTEGER NOT NULL,"
    " id_string TEXT NOT NULL, id_first TEXT NOT NULL, id_last TEXT NOT NULL, hex INTEGER NOT NULL,"
    " size BIGINT NOT NULL, next_index BIGINT NOT NULL, created TEXT NOT NULL)",
    "CREATE TABLE pool_units ("
    " lot TEXT NOT NULL REFERENCES pool_lots(name),"
    " idx BIGINT NOT NULL,"
    " mac TEXT NOT NULL, id TEXT NOT NULL, state TEXT NOT NULL,"
    " owner TEXT, owner_key BIGINT, host TEXT, port TEXT, reserved_at TEXT,"
    " burnt_at TEXT, burnt_id TEXT, items TEXT, record TEXT, note TEXT,"
    " PRIMARY KEY (lot, idx))",
    "CREATE INDEX pool_units_by_state ON pool_units (lot, state, idx)",
    "CREATE INDEX pool_units_reserved ON pool_units (state, owner)",
};

const char* const kLotColumns =
    "name, mac_first, mac_last, step, id_string, id_first, id_last, hex, size, next_index";

PoolLot LotFromRow(const QSqlQuery& q) {
    PoolLot lot;
    lot.name = S(q.value(0));
    lot.macFirst = std::uint64_t(q.value(1).toLongLong());
    lot.macLast = std::uint64_t(q.value(2).toLongLong());
    lot.step = unsigned(q.value(3).toInt());
    lot.idString = S(q.value(4));
    lot.idFirst = S(q.value(5));
    lot.idLast = S(q.value(6));
    lot.hex = q.value(7).toInt() != 0;
    lot.size = std::uint64_t(q.value(8).toLongLong());
    return lot;
}

} // namespace

const char* const kDefaultPoolUrl = "sqlite:TelvanorPool.db";

const char* UnitStateName(UnitState state) {
    switch (state) {
    case UnitState::Free:
        return "free";
    case UnitState::Reserved:
        return "reserved";
    case UnitState::Burnt:
        return "burnt";
    case UnitState::Uncertain:
        return "uncertain";
    case UnitState::Retired:
        return "retired";
    }
    return "free";
}

std::optional<UnitState> UnitStateFromName(const std::string& name) {
    for (UnitState s :
         {UnitState::Free, UnitState::Reserved, UnitState::Burnt, UnitState::Uncertain, UnitState::Retired})
        if (name == UnitStateName(s))
            return s;
    return std::nullopt;
}

QString NewConnectionName() {
    static std::atomic<int> serial{0};
    return QStringLiteral("telvanor-pool-%1").arg(++serial);
}

std::string NowUtcText() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
}

CSqlPool::CSqlPool(std::string url, QSqlDatabase db)
    : m_url(std::move(url)), m_db(std::move(db)), m_connectionName(m_db.connectionName()) {
    const ProcessIdentity self = ThisProcess();
    m_host = self.host;
    m_owner = OwnerText(self, m_connectionName.toStdString());
    // A positive key for PostgreSQL's advisory lock that marks this connection as alive.
    m_ownerKey = qint64(QRandomGenerator::system()->generate64() & 0x3FFFFFFFFFFFFFFFull) + 1;
}

CSqlPool::~CSqlPool() {
    if (m_db.isOpen())
        ReleaseHeld();
    m_prepared.clear(); // before the connection they belong to
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool CSqlPool::Start(PoolResult& result) {
    QString error;
    if (!Connect(error)) {
        result = {PoolCode::Failed,
                  tv::FormatRuntime(Txt(strPoolOpenFailed), m_url.c_str(), error.toLocal8Bit().constData())};
        return false;
    }
    result = Migrate();
    if (result.code == PoolCode::Failed)
        result.message = tv::FormatRuntime(Txt(strPoolOpenFailed), m_url.c_str(), result.message.c_str());
    return result.Ok();
}

bool CSqlPool::CStatement::Run(const QString& sql, std::initializer_list<QVariant> args, QString& error) {
    Release();
    bool ok;
    if (args.size() == 0) {
        // Transaction control and schema statements cannot be prepared on every driver.
        m_q.emplace(m_pool.m_db);
        ok = m_q->exec(sql);
    } else {
        m_sql = sql;
        auto kept = m_pool.m_prepared.extract(sql);
        if (kept) {
            m_q.emplace(std::move(kept.mapped()));
            ok = true;
        } else {
            m_q.emplace(m_pool.m_db);
            ok = m_q->prepare(sql);
        }
        if (ok) {
            int at = 0;
            for (const QVariant& a : args)
                m_q->bindValue(at++, a);
            ok = m_q->exec();
        }
    }
    if (!ok)
        error = m_q->lastError().text();
    return ok;
}

void CSqlPool::CStatement::Release() {
    if (m_q && !m_sql.isEmpty()) {
        m_q->finish();
        // A second statement of the same text, run while this one was busy, is dropped.
        m_pool.m_prepared.try_emplace(m_sql, std::move(*m_q));
    }
    m_q.reset();
    m_sql.clear();
}

bool CSqlPool::Exec(const QString& sql, std::initializer_list<QVariant> args, QString& error) {
    CStatement q(*this);
    return q.Run(sql, args, error);
}

PoolResult CSqlPool::Failure(const QString& error) const {
    return {PoolCode::Failed, tv::FormatRuntime(Txt(strPoolFailed), error.toLocal8Bit().constData())};
}

PoolResult CSqlPool::InTransaction(bool write, const std::function<PoolResult(QString& error)>& body) {
    QString error;
    std::unique_lock<std::mutex> turn;
    if (write)
        turn = WriterTurn();
    if (!Exec(QString::fromLatin1(write ? BeginWrite() : "BEGIN"), {}, error))
        return Failure(error);
    PoolResult r = body(error);
    if (r.code == PoolCode::Failed && r.message.empty())
        r = Failure(error);
    if (r.Ok()) {
        if (!Exec(QStringLiteral("COMMIT"), {}, error)) {
            QString ignored;
            Exec(QStringLiteral("ROLLBACK"), {}, ignored);
            return Failure(error);
        }
        return r;
    }
    QString ignored;
    Exec(QStringLiteral("ROLLBACK"), {}, ignored);
    return r;
}

PoolResult CSqlPool::Migrate() {
    // A schema already at this version needs no write lock: eight ports opening the pool together
    // would otherwise queue for it (and, on SQLite, for a synced commit each) before their first board.
    {
        CStatement q(*this);
        QString ignored;
        if (q.Run(QStringLiteral("SELECT max(version) FROM telvanor_pool_schema"), {}, ignored) &&
            q->next() && !q->value(0).isNull() && q->value(0).toInt() == kSchemaVersion)
            return {};
    }
    return InTransaction(true, [this](QString& error) -> PoolResult {
        if (!LockSchema(error) ||
            !Exec(
                QStringLiteral("CREATE TABLE IF NOT EXISTS telvanor_pool_schema (version INTEGER NOT NULL)"),
                {}, error))
            return {PoolCode::Failed, {}};
        CStatement q(*this);
        if (!Exec(q, QStringLiteral("SELECT max(version) FROM telvanor_pool_schema"), {}, error))
            return {PoolCode::Failed, {}};
        const int version = q->next() && !q->value(0).isNull() ? q->value(0).toInt() : 0;
        q.Release();
        if (version > kSchemaVersion)
            return {PoolCode::Refused,
                    tv::FormatRuntime(Txt(strPoolNewerSchema), std::to_string(version).c_str(),
                                      std::to_string(kSchemaVersion).c_str())};
        if (version < 1)
            for (const char* sql : kSchemaV1)
                if (!Exec(QString::fromLatin1(sql), {}, error))
                    return {PoolCode::Failed, {}};
        // Later versions add their steps here, each from the version before.
        if (version != kSchemaVersion &&
            (!Exec(QStringLiteral("DELETE FROM telvanor_pool_schema"), {}, error) ||
             !Exec(QStringLiteral("INSERT INTO telvanor_pool_schema (version) VALUES (?)"), {kSchemaVersion},
                   error)))
            return {PoolCode::Failed, {}};
        return {};
    });
}

bool CSqlPool::LoadLot(const std::string& name, PoolLot& lot, QString& error, bool& found) {
    CStatement q(*this);
    if (!Exec(q, QStringLiteral("SELECT %1 FROM pool_lots WHERE name = ?").arg(QLatin1String(kLotColumns)),
              {Q(name)}, error))
        return false;
    found = q->next();
    if (found)
        lot = LotFromRow(*q);
    return true;
}

bool CSqlPool::LoadLots(std::vector<PoolLot>& lots, QString& error) {
    CStatement q(*this);
    if (!Exec(q, QStringLiteral("SELECT %1 FROM pool_lots ORDER BY name").arg(QLatin1String(kLotColumns)), {},
              error))
        return false;
    while (q->next())
        lots.push_back(LotFromRow(*q));
    return true;
}

bool CSqlPool::Sweep(QString& error) {
    CStatement q(*this);
    if (!Exec(q,
              QStringLiteral(
                  "SELECT DISTINCT owner, owner_key FROM pool_units WHERE state = 'reserved' AND owner <> ?"),
              {Q(m_owner)}, error))
        return false;
    std::map<std::string, qint64> owners;
    while (q->next())
        owners[S(q->value(0))] = q->value(1).toLongLong();
    q.Release();
    for (const auto& [owner, key] : owners) {
        if (OwnerLiveness(owner, key) != Liveness::Gone)
            continue;
        // One statement: a unit the owner gave back or committed meanwhile is left alone.
        if (!ExecWrite(
                q,
                QStringLiteral("UPDATE pool_units SET state = 'uncertain', note = ? WHERE state = 'reserved' "
                               "AND owner = ?"),
                {Q("the reserving process ended while holding it (" + owner + ")"), Q(owner)}, error))
            return false;
    }
    return true;
}

bool CSqlPool::FirstUntouched(const PoolLot& lot, std::optional<std::uint64_t>& index, QString& error) {
    CStatement q(*this);
    if (!Exec(q, QStringLiteral("SELECT next_index FROM pool_lots WHERE name = ?"), {Q(lot.name)}, error))
        return false;
    if (!q->next())
        return true;
    std::uint64_t k = std::uint64_t(q->value(0).toLongLong());
    q.Release();
    // Rows at or above the counter come only from units retired before they were handed out.
    if (!Exec(q, QStringLiteral("SELECT idx FROM pool_units WHERE lot = ? AND idx >= ? ORDER BY idx"),
              {Q(lot.name), N(k)}, error))
        return false;
    while (q->next() && std::uint64_t(q->value(0).toLongLong()) == k)
        ++k;
    index = k < lot.size ? std::optional<std::uint64_t>(k) : std::nullopt;
    return true;
}

bool CSqlPool::CountLot(const PoolLot& lot, LotStatus& status, QString& error) {
    status = LotStatus();
    status.lot = lot;
    CStatement q(*this);
    if (!Exec(q, QStringLiteral("SELECT state, count(*) FROM pool_units WHERE lot = ? GROUP BY state"),
              {Q(lot.name)}, error))
        return false;
    std::uint64_t taken = 0;
    while (q->next()) {
        const std::uint64_t n = std::uint64_t(q->value(1).toLongLong());
        const std::optional<UnitState> s = UnitStateFromName(S(q->value(0)));
        if (!s || *s == UnitState::Free)
            continue;
        taken += n;
        (*s == UnitState::Reserved    ? status.reserved
         : *s == UnitState::Burnt     ? status.burnt
         : *s == UnitState::Uncertain ? status.uncertain
                                      : status.retired) += n;
    }
    q.Release();
    status.free = lot.size - taken;
    if (!Exec(q, QStringLiteral("SELECT min(idx) FROM pool_units WHERE lot = ? AND state = 'free'"),
              {Q(lot.name)}, error))
        return false;
    std::optional<std::uint64_t> next;
    if (q->next() && !q->value(0).isNull())
        next = std::uint64_t(q->value(0).toLongLong());
    q.Release();
    if (!next && !FirstUntouched(lot, next, error))
        return false;
    if (next)
        status.next = UnitOf(lot, *next);
    return true;
}

PoolResult CSqlPool::CreateLot(PoolLot lot) {
    const std::string problem = CheckLot(lot);
    if (!problem.empty())
        return {PoolCode::Refused, problem};
    return InTransaction(true, [&](QString& error) -> PoolResult {
        std::vector<PoolLot> lots;
        if (!LoadLots(lots, error))
            return {PoolCode::Failed, {}};
        for (const PoolLot& other : lots) {
            if (other.name == lot.name)
                return {PoolCode::Refused, tv::FormatRuntime(Txt(strPoolLotExists), lot.name.c_str())};
            std::string what;
            if (LotsOverlap(lot, other, what))
                return {PoolCode::Refused, tv::FormatRuntime(Txt(strPoolLotOverlaps), lot.name.c_str(),
                                                             other.name.c_str(), what.c_str())};
        }
        if (!Exec(
                QStringLiteral("INSERT INTO pool_lots (%1, created) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 0, ?)")
                    .arg(QLatin1String(kLotColumns)),
                {Q(lot.name), N(lot.macFirst), N(lot.macLast), int(lot.step), Q(lot.idString), Q(lot.idFirst),
                 Q(lot.idLast), int(lot.hex), N(lot.size), Q(NowUtcText())},
                error))
            return {PoolCode::Failed, {}};
        return {PoolCode::Ok,
                tv::FormatRuntime(Txt(strPoolCreated), lot.name.c_str(), Count(lot.size).c_str(),
                                  FormatMacValue(lot.macFirst).c_str(),
                                  FormatMacValue(lot.macFirst + (lot.size - 1) * lot.step).c_str())};
    });
}

PoolResult CSqlPool::Reserve(const std::string& lotName, const std::string& port, PoolUnit& unit,
                             std::uint64_t* left) {
    QString error;
    if (!Sweep(error))
        return Failure(error);
    return InTransaction(true, [&](QString& error) -> PoolResult {
        PoolLot lot;
        bool found = false;
        if (!LoadLot(lotName, lot, error, found))
            return {PoolCode::Failed, {}};
        if (!found)
            return {PoolCode::NoSuchLot, tv::FormatRuntime(Txt(strPoolNoLot), lotName.c_str())};
        const QString now = Q(NowUtcText());
        CStatement q(*this);
        if (!Exec(q,
                  QStringLiteral(
                      "SELECT idx FROM pool_units WHERE lot = ? AND state = 'free' ORDER BY idx LIMIT 1") +
                      QLatin1String(LockFreeRow()),
                  {Q(lot.name)}, error))
            return {PoolCode::Failed, {}};
        if (q->next()) {
            unit = UnitOf(lot, std::uint64_t(q->value(0).toLongLong()));
            q.Release();
            if (!Exec(QStringLiteral(
                          "UPDATE pool_units SET state = 'reserved', owner = ?, owner_key = ?, host = ?, "
                          "port = ?, reserved_at = ?, note = NULL WHERE lot = ? AND idx = ?"),
                      {Q(m_owner), m_ownerKey, Q(m_host), Q(port), now, Q(lot.name), N(unit.index)}, error))
                return {PoolCode::Failed, {}};
        } else {
            q.Release();
            for (;;) {
                // The counter's row lock makes concurrent reservers take turns for this one step.
                if (!Exec(
                        q,
                        QStringLiteral("UPDATE pool_lots SET next_index = next_index + 1 WHERE name = ? AND "
                                       "next_index < size RETURNING next_index - 1"),
                        {Q(lot.name)}, error))
                    return {PoolCode::Failed, {}};
                if (!q->next())
                    return {PoolCode::UsedUp, tv::FormatRuntime(Txt(strPoolUsedUp), lot.name.c_str())};
                unit = UnitOf(lot, std::uint64_t(q->value(0).toLongLong()));
                q.Release();
                CStatement insert(*this);
                if (!Exec(insert,
                          QStringLiteral(
                              "INSERT INTO pool_units (lot, idx, mac, id, state, owner, owner_key, host, "
                              "port, reserved_at) VALUES (?, ?, ?, ?, 'reserved', ?, ?, ?, ?, ?) "
                              "ON CONFLICT (lot, idx) DO NOTHING"),
                          {Q(lot.name), N(unit.index), Q(unit.mac), Q(unit.Id()), Q(m_owner), m_ownerKey,
                           Q(m_host), Q(port), now},
                          error))
                    return {PoolCode::Failed, {}};
                if (insert->numRowsAffected() == 1)
                    break;
                // A unit retired before it was handed out: take the next one.
            }
        }
        if (left) {
            // Counted from the counter and the few rows around it, not from every unit handed out:
            // a lot with a hundred thousand boards behind it made each reservation scan them all
            // while it held the write lock. Every unit below the counter has a row; what is left
            // is the free rows and the units at or above the counter without one (retired early).
            if (!Exec(
                    q,
                    QStringLiteral("SELECT l.next_index, "
                                   "(SELECT count(*) FROM pool_units WHERE lot = l.name AND state = 'free'), "
                                   "(SELECT count(*) FROM pool_units WHERE lot = l.name AND idx >= "
                                   "l.next_index) FROM pool_lots l WHERE l.name = ?"),
                    {Q(lot.name)}, error) ||
                !q->next())
                return {PoolCode::Failed, {}};
            const std::uint64_t next = std::uint64_t(q->value(0).toLongLong());
            const std::uint64_t freeRows = std::uint64_t(q->value(1).toLongLong());
            const std::uint64_t above = std::uint64_t(q->value(2).toLongLong());
            *left = lot.size - next - above + freeRows;
        }
        return {};
    });
}

PoolResult CSqlPool::Commit(const PoolUnit& unit, const BurntInfo& info) {
    CStatement q(*this);
    QString error;
    // A unit swept to uncertain while this station still held it is recorded as what it is: burnt.
    if (!ExecWrite(
            q,
            QStringLiteral(
                "UPDATE pool_units SET state = 'burnt', burnt_at = ?, host = ?, port = ?, burnt_id = ?, "
                "items = ?, record = ?, owner = NULL, owner_key = NULL WHERE lot = ? AND idx = ? AND "
                "owner = ? AND state IN ('reserved', 'uncertain')"),
            {Q(NowUtcText()), Q(m_host), Q(info.port), Q(info.id), Q(info.items), Q(info.record), Q(unit.lot),
             N(unit.index), Q(m_owner)},
            error))
        return Failure(error);
    if (q->numRowsAffected() != 1)
        return {PoolCode::Refused,
                tv::FormatRuntime(Txt(strPoolNotHeld), unit.mac.c_str(), unit.lot.c_str())};
    return {};
}

PoolResult CSqlPool::GiveBack(const PoolUnit& unit) {
    CStatement q(*this);
    QString error;
    if (!ExecWrite(q,
                   QStringLiteral(
                       "UPDATE pool_units SET state = 'free', owner = NULL, owner_key = NULL, host = NULL, "
                       "port = NULL, reserved_at = NULL WHERE lot = ? AND idx = ? AND owner = ? AND "
                       "state = 'reserved'"),
                   {Q(unit.lot), N(unit.index), Q(m_owner)}, error))
        return Failure(error);
    if (q->numRowsAffected() != 1)
        return {PoolCode::Refused,
                tv::FormatRuntime(Txt(strPoolNotHeld), unit.mac.c_str(), unit.lot.c_str())};
    return {};
}

PoolResult CSqlPool::MarkUncertain(const PoolUnit& unit, const std::string& note) {
    CStatement q(*this);
    QString error;
    if (!ExecWrite(q,
                   QStringLiteral(
                       "UPDATE pool_units SET state = 'uncertain', note = ? WHERE lot = ? AND idx = ? AND "
                       "owner = ? AND state = 'reserved'"),
                   {Q(note), Q(unit.lot), N(unit.index), Q(m_owner)}, error))
        return Failure(error);
    if (q->numRowsAffected() != 1)
        return {PoolCode::Refused,
                tv::FormatRuntime(Txt(strPoolNotHeld), unit.mac.c_str(), unit.lot.c_str())};
    return {};
}

void CSqlPool::ReleaseHeld() {
    QString error;
    Exec(QStringLiteral(
             "UPDATE pool_units SET state = 'uncertain', note = ? WHERE state = 'reserved' AND owner = ?"),
         {Q("the station closed its pool while holding it"), Q(m_owner)}, error);
}

PoolResult CSqlPool::Status(const std::string& lotName, std::vector<LotStatus>& out) {
    out.clear();
    QString error;
    if (!Sweep(error))
        return Failure(error);
    return InTransaction(false, [&](QString& error) -> PoolResult {
        std::vector<PoolLot> lots;
        if (lotName.empty()) {
            if (!LoadLots(lots, error))
                return {PoolCode::Failed, {}};
        } else {
            bool found = false;
            lots.emplace_back();
            if (!LoadLot(lotName, lots.back(), error, found))
                return {PoolCode::Failed, {}};
            if (!found)
                return {PoolCode::NoSuchLot, tv::FormatRuntime(Txt(strPoolNoLot), lotName.c_str())};
        }
        for (const PoolLot& lot : lots) {
            out.emplace_back();
            if (!CountLot(lot, out.back(), error))
                return {PoolCode::Failed, {}};
        }
        return {};
    });
}

PoolResult CSqlPool::Export(const std::string& lotName, std::vector<UnitRecord>& out) {
    out.clear();
    QString error;
    if (!Sweep(error))
        return Failure(error);
    return InTransaction(false, [&](QString& error) -> PoolResult {
        PoolLot lot;
        bool found = false;
        if (!LoadLot(lotName, lot, error, found))
            return {PoolCode::Failed, {}};
        if (!found)
            return {PoolCode::NoSuchLot, tv::FormatRuntime(Txt(strPoolNoLot), lotName.c_str())};
        CStatement q(*this);
        if (!Exec(q,
                  QStringLiteral(
                      "SELECT idx, state, burnt_at, reserved_at, host, port, burnt_id, items, record, note "
                      "FROM pool_units WHERE lot = ? AND state IN ('burnt', 'uncertain') ORDER BY idx"),
                  {Q(lot.name)}, error))
            return {PoolCode::Failed, {}};
        while (q->next()) {
            UnitRecord r;
            r.unit = UnitOf(lot, std::uint64_t(q->value(0).toLongLong()));
            r.state = UnitStateFromName(S(q->value(1))).value_or(UnitState::Uncertain);
            r.time = S(q->value(2).isNull() ? q->value(3) : q->value(2));
            r.host = S(q->value(4));
            r.port = S(q->value(5));
            r.id = S(q->value(6));
            r.items = S(q->value(7));
            r.record = S(q->value(8));
            r.note = S(q->value(9));
            out.push_back(std::move(r));
        }
        return {};
    });
}

PoolResult CSqlPool::Resolve(const std::string& lotName, const std::string& mac, UnitState target) {
    QString error;
    if (!Sweep(error))
        return Failure(error);
    return InTransaction(true, [&](QString& error) -> PoolResult {
        PoolLot lot;
        bool found = false;
        if (!LoadLot(lotName, lot, error, found))
            return {PoolCode::Failed, {}};
        if (!found)
            return {PoolCode::NoSuchLot, tv::FormatRuntime(Txt(strPoolNoLot), lotName.c_str())};
        const std::optional<std::uint64_t> index = IndexOfMac(lot, mac);
        if (!index)
            return {PoolCode::Refused, tv::FormatRuntime(Txt(strPoolNoUnit), mac.c_str(), lot.name.c_str())};
        const PoolUnit unit = UnitOf(lot, *index);
        CStatement q(*this);
        if (!Exec(q, QStringLiteral("SELECT state FROM pool_units WHERE lot = ? AND idx = ?"),
                  {Q(lot.name), N(*index)}, error))
            return {PoolCode::Failed, {}};
        const bool hasRow = q->next();
        const UnitState current =
            hasRow ? UnitStateFromName(S(q->value(0))).value_or(UnitState::Uncertain) : UnitState::Free;
        q.Release();
        // Free and burnt only for a unit an operator has looked at; a running job's unit is its own.
        const bool allowed = target == UnitState::Retired
                                 ? current != UnitState::Reserved && current != UnitState::Retired
                                 : (target == UnitState::Free || target == UnitState::Burnt) &&
                                       current == UnitState::Uncertain;
        if (!allowed)
            return {PoolCode::Refused, tv::FormatRuntime(Txt(strPoolResolveRefused), unit.mac.c_str(),
                                                         UnitStateName(current), UnitStateName(target))};
        const QString note = Q(std::string("resolved ") + UnitStateName(target) + " at " + NowUtcText() +
                               " (was " + UnitStateName(current) + ")");
        bool ok;
        if (!hasRow)
            ok = Exec(
                QStringLiteral("INSERT INTO pool_units (lot, idx, mac, id, state, note) VALUES (?, ?, ?, ?, "
                               "'retired', ?)"),
                {Q(lot.name), N(*index), Q(unit.mac), Q(unit.Id()), note}, error);
        else if (target == UnitState::Free)
            ok = Exec(
                QStringLiteral("UPDATE pool_units SET state = 'free', owner = NULL, owner_key = NULL, host = "
                               "NULL, port = NULL, reserved_at = NULL, note = ? WHERE lot = ? AND idx = ?"),
                {note, Q(lot.name), N(*index)}, error);
        else
            ok = Exec(
                QStringLiteral("UPDATE pool_units SET state = ?, burnt_at = COALESCE(burnt_at, ?), note = ? "
                               "WHERE lot = ? AND idx = ?"),
                {QString::fromLatin1(UnitStateName(target)),
                 target == UnitState::Burnt ? Q(NowUtcText()) : QVariant(QMetaType(QMetaType::QString)), note,
                 Q(lot.name), N(*index)},
                error);
        if (!ok)
            return {PoolCode::Failed, {}};
        return {PoolCode::Ok, tv::FormatRuntime(Txt(strPoolResolved), unit.mac.c_str(), lot.name.c_str(),
                                                UnitStateName(target))};
    });
}
