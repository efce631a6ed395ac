// Test controls of the host's simulated ICMP echo: loopback addresses (127.0.0.0/8) answer at once,
// every other address times out; no packet is ever sent.
#pragma once
#include <cstdint>
#include <vector>

namespace platform::host {

// Addresses the echo was asked to reach since the last clear (first octet in the lowest byte).
std::vector<uint32_t> IcmpEchoTargets();
void ClearIcmpEchoTargets();
// Makes opening the ICMP handle fail with this system error (0: it works again).
void SetIcmpOpenError(uint32_t error);

}  // namespace platform::host
