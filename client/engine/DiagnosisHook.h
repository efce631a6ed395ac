// How the connection engine asks for a background diagnosis run (a connect after a failed upload, an
// "orch-logfile" header in a heartbeat or a disconnect answer) without depending on the diagnosis code,
// which sits above it: the program registers the starter at start; without one a request is dropped.
#pragma once
#include <cstdint>
#include <functional>

namespace velora {

struct DiagnosisRun {
    int32_t collect = 0;            // 1: collect the engine's and the system's logs too
    // Tell the application's main window (if any) how it went. The engine's own runs (a connect after a
    // failed upload, the heartbeat's and the disconnect notice's "orch-logfile") are background runs that
    // nobody asked to see the result of: they leave it false.
    bool notifyMainWindow = false;
};

using DiagnosisStarter = std::function<void(const DiagnosisRun&)>;

// Replaces the starter (an empty one drops every later request).
void SetDiagnosisStarter(DiagnosisStarter starter);
// Starts a run in the background through the registered starter; returns at once.
void RequestDiagnosis(const DiagnosisRun& run);

}  // namespace velora
