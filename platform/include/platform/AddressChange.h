// The system's notification of IPv4 address changes, watched by the link monitors: one request armed at a
// time, re-armed by its owner after it fired, cancelled when the owner ends.
#pragma once
#include <cstdint>
#include <memory>

namespace platform {

class CAddressChangeWatch {
public:
    CAddressChangeWatch();   // arms the first request
    ~CAddressChangeWatch();  // cancels a pending request
    CAddressChangeWatch(const CAddressChangeWatch&) = delete;
    CAddressChangeWatch& operator=(const CAddressChangeWatch&) = delete;

    bool Armed() const;
    // The error of the last arm that failed (0 while armed).
    uint32_t ArmError() const;
    // True when the armed request fired within `ms`; the watch is then disarmed until Arm. An unarmed
    // watch answers false at once.
    bool Wait(uint32_t ms);
    // Arms a new request unless one is pending.
    void Arm();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace platform
