// The exit path: how the main window stops everything in a fixed order before the program quits or
// restarts (or, for "cancel connection", stays running idle). The window side reaches the window through
// CExitWindow; the exit worker reaches it only through UM_EXIT, so both run against a recording window.
#pragma once
#include <cstdint>
#include <memory>
#include <string_view>

#include "engine/EngineWorkers.h"
#include "platform/Kernel.h"

namespace velora {

// Argument of ExitPath and wParam of UM_EXIT.
enum ExitType : uint32_t {
    kExitTray = 0,
    kExitLogout = 1,
    kExitUpgrade = 2,
    kExitOuterMessage = 3,
    kExitTokenInvalid = 4,
    kExitCancelConnection = 5,
    kExitNoCheckedProcess = 6,
    kExitChangePassword = 7,
    kExitInvalidProcessExpression = 8,
};

// The connection state the main window shows.
enum ShownConnectionState : uint32_t {
    kShownIdle = 0,
    kShownConnecting = 1,
    kShownConnected = 2,
    kShownDisconnecting = 3,
};

// The upgrade check's timer of the main window, stopped by every exit but "cancel connection".
constexpr uintptr_t kUpgradeCheckTimerId = 1002;
// How long the exit worker waits for a connect worker that is still running, and for a tunnel to settle
// after the disconnect sequence.
constexpr uint32_t kExitConnectWaitMs = 30000;
constexpr uint32_t kExitTunnelSettleMs = 1000;

// The engine log line of an exit type; empty for types above 8.
std::u16string_view ExitReasonText(uint32_t type);

// What the exit path needs of the main window, called on the window's thread.
class CExitWindow {
public:
    virtual ~CExitWindow() = default;
    virtual void KillUpgradeCheckTimer() = 0;
    virtual ShownConnectionState GetShownState() = 0;
    virtual void ShowDisconnecting() = 0;
    virtual void CloseDialogs() = 0;
};

// What the exit worker is handed. The threads are shared with the window, which keeps its own references.
struct ExitJob {
    uint32_t type = kExitTray;
    uint32_t mode = 0;  // ConnectionMode
    ShownConnectionState remembered = kShownIdle;
    std::shared_ptr<platform::Thread> processRuleThread;
    std::shared_ptr<platform::Thread> connectThread;
    std::shared_ptr<platform::Thread> monitorThread;
    std::shared_ptr<CEngineWorkers> workers;      // null: the built-in set
    uint32_t connectWaitMs = kExitConnectWaitMs;  // the bound on the wait for the connect worker
};

// Runs on the main window's thread: logs the reason, sets stopRequested, shows the disconnecting state,
// closes the dialogs and starts the exit worker with `job` (whose type, mode and threads the caller fills;
// the remembered state is taken here). Returns the worker's thread; when no thread can be started the
// worker has run on this thread instead (the exit still happens) and null is returned.
std::unique_ptr<platform::Thread> ExitPath(uint32_t type, CExitWindow& window, ExitJob job);

// The exit worker's sequence, on a thread of its own.
void ExitWorker(ExitJob& job);

}  // namespace velora
