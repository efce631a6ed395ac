// The exported entry points' state machine. Connect, Disconnect and the reconnect procedure hold the
// api lock for their whole run; ValidateUser, GetConnectionStep and CheckStatus take no lock. The link
// monitor runs on a thread of its own; an API watcher thread waits for it and reconnects when the link
// is lost.
#include "api/ClientApi.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "auth/AuthText.h"
#include "auth/SignIn.h"
#include "core/Format.h"
#include "core/Log.h"
#include "core/ResultCodes.h"
#include "core/Settings.h"
#include "diagnosis/Diagnosis.h"
#include "engine/ConnectContext.h"
#include "engine/DiagnosisHook.h"
#include "engine/DisconnectJob.h"
#include "engine/EngineEvents.h"
#include "engine/EngineState.h"
#include "engine/EngineWorkers.h"
#include "platform/ComApartment.h"
#include "platform/Kernel.h"
#include "platform/Network.h"
#include "platform/Processes.h"
#include "platform/Types.h"

namespace velora {
namespace {

using platform::kErrorBusy;
using platform::kErrorInvalidParameter;

constexpr char16_t kDefaultModuleName[] = u"Velora.dll";
constexpr uint64_t kPrivateBufferUnits = 256;
constexpr uint32_t kTunnelSettleMs = 2000;
// A connect attempt can fail at once (no token, server refused): without a pause the reconnect loop
// would spin, holding the lock and filling the log, until a Disconnect stops it.
constexpr uint32_t kReconnectPauseMs = 2000;
constexpr uint32_t kPollSliceMs = 10;
constexpr int32_t kMaxCustomerId = 2147483647;
constexpr uint32_t kSignInNeedsWindow = kCodeNotSupported;  // ERROR_NOT_SUPPORTED, as for an SMS step

struct ApiState {
    std::mutex initLock;
    std::atomic<bool> initialised{false};
    // Lives for the whole process: Exit only clears the flag, so a thread still inside the lock (a
    // reconnect, a Connect on another thread) never finds it gone.
    std::recursive_mutex apiLock;
    std::atomic<int32_t> step{kStepDisconnected};
    std::atomic<uint32_t> reconnecting{0};
    std::atomic<bool> watchContinue{false};
    uint32_t mode = NATIVE;  // accessed through LoadMode/StoreMode only

    // The link monitor is waited for and forgotten by the watcher (outside the api lock) and inspected
    // by Disconnect (inside it): both hold a reference of their own, so neither can pull the thread
    // object from under the other.
    std::mutex monitorLock;
    std::shared_ptr<platform::Thread> monitor;

    std::unique_ptr<platform::Thread> watcher;  // guarded by apiLock
    std::atomic<uint32_t> watchersAlive{0};

    // The workers handed to Init (the built-in set without one). Calls take a reference of their own, so
    // a later Init never pulls the set from under a running worker.
    std::mutex workersLock;
    std::shared_ptr<CEngineWorkers> workers = std::make_shared<CEngineWorkers>();
};

ApiState& api() {
    static ApiState* state = new ApiState;  // never destroyed: API threads may outlive static clean-up
    return *state;
}

std::u16string_view TextOf(const char16_t* text) {
    return text ? std::u16string_view(text) : std::u16string_view();
}

void ClearBuffer(char16_t* buffer, uint64_t capacity) {
    std::fill_n(buffer, capacity, u'\0');
}

// Copies `text` cut to capacity - 1 units and zeroes the rest, the last unit included, so the result is
// terminated even where the buffer was not cleared first.
void CopyMessage(char16_t* buffer, uint64_t capacity, std::u16string_view text) {
    if (capacity == 0) return;
    const uint64_t length = std::min<uint64_t>(text.size(), capacity - 1);
    std::copy_n(text.data(), length, buffer);
    std::fill(buffer + length, buffer + capacity, u'\0');
}

bool IsValidCustomerId(std::u16string_view id) {
    if (id.empty() || id.size() > 10) return false;
    int64_t value = 0;
    for (char16_t c : id) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c - u'0');
    }
    return value <= kMaxCustomerId;
}

bool IsTunnelMode(uint32_t mode) {
    return mode == VCPE || mode == DCPE;
}

std::shared_ptr<CEngineWorkers> Workers() {
    ApiState& s = api();
    std::lock_guard l(s.workersLock);
    return s.workers;
}

std::shared_ptr<platform::Thread> CurrentMonitor() {
    ApiState& s = api();
    std::lock_guard l(s.monitorLock);
    return s.monitor;
}

