// The hotspot reading on the host: a simulated answer that tests steer.
#include <atomic>
#include <mutex>

#include "platform/Tethering.h"
#include "platform/host/SimTethering.h"

namespace platform {
namespace {

std::mutex g_lock;
TetheringProbe g_probe;
std::atomic<uint32_t> g_probes{0};

}  // namespace

TetheringProbe ProbeTethering() {
    ++g_probes;
    std::lock_guard l(g_lock);
    return g_probe;
}

namespace host {

void SetSimTethering(TetheringProbe probe) {
    std::lock_guard l(g_lock);
    g_probe = probe;
}

uint32_t SimTetheringProbeCount() {
    return g_probes.load();
}

}  // namespace host
}  // namespace platform
