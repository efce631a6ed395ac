// The engine monitor's cycle.
#include "logic/EngineWatch.h"

#include <memory>
#include <vector>

#include "logic/DataPath.h"
#include "logic/EngineCommandLine.h"
#include "logic/HResult.h"

namespace corvane {

bool IsClientImage(std::u16string_view image) {
    static constexpr std::u16string_view kClients[] = {u"Velora.exe",   u"Ferron.exe", u"Halvane.exe",
                                                       u"Dravenic.exe", u"Qelmar.exe", u"Istrava.exe",
                                                       u"Pomwick.exe",  u"Trovik.exe"};
    for (std::u16string_view client : kClients)
        if (SameImageName(image, client)) return true;
    return false;
}

bool CEngineWatch::RunCycle() {
    std::vector<ProcessEntry> entries;
    if (processes_.Snapshot(entries) != 0) return false;
    bool engine = false, client = false;
    for (const ProcessEntry& entry : entries) {
        if (SameImageName(entry.image, kEngineImageName)) {
            engine = true;
            if (seenWithoutClient_) rememberedId_ = entry.id;
        } else if (IsClientImage(entry.image)) {
            client = true;
        }
    }
    if (!engine || client) return false;
    if (!seenWithoutClient_) {
        seenWithoutClient_ = true;
        return false;
    }
    seenWithoutClient_ = false;
    std::unique_ptr<CRunningProcess> process;
    const uint32_t openError = processes_.Open(rememberedId_, process);
    const uint32_t terminateError = openError != 0 ? openError : process->Terminate(0);
    if (terminateError != 0) {
        const HResult hr = HResultFromSystemError(terminateError);
        store_.WriteLog(u"Failed to call TerminateProcess (0x" + Hex8(static_cast<uint32_t>(hr)) +
                        u") in minitor thread: " + store_.DescribeHResult(hr));
        return true;
    }
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