void ForgetMonitor(const std::shared_ptr<platform::Thread>& monitor) {
    ApiState& s = api();
    std::lock_guard l(s.monitorLock);
    if (s.monitor == monitor) s.monitor.reset();
}

// Starts MonitorThread on the API's connection mode and makes it the current link monitor.
std::shared_ptr<platform::Thread> StartLinkMonitor(uint32_t& error) {
    ApiState& s = api();
    platform::ThreadCreation created = platform::StartThread([&s, workers = Workers()] {
        const platform::CComApartment com;  // the monitor calls the helper service
        return workers->MonitorThread(&s.mode);
    });
    if (!created.thread) {
        // A failure must never read as success (0) to the caller.
        error = created.error != 0 ? created.error : platform::kErrorNotEnoughMemory;
        return nullptr;
    }
    std::shared_ptr<platform::Thread> monitor(std::move(created.thread));
    std::lock_guard l(s.monitorLock);
    s.monitor = monitor;
    return monitor;
}

// The API always removes the routes; it tells the orchestrator unless it cancels a connect in progress.
DisconnectJob ApiDisconnectJob(uint8_t notifyOrchestrator, uint32_t reason, uint32_t mode,
                               platform::Thread* monitor) {
    DisconnectJob job;
    job.removeRoutes = 1;
    job.notifyOrchestrator = notifyOrchestrator;
    job.reason = reason;
    job.mode = mode;
    job.monitorThread = monitor;
    return job;
}

void SignalStopMonitorIfRunning(const std::shared_ptr<platform::Thread>& monitor) {
    if (monitor && monitor->IsRunning()) GetEngineState().stopMonitorEvent->Set();
}

// Waits between two failed reconnect attempts; false as soon as a Disconnect has asked to stop.
bool PauseBeforeNextAttempt() {
    ApiState& s = api();
    for (uint32_t waited = 0; waited < kReconnectPauseMs; waited += kPollSliceMs) {
        if (!s.watchContinue.load()) return false;
        platform::SleepMs(kPollSliceMs);
    }
    return s.watchContinue.load();
}

// Reconnects after a lost link; returns the new link monitor, or none when it gave up.
std::shared_ptr<platform::Thread> ReconnectProcedure() {
    ApiState& s = api();
    // A Disconnect clears watch-continue and may then hold the lock while it waits for this very
    // thread: wait for the lock only as long as nobody has asked to stop.
    while (!s.apiLock.try_lock()) {
        if (!s.watchContinue.load()) return nullptr;
        platform::SleepMs(kPollSliceMs);
    }
    std::unique_lock lock(s.apiLock, std::adopt_lock);
    s.reconnecting.store(1);
    std::shared_ptr<platform::Thread> started;
    int32_t last = -1;
    bool firstAttempt = true;
    while (last != static_cast<int32_t>(kErrorBusy) && s.watchContinue.load()) {
        if (!firstAttempt && !PauseBeforeNextAttempt()) break;
        firstAttempt = false;
        LogAtLevel(u"Reconnect", kLogInfo);
        const std::shared_ptr<platform::Thread> oldMonitor = CurrentMonitor();
        DisconnectJob job = ApiDisconnectJob(1, kDisconnectNoRetry, LoadMode(&s.mode), oldMonitor.get());
        if (s.step.load() == kStepConnected) {
            s.step.store(kStepDisconnecting);
            Workers()->DisconnectWorker(job);
        }
        s.step.store(kStepConnecting);
        ConnectContext context;
        context.mode = &s.mode;
        Workers()->ValidateUserAndConnectThread(context);
        last = context.result;
        if (last != 0) {
            s.step.store(kStepDisconnected);
            continue;
        }
        GetEngineState().useClientSpecifyMode.store(false);
        s.step.store(kStepConnected);
        LogDebug(u"Connect");
        Workers()->FlushResolverCache();
        uint32_t error = 0;
        started = StartLinkMonitor(error);
        if (!started) {
            LogDebug(kTextStaticsThreadFailed);
            job.mode = LoadMode(&s.mode);  // tear down the connection just made, in its own mode
            job.monitorThread = nullptr;
            Workers()->DisconnectWorker(job);
            s.step.store(kStepDisconnected);
        }
        break;
    }
    s.reconnecting.store(0);
    return started;
}

