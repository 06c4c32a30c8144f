// A lot in the identity pool as a job's identity source: one connection per port, opened on first
// use so that it belongs to the thread the port's jobs run on.
#pragma once

#include "IdentitySource.h"

#include <memory>
#include <string>
#include <vector>

// url as the pool takes it ("sqlite:PATH" relative to programDir, or a PostgreSQL URI); empty: the
// default pool in the program folder.
std::unique_ptr<IIdentitySource> MakePoolSource(const std::string& url, const std::string& programDir,
                                                const std::string& lot);

// One port's run from a lot of the pool (url empty: the default pool), keeping for the operator a
// message for every unit the run left uncertain (a failed board may hold it). Used and destroyed
// on the port's runner thread, like the source it wraps.
class CLotSource : public IIdentitySource {
public:
    CLotSource(const std::string& url, const std::string& programDir, const std::string& lot);

    tagReservation Reserve(const std::string& port, CStopFlag& stop) override;
    std::string Commit(const tagIdentity& unit, const tagCommitInfo& info) override;
    void GiveBack(const tagIdentity& unit) override;
    void MarkUncertain(const tagIdentity& unit) override;

    // The messages so far, taken.
    std::vector<std::string> TakeNotices();

private:
    std::unique_ptr<IIdentitySource> m_inner;
    std::string m_lot;
    std::vector<std::string> m_notices;
};
