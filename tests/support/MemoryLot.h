// A lot kept in memory for the job's and the station's tests: every unit's state and what was
// recorded for it, with the store's rules (lowest free unit first, never handed out twice).
// Thread-safe; Connection() gives a port its own handle on the same lot, as a store would.
#pragma once

#include "IdentitySource.h"
#include "StrUtil.h"
#include "TextTables.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CMemoryLot : public IIdentitySource {
public:
    enum class State { Free, Reserved, Burnt, Uncertain };
    struct Unit {
        State state = State::Free;
        std::string port, record;
        int reservations = 0;
    };

    // size units; unit k has MAC macFirst + k and ID number idFirst + k (six digits).
    CMemoryLot(int size, std::uint64_t macFirst = 0x001a2b3c0000ull, std::string idString = "SN",
               int idFirst = 1)
        : m_units(size_t(size)), m_macFirst(macFirst), m_idString(std::move(idString)), m_idFirst(idFirst) {}

    tagReservation Reserve(const std::string&, CStopFlag&) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (size_t k = 0; k < m_units.size(); ++k)
            if (m_units[k].state == State::Free) {
                m_units[k].state = State::Reserved;
                ++m_units[k].reservations;
                return {ReserveOutcome::Reserved, UnitOf(k), {}};
            }
        return {ReserveOutcome::UsedUp, {}, tv::FormatRuntime(Txt(strPoolUsedUp), "memory")};
    }
    std::string Commit(const tagIdentity& unit, const tagCommitInfo& info) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        Unit& u = m_units[size_t(unit.nUnit)];
        if (u.state != State::Reserved)
            return "the unit is not reserved";
        u.state = State::Burnt;
        u.port = info.strPort;
        u.record = info.strRecord;
        return std::string();
    }
    void GiveBack(const tagIdentity& unit) override { Settle(unit, State::Free); }
    void MarkUncertain(const tagIdentity& unit) override { Settle(unit, State::Uncertain); }

    std::vector<Unit> Units() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_units;
    }
    int Count(State state) {
        std::lock_guard<std::mutex> lock(m_mutex);
        int n = 0;
        for (const Unit& u : m_units)
            n += u.state == state;
        return n;
    }
    tagIdentity UnitOf(size_t k) const {
        const std::uint64_t mac = m_macFirst + k;
        tagIdentity id;
        id.nUnit = std::int64_t(k);
        id.strMac = tv::Format("%02x:%02x:%02x:%02x:%02x:%02x", unsigned(mac >> 40) & 0xff,
                               unsigned(mac >> 32) & 0xff, unsigned(mac >> 24) & 0xff,
                               unsigned(mac >> 16) & 0xff, unsigned(mac >> 8) & 0xff, unsigned(mac) & 0xff);
        id.strIdString = m_idString;
        id.strIdNumber = tv::Format("%06d", m_idFirst + int(k));
        return id;
    }

    // A port's own source on this lot.
    std::unique_ptr<IIdentitySource> Connection() {
        struct Forward : IIdentitySource {
            explicit Forward(CMemoryLot& lot) : m_lot(lot) {}
            tagReservation Reserve(const std::string& port, CStopFlag& stop) override {
                return m_lot.Reserve(port, stop);
            }
            std::string Commit(const tagIdentity& unit, const tagCommitInfo& info) override {
                return m_lot.Commit(unit, info);
            }
            void GiveBack(const tagIdentity& unit) override { m_lot.GiveBack(unit); }
            void MarkUncertain(const tagIdentity& unit) override { m_lot.MarkUncertain(unit); }
            CMemoryLot& m_lot;
        };
        return std::make_unique<Forward>(*this);
    }

private:
    void Settle(const tagIdentity& unit, State to) {
        std::lock_guard<std::mutex> lock(m_mutex);
        Unit& u = m_units[size_t(unit.nUnit)];
        // Only a reservation settles; a second settle of the same unit would be a fault of the job.
        if (u.state == State::Reserved)
            u.state = to;
        else
            ++m_badSettles;
    }

public:
    int BadSettles() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_badSettles;
    }

private:
    std::mutex m_mutex;
    std::vector<Unit> m_units;
    std::uint64_t m_macFirst;
    std::string m_idString;
    int m_idFirst;
    int m_badSettles = 0;
};
