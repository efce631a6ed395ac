// Simulated process snapshot on the host: a fixed, test-controlled list of image names, so process
// rules behave the same on every machine.
#include <mutex>

#include "platform/Processes.h"
#include "platform/host/SimProcesses.h"

namespace platform {
namespace {

struct SimState {
    std::mutex lock;
    std::vector<std::u16string> names{u"[System Process]", u"System",      u"smss.exe",
                                      u"csrss.exe",        u"wininit.exe", u"services.exe",
                                      u"lsass.exe",        u"svchost.exe", u"explorer.exe"};
    bool fail = false;
};

SimState& State() {
    static SimState state;
    return state;
}

}  // namespace

bool SnapshotProcessNames(std::vector<std::u16string>& names) {
    SimState& state = State();
    std::lock_guard guard(state.lock);
    if (state.fail) return false;
    names = state.names;
    return true;
}

namespace host {

void SetSimulatedProcesses(std::vector<std::u16string> names) {
    SimState& state = State();
    std::lock_guard guard(state.lock);
    state.names = std::move(names);
}

void SetSimulatedSnapshotFailure(bool fail) {
    SimState& state = State();
    std::lock_guard guard(state.lock);
    state.fail = fail;
}

}  // namespace host
}  // namespace platform
