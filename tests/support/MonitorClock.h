// The link monitors' waits in the host tests: a pause function that moves a test clock instead of waiting,
// counts the pauses, lets the test change the network at the end of a given pause and asks the monitor to
// stop after a number of them; and the address of the monitor's interface in the simulated device.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>

#include "engine/EngineState.h"
#include "platform/host/SimDevice.h"

namespace velora::test {

// A test file keeps one of these and hands the system a plain function that calls its Pause (the pause
// function is a plain function pointer).
class CMonitorClock {
public:
    // `start` should lie ahead of any heartbeat time the process has recorded, so the first pass sends one.
    explicit CMonitorClock(int64_t start) : now(start) {}

    void Pause(uint32_t ms) {
        now += ms;
        const int n = ++pauses;
        if (onPause) onPause(n);
        if (stopAfterPauses > 0 && n >= stopAfterPauses) GetEngineState().stopMonitorEvent->Set();
    }

    std::atomic<int64_t> now;
    std::atomic<int> pauses{0};
    // Pauses after which the monitor is asked to stop (0: never).
    std::atomic<int> stopAfterPauses{0};
    // What happens to the network at the end of pause n (from 1).
    std::function<void(int)> onPause;
};

// The interface the monitors watch in these tests.
inline constexpr uint32_t kInterface = 7;

// An IPv4 address as the system keeps it: first octet in the low byte.
inline uint32_t Address(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return a | (b << 8) | (c << 16) | (d << 24);
}

// The monitored interface's address from now on (0: none).
inline void SetAddress(uint32_t address) {
    platform::host::SimulatedDevice device = platform::host::SimulatedDeviceFacts();
    device.addresses.rows.clear();
    if (address != 0) device.addresses.rows.push_back({address, Address(255, 255, 255, 0), kInterface});
    platform::host::SetSimulatedDevice(device);
}

}  // namespace velora::test
