// The simulated routing table, adapters and WMI answers (see SimulatedNetwork.h).
#include "logic/SimulatedNetwork.h"

namespace corvane {

CSimulatedNetwork::Key CSimulatedNetwork::KeyOf(const RouteRow& row) {
    return {row.destination, row.mask, row.nextHop, row.interfaceIndex};
}

RouteTable CSimulatedNetwork::ReadRouteTable() {
    std::lock_guard<std::mutex> guard(lock_);
    RouteTable table;
    table.error = readError_;
    table.allocationFailed = readAllocation_;
    if (readError_ != 0 || readAllocation_) return table;
    table.rows.reserve(rows_.size());
    for (const auto& [sequence, row] : rows_) table.rows.push_back(row);
    return table;
}

uint32_t CSimulatedNetwork::CreateRoute(const RouteRow& row) {
    std::lock_guard<std::mutex> guard(lock_);
    ++changes_;
    if (const auto it = createFailures_.find(row.destination); it != createFailures_.end()) return it->second;
    std::set<uint64_t>& same = index_[KeyOf(row)];
    if (!same.empty()) return kErrorObjectAlreadyExists;
    rows_.emplace(next_, row);
    same.insert(next_++);
    return 0;
}

uint32_t CSimulatedNetwork::DeleteRoute(const RouteRow& row) {
    std::lock_guard<std::mutex> guard(lock_);
    ++changes_;
    if (const auto it = deleteFailures_.find(row.destination); it != deleteFailures_.end()) return it->second;
    const auto found = index_.find(KeyOf(row));
    if (found == index_.end() || found->second.empty()) return kErrorNotFound;
    rows_.erase(*found->second.begin());
    found->second.erase(found->second.begin());
    if (found->second.empty()) index_.erase(found);
    return 0;
}

AdapterList CSimulatedNetwork::ReadAdapters() {
    std::lock_guard<std::mutex> guard(lock_);
    AdapterList list;
    list.error = adapterError_;
    list.allocationFailed = adapterAllocation_;
    if (adapterError_ == 0 && !adapterAllocation_) list.adapters = adapters_;
    return list;
}

PhysicalInterfaces CSimulatedNetwork::ReadPhysicalInterfaces() {
    std::lock_guard<std::mutex> guard(lock_);
    return physical_;
}

void CSimulatedNetwork::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    rows_.clear();
    index_.clear();
    adapters_.clear();
    physical_ = {WmiStep::kNoInterface, 0, {}};
    readError_ = adapterError_ = 0;
    readAllocation_ = adapterAllocation_ = false;
    createFailures_.clear();
    deleteFailures_.clear();
    changes_ = 0;
}

void CSimulatedNetwork::SetAdapters(std::vector<AdapterEntry> adapters) {
    std::lock_guard<std::mutex> guard(lock_);
    adapters_ = std::move(adapters);
}

void CSimulatedNetwork::SetPhysicalInterfaces(PhysicalInterfaces answer) {
    std::lock_guard<std::mutex> guard(lock_);
    physical_ = std::move(answer);
}

void CSimulatedNetwork::AppendRow(const RouteRow& row) {
    std::lock_guard<std::mutex> guard(lock_);
    rows_.emplace(next_, row);
    index_[KeyOf(row)].insert(next_++);
}

std::vector<RouteRow> CSimulatedNetwork::Rows() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<RouteRow> rows;
    rows.reserve(rows_.size());
    for (const auto& [sequence, row] : rows_) rows.push_back(row);
    return rows;
}

void CSimulatedNetwork::SetReadFailure(uint32_t error, bool allocation) {
    std::lock_guard<std::mutex> guard(lock_);
    readError_ = error;
    readAllocation_ = allocation;
}

void CSimulatedNetwork::SetAdapterFailure(uint32_t error, bool allocation) {
    std::lock_guard<std::mutex> guard(lock_);
    adapterError_ = error;
    adapterAllocation_ = allocation;
}

void CSimulatedNetwork::SetCreateFailure(uint32_t destination, uint32_t error) {
    std::lock_guard<std::mutex> guard(lock_);
    if (error == 0)
        createFailures_.erase(destination);
    else
        createFailures_[destination] = error;
}

void CSimulatedNetwork::SetDeleteFailure(uint32_t destination, uint32_t error) {
    std::lock_guard<std::mutex> guard(lock_);
    if (error == 0)
        deleteFailures_.erase(destination);
    else
        deleteFailures_[destination] = error;
}

int CSimulatedNetwork::Changes() {
    std::lock_guard<std::mutex> guard(lock_);
    return changes_;
}

}  // namespace corvane
