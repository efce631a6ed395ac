// The interface table on the host: simulated rows that tests set (see SimInterfaces.h).
#include <mutex>

#include "platform/Network.h"
#include "platform/Types.h"
#include "platform/host/SimInterfaces.h"

namespace platform {
namespace {

std::vector<InterfaceRow> DefaultRows() {
    return {InterfaceRow{"Software Loopback Interface 1", 0, 0}};
}

struct InterfaceSim {
    std::mutex m;
    std::vector<InterfaceRow> rows = DefaultRows();
    uint32_t sizeQueryResult = kErrorInsufficientBuffer;
    bool readOk = true;
    bool allocationFails = false;
};
InterfaceSim& sim() {
    static InterfaceSim* s = new InterfaceSim;  // never destroyed: detached threads may still read it
    return *s;
}

}  // namespace

InterfaceTable ReadInterfaceTable() {
    InterfaceSim& s = sim();
    std::lock_guard l(s.m);
    InterfaceTable table;
    table.sizeQueryResult = s.sizeQueryResult;
    if (table.sizeQueryResult != kErrorInsufficientBuffer) return table;
    table.allocationFailed = s.allocationFails;
    if (table.allocationFailed) return table;
    table.readOk = s.readOk;
    if (table.readOk) table.rows = s.rows;
    return table;
}

namespace host {

void SetSimulatedInterfaces(std::vector<InterfaceRow> rows) {
    InterfaceSim& s = sim();
    std::lock_guard l(s.m);
    s.rows = std::move(rows);
}

void SetSimulatedInterfaceTableResult(uint32_t sizeQueryResult, bool readOk, bool allocationFails) {
    InterfaceSim& s = sim();
    std::lock_guard l(s.m);
    s.sizeQueryResult = sizeQueryResult;
    s.readOk = readOk;
    s.allocationFails = allocationFails;
}

void ResetSimulatedInterfaces() {
    InterfaceSim& s = sim();
    std::lock_guard l(s.m);
    s.rows = DefaultRows();
    s.sizeQueryResult = kErrorInsufficientBuffer;
    s.readOk = true;
    s.allocationFails = false;
}

}  // namespace host
}  // namespace platform
