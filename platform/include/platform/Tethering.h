// What the hotspot watcher asks the Windows networking runtime: the machine's internet connection
// profile, its connectivity level and the operational state of that profile's tethering manager. On the
// host a simulated answer that tests steer (platform/host/SimTethering.h).
#pragma once

namespace platform {

enum class TetheringStage {
    kNoProfile,   // no internet connection profile
    kNoInternet,  // the profile's connectivity level is neither constrained nor full internet access
    kNoManager,   // no tethering manager for the profile
    kRead,        // `on` holds the manager's operational state
};

struct TetheringProbe {
    TetheringStage stage = TetheringStage::kNoProfile;
    bool on = false;  // the mobile hotspot is on (operational state 1)
};

// One reading. The calling thread has joined a COM apartment.
TetheringProbe ProbeTethering();

}  // namespace platform
