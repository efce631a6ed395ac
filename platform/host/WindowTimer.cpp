// Window timers on the host: recorded per window; no tick ever comes by itself (the test plays it).
#include "platform/WindowTimer.h"

#include <map>
#include <mutex>
#include <utility>

#include "platform/host/SimWindowTimer.h"

namespace platform {
namespace {

struct SimTimers {
    std::mutex lock;
    std::map<std::pair<WindowHandle, uintptr_t>, uint32_t> running;
    std::vector<host::SimTimerCall> calls;
};

SimTimers& Sim() {
    static SimTimers* sim = new SimTimers();
    return *sim;
}

}  // namespace

bool SetWindowTimer(WindowHandle window, uintptr_t id, uint32_t ms) {
    if (!window) return false;
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    sim.running[{window, id}] = ms;
    sim.calls.push_back({window, id, ms, true});
    return true;
}

bool KillWindowTimer(WindowHandle window, uintptr_t id) {
    if (!window) return false;
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    sim.calls.push_back({window, id, 0, false});
    return sim.running.erase({window, id}) != 0;
}

namespace host {

bool SimTimerRunning(WindowHandle window, uintptr_t id) {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    return sim.running.count({window, id}) != 0;
}

std::vector<SimTimerCall> SimTimerCalls() {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    return sim.calls;
}

void ClearSimTimerCalls() {
    auto& sim = Sim();
    std::lock_guard<std::mutex> guard(sim.lock);
    sim.calls.clear();
}

}  // namespace host
}  // namespace platform
