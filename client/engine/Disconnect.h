// The disconnect worker, the notice to the orchestrator, and the pieces of the notice that are pure text
// (its URL and body).
#pragma once
#include <string>
#include <string_view>

#include "engine/DisconnectJob.h"

namespace velora {

// Tears the connection down as `job` says.
void DisconnectWorker(DisconnectJob& job);

// The setting "AuthUrl" cut before its last "/" with "/disconnect" appended; unchanged without a "/".
std::u16string DisconnectNoticeUrl(std::u16string_view authUrl);

// {"customerId":<id>, "sn":"<serial>"}. The ID goes in as a JSON number, so only a stored ID of 1 to 10
// digits is taken: false (body empty) for anything else, which would otherwise write its text into the
// JSON as it stands.
bool DisconnectNoticeBody(std::u16string_view customerId, std::u16string_view serial, std::u16string& body);

// Tells the orchestrator that this client has gone; a failure is only logged. Asks for a background
// diagnosis run when the answer names "orch-logfile" or the last diagnosis asked for one.
void NotifyOrchestratorDisconnect();

}  // namespace velora
