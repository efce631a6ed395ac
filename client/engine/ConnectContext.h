// The record one connect attempt runs on: the caller owns it, the connect worker reads the previous mode
// through `mode` and writes the chosen mode, the failure text and the result code.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "core/ResultCodes.h"

namespace velora {

// Connection modes.
enum ConnectionMode : uint32_t { NATIVE = 0, VCPE = 1, DCPE = 2, MOBILE_DETECT = 3 };

// `result` of an attempt that a disconnect command stopped (nothing is posted for it).
inline constexpr int32_t kConnectStopped = kCodeBusyOrStopped;

struct ConnectContext {
    uint32_t* mode = nullptr;  // the caller's connection mode (the API's is read by other threads too)
    std::u16string message;    // failure text for the caller, empty on success
    int32_t result = 0;        // 0 connected, 329 stopped by a disconnect command, else a connect code
};

// The connection mode is read by threads that do not hold the writer's lock (the traffic counters, the
// link monitor): every access goes through these, so a reader never sees a torn or stale value.
inline uint32_t LoadMode(const uint32_t* mode) {
    return std::atomic_ref<uint32_t>(*const_cast<uint32_t*>(mode)).load(std::memory_order_acquire);
}
inline void StoreMode(uint32_t* mode, uint32_t value) {
    std::atomic_ref<uint32_t>(*mode).store(value, std::memory_order_release);
}

}  // namespace velora