uint32_t WatchLinkMonitor(std::shared_ptr<platform::Thread> monitor) {
    ApiState& s = api();
    const platform::CComApartment com;  // a reconnect runs the connect and disconnect workers here
    LogDebug(u"Start monitor thread");
    if (!monitor) {
        LogDebug(u"Exit because of no statics thread");
    }
    while (monitor) {
        uint32_t code = 0;
        if (!monitor->GetExitCode(code)) {
            LogDebug(FormatText(u"GetExitCodeThread Failed %d", platform::LastSystemError()));
            break;
        }
        if (code == platform::kStillActive) {
            monitor->Wait(platform::kInfinite);
            LogAtLevel(u"Statistics thread stopped", kLogInfo);
            if (!monitor->GetExitCode(code)) {
                LogDebug(FormatText(u"GetExitCodeThread Failed %d", platform::LastSystemError()));
                break;
            }
        }
        ForgetMonitor(monitor);
        monitor.reset();
        if (!s.watchContinue.load()) break;
        if (code == kMonitorLinkLost) {
            LogDebug(u"Before reconnect");
            monitor = ReconnectProcedure();
        }
    }
    LogDebug(u"Monitor thread exit");
    s.watchersAlive.fetch_sub(1);
    return 0;
}

uint32_t DisconnectImpl(char16_t* message, uint64_t capacity);

// Step 0 of Connect, inside the lock.
uint32_t ConnectFromIdle(char16_t* message, uint64_t capacity) {
    ApiState& s = api();
    EngineState& engine = GetEngineState();
    // A watcher left from a reconnect that gave up has nothing more to wait for; make sure it has ended
    // before a new one starts, so two never watch one link.
    if (s.watcher) {
        s.watcher->Wait(platform::kInfinite);
        s.watcher.reset();
    }
    // Stop signals of an earlier connection must not end this one at once, and a fresh connect begins a
    // new series: a native wait that timed out in an earlier one must not switch this one's request.
    engine.stopConnectEvent->Reset();
    engine.stopMonitorEvent->Reset();
    engine.stopRequested.store(false);
    engine.nativeTimedOut.store(false);

    s.step.store(kStepConnecting);
    ConnectContext context;
    context.mode = &s.mode;
    Workers()->ValidateUserAndConnectThread(context);
    if (context.result != 0) {
        if (!context.message.empty()) CopyMessage(message, capacity, context.message);
        s.step.store(kStepDisconnected);
        return static_cast<uint32_t>(context.result);
    }
    s.step.store(kStepConnected);
    LogDebug(u"Connected");
    Workers()->FlushResolverCache();
    engine.useClientSpecifyMode.store(false);

    uint32_t error = 0;
    std::shared_ptr<platform::Thread> monitor = StartLinkMonitor(error);
    std::u16string_view failure;
    if (monitor) {
        s.watchContinue.store(true);
        s.watchersAlive.fetch_add(1);
        platform::ThreadCreation watcher =
            platform::StartThread([monitor] { return WatchLinkMonitor(monitor); });
        if (watcher.thread) {
            s.watcher = std::move(watcher.thread);
            return 0;
        }
        s.watchersAlive.fetch_sub(1);
        error = watcher.error != 0 ? watcher.error : platform::kErrorNotEnoughMemory;
        failure = kTextMonitorThreadFailed;
    } else {
        failure = kTextStaticsThreadFailed;
    }
    CopyMessage(message, capacity, failure);
    // The lock is recursive: this nested Disconnect undoes the connection inside the same hold.
    char16_t privateBuffer[kPrivateBufferUnits];
    DisconnectImpl(privateBuffer, kPrivateBufferUnits);
    return error;
}

uint32_t ConnectImpl(char16_t* message, uint64_t capacity) {
    ApiState& s = api();
    LogDebug(u"Start connecting");
    if (!message) return kErrorInvalidParameter;
    if (s.reconnecting.load() != 0) {
        CopyMessage(message, capacity, kTextAlreadyReconnecting);
        return kErrorBusy;
    }
    uint32_t result = 0;
    {
        std::lock_guard lock(s.apiLock);
        ClearBuffer(message, capacity);
        const int32_t step = s.step.load();
        if (step == kStepConnecting || step == kStepDisconnecting) {
            CopyMessage(message, capacity, kTextAlreadyConnecting);
            result = kErrorBusy;
        } else if (step == kStepConnected) {
            CopyMessage(message, capacity, kTextAlreadyConnected);
            result = kErrorBusy;
        } else {
            result = ConnectFromIdle(message, capacity);
        }
    }
    LogDebug(u"Connect end");
    return result;
}

