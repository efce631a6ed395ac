// Test control of the host's simulated process list (what SnapshotProcessNames reports).
#pragma once
#include <string>
#include <vector>

namespace platform::host {

// Replaces the whole simulated list. As on Windows, the first entry stands for the system's idle
// entry, so a list meant to show running programs starts with a placeholder such as "[System Process]".
// The default list is that idle entry followed by a few fixed system process names.
void SetSimulatedProcesses(std::vector<std::u16string> names);

// While set, taking a snapshot fails (as when the system cannot create one).
void SetSimulatedSnapshotFailure(bool fail);

}  // namespace platform::host
