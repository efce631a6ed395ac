// Test controls of the host's simulated service manager. At start the simulated Windows has the
// services the client checks running ("BFE", "brxnet", "Corvane"); any other name is not installed.
#pragma once
#include <cstdint>
#include <string_view>

#include "platform/Services.h"

namespace platform::host {

// The service exists with this manager state (4 running, 1 stopped, ...).
void SetSimulatedService(std::u16string_view name, uint32_t currentState);
// The service is not installed (opening it fails with 1060).
void RemoveSimulatedService(std::u16string_view name);
// Reading `name` fails at `step` with `error` until reset (kOpenManager fails every name).
void FailSimulatedServiceQuery(std::u16string_view name, ServiceQueryStep step, uint32_t error);
// Back to the start: the three services running, no failures.
void ResetSimulatedServices();

}  // namespace platform::host
