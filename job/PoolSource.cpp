#include "PoolSource.h"

#include "IdentityPool.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <utility>

namespace {

class CPoolSource : public IIdentitySource {
public:
    CPoolSource(std::string url, std::string programDir, std::string lot)
        : m_url(url.empty() ? std::string(kDefaultPoolUrl) : std::move(url)), m_dir(std::move(programDir)),
          m_lot(std::move(lot)) {}

    tagReservation Reserve(const std::string& port, CStopFlag&) override {
        tagReservation r;
        if (!Open(r.message)) {
            r.outcome = ReserveOutcome::Failed;
            return r;
        }
        PoolUnit unit;
        std::uint64_t left = 0;
        const PoolResult result = m_pool->Reserve(m_lot, port, unit, &left);
        if (!result.Ok()) {
            r.outcome = result.code == PoolCode::UsedUp ? ReserveOutcome::UsedUp : ReserveOutcome::Failed;
            r.message = result.message;
            return r;
        }
        r.outcome = ReserveOutcome::Reserved;
        r.unit.nUnit = std::int64_t(unit.index);
        r.unit.strMac = unit.mac;
        r.unit.strIdString = unit.idString;
        r.unit.strIdNumber = unit.idNumber;
        const std::string index = std::to_string(unit.index), count = std::to_string(left);
        r.message = tv::FormatRuntime(Txt(strPoolReserved), index.c_str(), m_lot.c_str(), unit.mac.c_str(),
                                      unit.Id().c_str(), count.c_str());
        return r;
    }

    std::string Commit(const tagIdentity& unit, const tagCommitInfo& info) override {
        BurntInfo burnt;
        burnt.port = info.strPort;
        burnt.id = info.strId;
        burnt.items = info.strItems;
        burnt.record = info.strRecord;
        const PoolResult result = m_pool->Commit(Unit(unit), burnt);
        return result.Ok() ? std::string() : result.message;
    }

    void GiveBack(const tagIdentity& unit) override { m_pool->GiveBack(Unit(unit)); }

    void MarkUncertain(const tagIdentity& unit) override {
        m_pool->MarkUncertain(Unit(unit), "a job failed or was stopped after it erased or wrote the flash");
    }

private:
    bool Open(std::string& why) {
        if (m_pool)
            return true;
        PoolResult result;
        m_pool = OpenIdentityPool(m_url, m_dir, false, result);
        if (!m_pool)
            why = result.message;
        return m_pool != nullptr;
    }

    PoolUnit Unit(const tagIdentity& unit) const {
        PoolUnit u;
        u.lot = m_lot;
        u.index = std::uint64_t(unit.nUnit);
        u.mac = unit.strMac;
        u.idString = unit.strIdString;
        u.idNumber = unit.strIdNumber;
        return u;
    }

    std::string m_url, m_dir, m_lot;
    std::unique_ptr<IIdentityPool> m_pool;
};

} // namespace

std::unique_ptr<IIdentitySource> MakePoolSource(const std::string& url, const std::string& programDir,
                                                const std::string& lot) {
    return std::make_unique<CPoolSource>(url, programDir, lot);
}

CLotSource::CLotSource(const std::string& url, const std::string& programDir, const std::string& lot)
    : m_inner(MakePoolSource(url.empty() ? std::string(kDefaultPoolUrl) : url, programDir, lot)), m_lot(lot) {
}

tagReservation CLotSource::Reserve(const std::string& port, CStopFlag& stop) {
    return m_inner->Reserve(port, stop);
}

std::string CLotSource::Commit(const tagIdentity& unit, const tagCommitInfo& info) {
    return m_inner->Commit(unit, info);
}

void CLotSource::GiveBack(const tagIdentity& unit) {
    m_inner->GiveBack(unit);
}

void CLotSource::MarkUncertain(const tagIdentity& unit) {
    m_inner->MarkUncertain(unit);
    m_notices.push_back(tv::FormatRuntime(Txt(strPoolKeptUncertain), unit.strMac.c_str(),
                                          (unit.strIdString + unit.strIdNumber).c_str(), m_lot.c_str()));
}

std::vector<std::string> CLotSource::TakeNotices() {
    return std::exchange(m_notices, {});
}
