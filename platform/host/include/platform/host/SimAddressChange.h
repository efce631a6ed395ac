// Test controls of the host's simulated address-change notification.
#pragma once
#include <cstdint>

namespace platform::host {

// Fires every armed request, as the system does on an IPv4 address change.
void SignalAddressChange();
// From now on arms fail with `error` (0: they succeed again).
void SetAddressChangeArmFailure(uint32_t error);
// Requests armed and cancelled since the last reset.
int AddressChangeArms();
int AddressChangeCancels();
void ResetAddressChange();

}  // namespace platform::host