// The body of Disconnect; the caller logs its start and end and checks the buffer.
uint32_t DisconnectLocked(char16_t* message, uint64_t capacity) {
    ApiState& s = api();
    EngineState& engine = GetEngineState();
    std::lock_guard lock(s.apiLock);
    // Cleared again inside the lock: a Connect that ran between the first clearing and here may have
    // set it, and a watcher that sees it set would wait for this lock while we wait for the watcher.
    s.watchContinue.store(false);
    ClearBuffer(message, capacity);
    uint32_t result = 0;
    const uint32_t mode = LoadMode(&s.mode);
    switch (s.step.load()) {
        case kStepDisconnected:
            CopyMessage(message, capacity, kTextAlreadyDisconnected);
            break;
        case kStepDisconnecting:
            CopyMessage(message, capacity, kTextAlreadyDisconnecting);
            result = kErrorBusy;
            break;
        case kStepConnected: {
            s.step.store(kStepDisconnecting);
            const std::shared_ptr<platform::Thread> monitor = CurrentMonitor();
            SignalStopMonitorIfRunning(monitor);
            DisconnectJob job = ApiDisconnectJob(1, kDisconnectNoRetry, mode, monitor.get());
            Workers()->DisconnectWorker(job);
            if (IsTunnelMode(mode)) platform::SleepMs(kTunnelSettleMs);
            s.step.store(kStepDisconnected);
            break;
        }
        case kStepConnecting: {
            s.step.store(kStepDisconnecting);
            engine.stopConnectEvent->Set();
            if (IsTunnelMode(mode)) {
                Workers()->RemoveTunnelRoutes();
                Workers()->HangUpTunnel();
            }
            const std::shared_ptr<platform::Thread> monitor = CurrentMonitor();
            SignalStopMonitorIfRunning(monitor);
            DisconnectJob job = ApiDisconnectJob(0, kDisconnectCancelConnecting, mode, monitor.get());
            Workers()->DisconnectWorker(job);
            s.step.store(kStepDisconnected);
            break;
        }
        default:
            break;
    }
    if (s.watcher) {
        if (s.watcher->IsRunning()) s.watcher->Wait(platform::kInfinite);
        s.watcher.reset();
    }
    return result;
}

uint32_t DisconnectImpl(char16_t* message, uint64_t capacity) {
    ApiState& s = api();
    LogDebug(u"Start disconnecting");
    if (!message) return kErrorInvalidParameter;
    // Cleared before waiting for the lock, so a running reconnect stops at its next check.
    s.watchContinue.store(false);
    // A connect in progress (the caller's, or the reconnect's) holds the lock until its worker returns, and
    // the worker may wait up to a minute for the engine: told now, it gives up at its next check point or
    // within its next wait instead, and starts no engine after that.
    if (s.step.load() == kStepConnecting || s.reconnecting.load() != 0) {
        EngineState& engine = GetEngineState();
        engine.stopRequested.store(true);
        engine.stopConnectEvent->Set();
    }
    const uint32_t result = DisconnectLocked(message, capacity);
    LogDebug(u"Disconnect end");
    return result;
}

// Entry points but Init before Init: outside the contract, answered without touching the session.
uint32_t RefuseUninitialised(char16_t* message, uint64_t capacity) {
    if (message) CopyMessage(message, capacity, kNotInitialisedText);
    return kErrorInvalidParameter;
}

}  // namespace

int32_t ApiInit(const char16_t* logFilePath, const char16_t* resourceModuleName,
                std::shared_ptr<CEngineWorkers> workers) {
    ApiState& s = api();
    std::lock_guard l(s.initLock);
    if (s.initialised.load()) return 1;
    {
        std::lock_guard w(s.workersLock);
        s.workers = workers ? std::move(workers) : std::make_shared<CEngineWorkers>();
    }
    StartLog(resourceModuleName ? resourceModuleName : kDefaultModuleName);
    if (logFilePath) SetLogFilePath(logFilePath);
    if (!CreateEngineEvents()) return 0;
    // The engine's requests for a diagnosis run start one; its summary reads the connection as the API has
    // it.
    SetDiagnosisStarter(MakeDiagnosisStarter([] {
        ApiState& state = api();
        return DiagnosisConnection{state.step.load() == kStepConnected, LoadMode(&state.mode)};
    }));
    s.initialised.store(true);
    return 1;
}

void ApiExit() {
    ApiState& s = api();
    std::lock_guard l(s.initLock);
    s.initialised.store(false);
}

