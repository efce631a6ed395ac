// The engine monitor's cycle.
#include "logic/EngineWatch.h"

#include <memory>
#include <vector>

#include "logic/DataPath.h"
#include "logic/EngineCommandLine.h"
#include "logic/HResult.h"
#include "logic/ServiceState.h"

namespace corvane {

bool IsClientImage(std::u16string_view image) {
    static constexpr std::u16string_view kClients[] = {u"Velora.exe",   u"Ferron.exe", u"Halvane.exe",
                                                       u"Dravenic.exe", u"Qelmar.exe", u"Istrava.exe",
                                                       u"Pomwick.exe",  u"Trovik.exe"};
    for (std::u16string_view client : kClients)
        if (SameImageName(image, client)) return true;
    return false;
}

bool CEngineWatch::IsTrustedClient(const ProcessEntry& entry) {
    if (!IsClientImage(entry.image)) return false;
    std::u16string path;
    if (processes_.QueryImagePath(entry.id, path) != 0) return false;
    const std::size_t slash = path.find_last_of(u"\\/");
    return slash != std::u16string::npos && processes_.IsAdministratorOwned(path.substr(0, slash));
}

bool CEngineWatch::RunCycle() {
    std::vector<ProcessEntry> entries;
    if (processes_.Snapshot(entries) != 0) return false;
    bool client = false;
    for (const ProcessEntry& entry : entries) {
        if (IsTrustedClient(entry)) {
            client = true;
            break;
        }
    }
    std::lock_guard<std::recursive_mutex> lock(ServiceStateLock());
    CServiceState state(store_);
    state.Load();
    const bool hadRecord = state.engine.has_value();
    std::u16string enginePath;
    std::unique_ptr<CRunningProcess> process;
    if (EnginePathOf(store_, enginePath)) process = OpenRecordedEngine(processes_, state, enginePath);
    uint32_t code = 0;
    const bool engine = process && process->GetExitCode(code) && code == kStillActiveCode;
    if (!engine && hadRecord) {
        state.engine.reset();  // ended by itself: nothing of it to remember
        (void)state.Save();
    }
    if (!engine || client) return false;
    if (!seenWithoutClient_) {
        seenWithoutClient_ = true;
        return false;
    }
    seenWithoutClient_ = false;
    const uint32_t terminateError = process->Terminate(0);
    if (terminateError != 0) {
        const HResult hr = HResultFromSystemError(terminateError);
        store_.WriteLog(u"Failed to call TerminateProcess (0x" + Hex8(static_cast<uint32_t>(hr)) +
                        u") in minitor thread: " + store_.DescribeHResult(hr));
        return true;
    }
    state.engine.reset();
    (void)state.Save();
    uint32_t waitError = 0;
    switch (process->Wait(kEngineEndWaitMs, waitError)) {
        case WaitOutcome::Ended:
            store_.WriteLog(u"Find DP but not find UI, DP stopped");
            break;
        case WaitOutcome::TimedOut:
            store_.WriteLog(u"Timeout waiting for datapath process to terminate in minitor thread");
            break;
        case WaitOutcome::Failed: {
            const HResult hr = HResultFromSystemError(waitError);
            store_.WriteLog(u"Failed to call WaitForSingleObject " +
                            HresultSuffix(hr, store_.DescribeHResult(hr)) + u" in minitor thread");
            break;
        }
    }
    return true;
}

}  // namespace corvane
