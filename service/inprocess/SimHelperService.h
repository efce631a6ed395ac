// Host-only controls of the in-process helper service binding: make it unreachable, or have a method answer a
// chosen result code (the service's real answers for routes and engine states come from Windows).
#pragma once
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "logic/CallerIdentity.h"
#include "logic/SimulatedNetwork.h"

namespace corvane::inprocess {

// While unreachable every call fails at the instance creation with 0x80040154 (class not registered).
void SetHelperServiceReachable(bool reachable);
// The next calls of `method` (its automation name) answer `code` without running the logic; outputs are
// untouched. Cleared by ClearHelperAnswers.
void SetHelperAnswer(std::u16string_view method, int32_t code);
void ClearHelperAnswers();
// The folder that stands for the service's own folder and registry parameters: "cpeagent.conf",
// "filterConfig.conf", "service.log" and "Parameters/Token", "Parameters/Sn" (the value's data). By
// default "Corvane" under the user's data folder.
void SetHelperServiceFolder(const std::filesystem::path& folder);
std::filesystem::path HelperServiceFolder();
// The caller every following call comes from, as the Windows service reads it from the caller's token
// (session, user, administrator). By default the unknown caller, as under Wine.
void SetHelperCaller(const CallerIdentity& caller);
// How many calls reached a method (also counting those answered by SetHelperAnswer).
int HelperCallCount(std::u16string_view method);
// The routing table, adapters and WMI answers the route methods see: one for the process, empty at start
// (no default route, no tunnel interface), as a test or the demo sets it up.
CSimulatedNetwork& SimulatedNetwork();

}  // namespace corvane::inprocess