uint32_t ApiValidateUser(const char16_t* customerId, const char16_t* userName, const char16_t* password,
                         char16_t* message, uint64_t capacity) {
    SignInContext context;
    context.customerId = TextOf(customerId);
    context.userName = TextOf(userName);
    context.password = TextOf(password);
    if (!message) return kErrorInvalidParameter;
    if (!api().initialised.load()) return RefuseUninitialised(message, capacity);
    ClearBuffer(message, capacity);
    if (!IsValidCustomerId(context.customerId)) {
        CopyMessage(message, capacity, kText2015InvalidCustomerId);
        return kErrorInvalidParameter;
    }
    if (context.userName.empty() || context.userName.size() > 30) {
        CopyMessage(message, capacity, kText2016InvalidUserName);
        return kErrorInvalidParameter;
    }
    if (context.password.size() < 6 || context.password.size() > 16) {
        CopyMessage(message, capacity, kText2017InvalidPassword);
        return kErrorInvalidParameter;
    }
    // The API always runs the password sign-in, as the login window's password page does: it has a user
    // name and a password, no browser for an external sign-in and no window for a second factor. It runs
    // synchronously on the caller's thread. The sign-in escapes the texts it sends, so what is stored
    // afterwards is taken from the caller's own texts.
    const std::u16string typedName = context.userName;
    const std::size_t passwordLength = context.password.size();
    runApiSignIn(context);
    if (!context.message.empty()) CopyMessage(message, capacity, context.message);
    if (context.resultCode != 0 || context.authToken.empty()) {
        SetSetting(u"Password", u"");
        SetSetting(u"AuthToken", u"");
        if (context.resultCode == 0) {
            // No token although nothing failed: the account wants a second factor that only the login
            // window can take. Reporting 0 would tell the caller it is signed in.
            if (context.message.empty()) CopyMessage(message, capacity, kTextNotSupported);
            return kSignInNeedsWindow;
        }
        return static_cast<uint32_t>(context.resultCode);
    }
    CopyMessage(message, capacity, u"");
    StoreSetting(u"Username", typedName);
    StoreSetting(u"Password", std::u16string(passwordLength, u'*'));
    StoreSetting(u"CustomerId", context.customerId);
    StoreSetting(u"AuthUrl", context.authUrl);
    LogDebug(u"Authorization succeeded");
    return 0;
}

uint32_t ApiConnect(char16_t* message, uint64_t capacity) {
    if (!api().initialised.load()) return RefuseUninitialised(message, capacity);
    return ConnectImpl(message, capacity);
}

uint32_t ApiDisconnect(char16_t* message, uint64_t capacity) {
    if (!api().initialised.load()) return RefuseUninitialised(message, capacity);
    return DisconnectImpl(message, capacity);
}

int32_t ApiGetConnectionStep() {
    return api().step.load();
}

int32_t ApiCheckStatus(int64_t* bytesSent, int64_t* bytesReceived) {
    if (bytesSent) *bytesSent = 0;
    if (bytesReceived) *bytesReceived = 0;
    if (!bytesSent || !bytesReceived || !api().initialised.load()) return 0;
    const uint32_t mode = LoadMode(&api().mode);
    if (mode == NATIVE) {
        int64_t sent = 0;
        int64_t received = 0;
        const uint32_t error = Workers()->QueryEngineFlowCounters(sent, received);
        if (error != 0) {
            LogAtLevel(FormatText(u"Dispatch get flow error(%d)", static_cast<int32_t>(error)), kLogError);
            return 0;
        }
        *bytesSent = sent;
        *bytesReceived = received;
        return 1;
    }
    const platform::InterfaceTable table = platform::ReadInterfaceTable();
    if (table.sizeQueryResult != platform::kErrorInsufficientBuffer) {
        LogAtLevel(
            FormatText(u"GetIfTable failed with error code %d", static_cast<int32_t>(table.sizeQueryResult)),
            kLogError);
        return 0;
    }
    if (table.allocationFailed) {
        // No buffer for the table is a failure of the call too, reported with the code it amounts to.
        LogAtLevel(FormatText(u"GetIfTable failed with error code %d",
                              static_cast<int32_t>(platform::kErrorInsufficientBuffer)),
                   kLogError);
        return 0;
    }
    if (!table.readOk) return 0;
    bool matched = false;
    for (const platform::InterfaceRow& row : table.rows) {
        if (row.description == "Hal-Vane") {
            *bytesSent = row.outOctets;
            *bytesReceived = row.inOctets;
            matched = true;
        }
    }
    return matched ? 1 : 0;
}

uint32_t ApiWatcherCount() {
    return api().watchersAlive.load();
}

}  // namespace velora
