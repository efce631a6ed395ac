// The exit path and its worker. Every wait is bounded: a connect worker that never ends costs the exit
// 30 s, never the exit itself.
#include "engine/ExitPath.h"

#include <utility>

#include "core/Log.h"
#include "core/WindowMessages.h"
#include "engine/ConnectContext.h"
#include "engine/EngineState.h"
#include "helper/HelperClient.h"
#include "platform/ComApartment.h"
#include "platform/Messenger.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

void Signal(const std::unique_ptr<platform::Event>& event) {
    if (event) event->Set();
}

bool IsRunning(const std::shared_ptr<platform::Thread>& thread) {
    return thread && thread->IsRunning();
}

}  // namespace

std::u16string_view ExitReasonText(uint32_t type) {
    static constexpr std::u16string_view kTexts[] = {
        u"Reason: tray exit",          u"Reason: logout",          u"Reason: upgrade",
        u"Reason: outer message",      u"Reason: token invalid",   u"Reason: cancel connection",
        u"Reason: no checked process", u"Reason: change password", u"Reason: invalid process expression",
    };
    return type < std::size(kTexts) ? kTexts[type] : std::u16string_view{};
}

std::unique_ptr<platform::Thread> ExitPath(uint32_t type, CExitWindow& window, ExitJob job) {
    if (type == kExitCancelConnection) {
        LogFormat(u"%s", ExitReasonText(type));
    } else {
        LogMessageId(kMsgExitRequested);
        window.KillUpgradeCheckTimer();
        if (const std::u16string_view reason = ExitReasonText(type); !reason.empty())
            LogFormat(u"%s", reason);
    }
    GetEngineState().stopRequested.store(true);
    job.type = type;
    job.remembered = window.GetShownState();
    if (job.remembered == kShownConnected || job.remembered == kShownConnecting) window.ShowDisconnecting();
    window.CloseDialogs();
    auto shared = std::make_shared<ExitJob>(std::move(job));
    platform::ThreadCreation started = platform::StartThread([shared] {
        ExitWorker(*shared);
        return 0u;
    });
    if (!started.thread) {
        // Without a thread of its own the worker blocks the window for at most its bounded waits, which
        // is still better than a window that never exits.
        LogAtLevel(u"The exit worker could not be started on a thread of its own: running it here", kLogWarn);
        ExitWorker(*shared);
    }
    return std::move(started.thread);
}

void ExitWorker(ExitJob& job) {
    EngineState& state = GetEngineState();
    const std::shared_ptr<CEngineWorkers> workers =
        job.workers ? job.workers : std::make_shared<CEngineWorkers>();
    const bool tunnel = job.mode == VCPE || job.mode == DCPE;
    const bool cancel = job.type == kExitCancelConnection;
    // The route removal below reaches the helper service through COM. Without an apartment the exit
    // still goes on: the disconnect sequence joins one of its own and repeats the removal.
    const platform::CComApartment com;
    if (!com.Usable())
        LogFormatMessageIdAtLevel(kLogError, kMsgComInitFailed, static_cast<uint32_t>(com.Error()),
                                  HelperResultText(com.Error()));

    LogMessageId(kMsgExitStopping);
    if (!cancel) Signal(state.stopProcessCheckEvent);
    Signal(state.stopConnectEvent);
    if (tunnel) {
        // A dial still in progress is ended here rather than waited for: the connect worker then finds
        // its stop event and returns.
        workers->RemoveTunnelRoutes();
        workers->HangUpTunnel();
    }
    if (job.connectThread && job.connectThread->IsRunning() && !job.connectThread->Wait(job.connectWaitMs))
        LogAtLevel(u"The connect worker did not end in time: exiting without it", kLogWarn);
    LogMessageId(kMsgExitConnectWorkerWaited);

    if (job.remembered == kShownConnected || job.remembered == kShownConnecting) {
        LogMessageId(kMsgExitDisconnecting);
        DisconnectJob disconnect;
        disconnect.mode = job.mode;
        disconnect.monitorThread = job.monitorThread.get();
        disconnect.removeRoutes = 1;
        if (cancel) {
            if (IsRunning(job.monitorThread)) Signal(state.stopMonitorEvent);
            disconnect.notifyOrchestrator = 0;
            disconnect.reason = kDisconnectCancelConnecting;
        } else {
            Signal(state.stopMonitorEvent);
            disconnect.notifyOrchestrator = 1;
            disconnect.reason = kDisconnectExit;
        }
        workers->DisconnectWorker(disconnect);
        if (tunnel) platform::Pause(kExitTunnelSettleMs);
        LogMessageId(kMsgExitDisconnected);
    }

    if (cancel) return;
    job.connectThread.reset();
    platform::PostWindowMessage(platform::MainWindow(), UM_EXIT, job.type, 0);
}

}  // namespace velora
