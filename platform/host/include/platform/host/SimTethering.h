// Test controls of the host's simulated networking runtime: what the next probes of the hotspot read.
#pragma once
#include <cstdint>

#include "platform/Tethering.h"

namespace platform::host {

// Every later probe answers `probe` (at start: no connection profile).
void SetSimTethering(TetheringProbe probe);
// Probes made so far.
uint32_t SimTetheringProbeCount();

}  // namespace platform::host
