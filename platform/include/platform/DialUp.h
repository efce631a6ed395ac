// The operating system's dial-up layer, as the L2TP/IPsec tunnel uses it: an entry written to a phonebook
// file, the entry's pre-shared key stored apart from it, a dial whose connection handle is known as soon as
// it starts (so that a hang-up can cut it short) and a bounded wait for its end, the state of a connection,
// the hang-up, the list of active connections and the system's text for a dial-up error number. Windows:
// the remote-access API; host: a simulated dial-up service that tests steer (platform/host/SimDialUp.h).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Event;  // platform/Kernel.h

// A dial-up connection (HRASCONN on Windows); nullptr means none.
using DialUpHandle = void*;

// Values of the entry fields, with the system's numbers.
constexpr uint32_t kDialUpEntryTypeVpn = 2;                        // RASET_Vpn
constexpr uint32_t kDialUpProtocolIp = 0x4;                        // RASNP_Ip
constexpr uint32_t kDialUpEncryptionOptional = 3;                  // ET_Optional
constexpr uint32_t kDialUpVpnL2tpOnly = 3;                         // VS_L2tpOnly
constexpr uint32_t kDialUpRemoteDefaultGateway = 0x10;             // RASEO_RemoteDefaultGateway
constexpr uint32_t kDialUpRequireEncryptedPw = 0x400;              // RASEO_RequireEncryptedPw
constexpr uint32_t kDialUpUsePreSharedKey = 0x10;                  // RASEO2_UsePreSharedKey
constexpr uint32_t kDialUpIpv4ExplicitMetric = 0x10000;            // RASEO2_IPv4ExplicitMetric
constexpr uint32_t kDialUpDisableClassBasedStaticRoute = 0x80000;  // RASEO2_DisableClassBasedStaticRoute

// Connection state RASCS_Connected and the error numbers the callers tell apart.
constexpr uint32_t kDialUpStateConnected = 0x2000;
constexpr uint32_t kDialUpErrorInvalidHandle = 6;      // ERROR_INVALID_HANDLE: the connection has gone
constexpr uint32_t kDialUpErrorCannotFindEntry = 623;  // ERROR_CANNOT_FIND_PHONEBOOK_ENTRY
constexpr uint32_t kDialUpErrorUserDisconnection = 631;  // ERROR_USER_DISCONNECTION: hung up while dialling

// The fields of an entry this client sets; every other field of the system's entry is zero.
struct DialUpEntry {
    uint32_t type = 0;
    uint32_t networkProtocols = 0;
    uint32_t encryptionType = 0;
    std::u16string localPhoneNumber;
    std::u16string deviceType;
    uint32_t vpnStrategy = 0;
    uint32_t options = 0;
    uint32_t options2 = 0;
    uint32_t ipv4InterfaceMetric = 0;
    uint32_t networkOutageTime = 0;  // seconds
};

// Where writing an entry stopped: the buffer for the system's default entry could not be had, or the
// system refused the entry.
enum class DialUpEntryStep { Done, Allocate, Write };
struct DialUpEntryResult {
    DialUpEntryStep step = DialUpEntryStep::Done;
    uint32_t error = 0;
};

struct DialUpConnectionInfo {
    DialUpHandle handle = nullptr;
    std::u16string entryName;
};

// Writes `entry` under `name` into the phonebook file (created when missing).
DialUpEntryResult WriteDialUpEntry(std::u16string_view phonebook, std::u16string_view name,
                                   const DialUpEntry& entry);
// Stores the pre-shared key of the entry, and nothing else of its credentials. 0 or the system's error.
uint32_t SetDialUpPresharedKey(std::u16string_view phonebook, std::u16string_view name,
                               std::u16string_view key);
// Starts dialling the entry with its own phone number and returns at once: 0 with `handle` set to the
// connection being made, or the error with `handle` null (nothing is left open then). Until the dial has
// ended, HangUpDialUp on the handle ends it.
uint32_t BeginDialUpEntry(std::u16string_view phonebook, std::u16string_view name, std::u16string_view user,
                          std::u16string_view password, DialUpHandle& handle);

// How the wait for a dial ended.
enum class DialUpWaitEnd {
    Connected,  // the connection is up
    Failed,     // the dial failed with `error` (kDialUpErrorUserDisconnection: it was hung up)
    Stopped,    // the stop event came first; the dial goes on
    TimedOut,   // the bound ran out first; the dial goes on
};
struct DialUpWaitResult {
    DialUpWaitEnd end = DialUpWaitEnd::TimedOut;
    uint32_t error = 0;
};
// Waits, at most `waitMs`, for the end of the dial that BeginDialUpEntry started on `handle`, or until
// `stop` (may be null) is signalled. One wait per dial. Whatever the end but Connected, the caller hangs
// the handle up: a failed dial, too, holds the system's resources until then.
DialUpWaitResult WaitForDialUp(DialUpHandle handle, uint32_t waitMs, Event* stop);
// The state of a connection (kDialUpStateConnected when up). 0 or the error (6 once it has gone).
uint32_t GetDialUpState(DialUpHandle handle, uint32_t& state);
// Hangs up and waits, at most `waitMs`, until the system has let the connection go (its port closed).
// A dial still in progress on the handle ends with kDialUpErrorUserDisconnection, and its waiter wakes.
// 0 or the hang-up's error.
uint32_t HangUpDialUp(DialUpHandle handle, uint32_t waitMs);
// The active connections; `error` 0 or the system's error.
std::vector<DialUpConnectionInfo> ListDialUpConnections(uint32_t& error);
// The system's text for a dial-up error number; empty when it has none.
std::u16string DialUpErrorText(uint32_t error);

}  // namespace platform
