// Test controls of the host's simulated interface table.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/Network.h"

namespace platform::host {

// The rows ReadInterfaceTable reports from now on (default: one loopback row).
void SetSimulatedInterfaces(std::vector<InterfaceRow> rows);

// What the size query answers (122 when a table exists), whether the buffer for the table cannot be had,
// and whether the second read succeeds.
void SetSimulatedInterfaceTableResult(uint32_t sizeQueryResult, bool readOk, bool allocationFails = false);

// Back to the default table and results.
void ResetSimulatedInterfaces();

}  // namespace platform::host
