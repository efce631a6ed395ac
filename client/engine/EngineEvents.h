// The five events of the connection engine, created by the main window at start and by the exported
// API's Init, with the same routine.
#pragma once

namespace velora {

inline constexpr char16_t kConnectionEventName[] = u"Global\\ORCH_CONNECTION_EVENT";
inline constexpr char16_t kDisconnectionEventName[] = u"Global\\ORCH_DISCONNECTION_EVENT";

// Creates each event that does not exist yet, in a fixed order; every creation is attempted and each
// failure is logged (message 260) at error level. True when all five exist afterwards.
bool CreateEngineEvents();

}  // namespace velora
