// The client's exported entry points without windows: initialise, sign in, connect, step, traffic
// counters, disconnect, shut down. They keep a small process-wide state machine under one recursive lock
// and hand the real work to the sign-in flow and the connection engine's workers, run synchronously on
// the caller's thread. Texts are UTF-16; message buffers are counted in UTF-16 units.
#pragma once
#include <cstdint>
#include <memory>

namespace velora {

class CEngineWorkers;

enum ConnectionStep : int32_t {
    kStepDisconnected = 0,
    kStepConnected = 1,
    kStepConnecting = 2,
    kStepDisconnecting = 3,
};

// 1 initialised (also when it already was); 0 when an engine event could not be created (call again).
// `workers` are the engine workers the API runs until the next initialisation (null: the built-in ones);
// an Init that finds the API initialised changes nothing.
int32_t ApiInit(const char16_t* logFilePath, const char16_t* resourceModuleName,
                std::shared_ptr<CEngineWorkers> workers = nullptr);
void ApiExit();
// 0 signed in, 87 bad argument, else the sign-in's result code; its text goes to `message`.
uint32_t ApiValidateUser(const char16_t* customerId, const char16_t* userName, const char16_t* password,
                         char16_t* message, uint64_t capacity);
// 0 connected, 87 no buffer, 329 refused, else the connect worker's code or a system error.
uint32_t ApiConnect(char16_t* message, uint64_t capacity);
// 0 done or already disconnected, 87 no buffer, 329 already disconnecting.
uint32_t ApiDisconnect(char16_t* message, uint64_t capacity);
int32_t ApiGetConnectionStep();
// 1 when the counters were read, else 0 (both outputs 0).
int32_t ApiCheckStatus(int64_t* bytesSent, int64_t* bytesReceived);

// Text given to every entry point but Init before Init (or after Exit), with result 87.
inline constexpr char16_t kNotInitialisedText[] = u"Init has not been called";

// How many API watcher threads have not yet ended their bodies (0 once every connection's watcher is done).
uint32_t ApiWatcherCount();

}  // namespace velora
