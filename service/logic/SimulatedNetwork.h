// A routing table, adapters and WMI answers held in memory: the network of the host build's Corvane and
// of the route tests on both builds (Wine's route creation and deletion change nothing). Rows keep their
// insertion order; creation refuses a row whose destination, mask, next hop and interface are in the
// table already (5010) and deletion one that is not (1168), as the system does. Failures can be set per
// destination. Safe to use from several threads.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <tuple>
#include <vector>

#include "logic/Network.h"

namespace corvane {

class CSimulatedNetwork : public CNetwork {
public:
    RouteTable ReadRouteTable() override;
    uint32_t CreateRoute(const RouteRow& row) override;
    uint32_t DeleteRoute(const RouteRow& row) override;
    AdapterList ReadAdapters() override;
    PhysicalInterfaces ReadPhysicalInterfaces() override;

    // Set-up and inspection.
    void Clear();
    void SetAdapters(std::vector<AdapterEntry> adapters);
    void SetPhysicalInterfaces(PhysicalInterfaces answer);
    // Appends a row as the system would list it (no duplicate check).
    void AppendRow(const RouteRow& row);
    std::vector<RouteRow> Rows();
    // The next reads fail with this error (0: they succeed); `allocation` makes them fail for memory.
    void SetReadFailure(uint32_t error, bool allocation = false);
    void SetAdapterFailure(uint32_t error, bool allocation = false);
    // Creation or deletion of a row with this destination fails with the error (0 clears it).
    void SetCreateFailure(uint32_t destination, uint32_t error);
    void SetDeleteFailure(uint32_t destination, uint32_t error);
    // How many creations and deletions reached the table (failed ones included).
    int Changes();

private:
    using Key = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;  // destination, mask, next hop, interface
    static Key KeyOf(const RouteRow& row);

    std::mutex lock_;
    uint64_t next_ = 0;
    std::map<uint64_t, RouteRow> rows_;        // by insertion sequence
    std::map<Key, std::set<uint64_t>> index_;  // sequences of the rows with that key
    std::vector<AdapterEntry> adapters_;
    PhysicalInterfaces physical_{WmiStep::kNoInterface, 0, {}};
    uint32_t readError_ = 0;
    bool readAllocation_ = false;
    uint32_t adapterError_ = 0;
    bool adapterAllocation_ = false;
    std::map<uint32_t, uint32_t> createFailures_;
    std::map<uint32_t, uint32_t> deleteFailures_;
    int changes_ = 0;
};

}  // namespace corvane
