// The state of an installed system service, as the service manager reports it: the connection engine
// checks that the packet driver, the firewall base and the helper service run before it starts the data path.
#pragma once
#include <cstdint>
#include <string_view>

namespace platform {

enum class ServiceRunState {
    kRunning,     // the manager reports the running state (4)
    kNotRunning,  // the manager reports any other state
    kUnreadable,  // the state could not be read; `failedStep` and `error` say why
};

// Where reading the state failed.
enum class ServiceQueryStep {
    kNone,
    kOpenManager,  // the service manager could not be opened (connect right)
    kOpenService,  // the service could not be opened (query-status right); 1060 when not installed
    kQueryStatus,  // its process status could not be queried
};

struct ServiceState {
    ServiceRunState state = ServiceRunState::kUnreadable;
    ServiceQueryStep failedStep = ServiceQueryStep::kNone;
    uint32_t error = 0;         // the system error of the failed step, 0 otherwise
    uint32_t currentState = 0;  // the manager's state number when read (1 stopped ... 4 running ...)
};

inline constexpr uint32_t kServiceStateRunning = 4;
inline constexpr uint32_t kErrorServiceDoesNotExist = 1060;

// Reads the state of the service with this (key) name.
ServiceState QueryServiceState(std::u16string_view name);

}  // namespace platform
