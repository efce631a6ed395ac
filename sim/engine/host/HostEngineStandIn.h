// The data-path engine's stand-in for the host build: when the in-process helper service starts
// "ferronwin.exe" in its simulated process table, a simulated engine takes the process's place. It reads
// the same files as the Windows stand-in from the working folder ("ferronwin.scenario": connectDelayMs,
// refuseToken, dropTunnelAfterMs, crashAfterMs, ignoreStop, tunnels, silentPipe; "cpeagent.conf"),
// announces the orchestrator's verdict through the two named events of the host's kernel simulation and
// serves the engine's control pipe through the host's simulated pipes until it is stopped or ended.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velora::sim {

// Hooks the stand-in into the simulated process table (corvane::SimulatedProcesses()).
void InstallHostEngineStandIn();
// Ends a running simulated engine (as if it ended by itself) and removes the hooks. Waits until its
// timeline has stopped.
void UninstallHostEngineStandIn();

// What the engines started so far logged ("start: ...", "orchestrator: connected ...", "pipe: stop", ...),
// oldest first, as the Windows stand-in writes them to "ferronwin.log".
std::vector<std::string> HostEngineLog();
void ClearHostEngineLog();
// Whether a simulated engine is running now.
bool HostEngineRunning();

}  // namespace velora::sim
