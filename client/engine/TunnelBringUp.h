// The L2TP/IPsec bring-up of the VCPE and DCPE modes and the tunnel's side of the tear-down. The bring-ups
// are called by the connect worker with the connect answer as it was read once, when the mode is chosen;
// each decides the outcome in the context (the worker posts it). Their steps, which the tear-down shares:
// the dial-up entry "Hal-Vane" in the client's own phonebook, the dial with the main window's time-out
// timer, and the hang-up of a tunnel left over from an earlier connection.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ResultCodes.h"
#include "engine/ConnectAnswer.h"
#include "engine/ConnectContext.h"

namespace velora {

inline constexpr char16_t kTunnelEntryName[] = u"Hal-Vane";
inline constexpr char16_t kTunnelPhonebookName[] = u"ras.pbk";

// The main window's dial time-out timer (TIMER_DIAL_TIMEOUT): when it fires first, the window marks
// EngineState::dialTimedOut and posts kDialTimedOut itself.
constexpr uintptr_t kDialTimeoutTimerId = 1003;
constexpr uint32_t kDialTimeoutMs = 120000;
constexpr int32_t kDialTimedOut = 999;
// The bound on the connect worker's own wait for the dial: beyond the window's time-out, so that the window
// reports it first; a dial still running then is hung up.
constexpr uint32_t kDialWaitMs = kDialTimeoutMs + 30000;

// Codes of the bring-up (the `result` of the context and the posted UM_CONNECT_RESULT).
constexpr int32_t kTunnelInvalidAnswer = kCodeAnswerIncomplete;
constexpr int32_t kTunnelNoActiveGateway = kCodeNoActiveGateway;
constexpr int32_t kTunnelSpecialCaseNotice = kCodeTunnelNotice;
constexpr int32_t kTunnelRoutesRefused = kCodeHelperStoreFailed;
constexpr int32_t kTunnelRoutesFailed = kCodeRoutesFailed;  // the service answered E_FAIL

// How long a hang-up waits for the system to close the connection's port.
constexpr uint32_t kHangUpWaitMs = 3000;

void StartVcpeTunnel(const ConnectAnswer& answer, ConnectContext& context);
void StartDcpeTunnel(const ConnectAnswer& answer, ConnectContext& context);

// The phonebook file: the client's data folder (the folder of its log) and "ras.pbk".
std::u16string TunnelPhonebookPath();

// Writes the entry for `gateway` and stores `psk` as its pre-shared key (the only credential kept with the
// entry). A failure is logged and left in `context`, not reported: the dial follows all the same.
void WriteTunnelEntry(std::u16string_view gateway, std::u16string_view ipsecName,
                      std::u16string_view ipsecPassword, std::u16string_view psk, ConnectContext& context);
// Dials the entry with the user name and password, keeps the connection in EngineState::rasConnection
// from the dial's start (so that a disconnect command or the exit can hang it up while it runs), waits for
// the dial at most kDialWaitMs or until stopConnectEvent, installs the filter list's routes when the rule
// says so, and decides the outcome (0, the dial's error, 30114 or 30115; a stop, and a failure after the
// window reported the time-out, are not posted).
void DialTunnel(std::u16string_view ipsecName, std::u16string_view ipsecPassword, ConnectContext& context);
// The first active connection named "Hal-Vane" is hung up when it is connected (message 585).
void HangUpLeftoverTunnel();

// Removes the routes of the traffic filter list when they were installed.
void RemoveTunnelRoutes();
// Hangs up the dial-up connection in EngineState::rasConnection, if any, and clears it.
void HangUpTunnel();

}  // namespace velora
