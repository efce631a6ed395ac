// The diagnosis run: a connection summary, ping results, the system script's and the engine's reports,
// the engine's logs, captures and dumps and the client log, gathered into "windows_diagnosis.zip" in the
// log folder, then uploaded, then the loose files deleted. Runs one after another: a request that comes
// while one runs waits for it, or is left out when it would only repeat a run already waiting.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "diagnosis/DiagnosisRequest.h"
#include "engine/DiagnosisHook.h"
#include "platform/Kernel.h"

namespace velora {

inline constexpr std::u16string_view kDiagnosisZipName = u"windows_diagnosis.zip";
// The ping targets when the setting "DiagnosisPingTargets" is empty: addresses are pinged as they are,
// names are resolved first.
inline constexpr std::u16string_view kDefaultPingTargets =
    u"114.114.114.114,www.bing.com,www.example.com,8.8.8.8";

// UM_DIAGNOSIS_DONE's word parameter: sums of these, or the rejection alone.
constexpr uintptr_t kDiagnosisNetworkReachable = 1;
constexpr uintptr_t kDiagnosisUploadAccepted = 16;
constexpr uintptr_t kDiagnosisSignInRejected = 39321;

// Works out the folders (when the request has none) and starts the run on its own thread; null when the
// request was left out (a run that would repeat it is already waiting) or the thread could not start.
std::unique_ptr<platform::Thread> StartDiagnosis(DiagnosisRequest request);
// The starter the program registers with SetDiagnosisStarter: engine requests become runs whose summary
// reads the connection from `connection`, told to the main window when they ask for it.
DiagnosisStarter MakeDiagnosisStarter(DiagnosisConnectionSource connection);

// One run on the calling thread (the worker's body).
void RunDiagnosis(const DiagnosisRequest& request);

DiagnosisFolders CurrentDiagnosisFolders();

// Writes "connection.log"; true when connected in NATIVE mode (the engine's capture can run).
bool WriteConnectionSummary(const DiagnosisFolders& folders, bool connected, uint32_t mode);

struct DiagnosisPingTarget {
    std::u16string target;
    bool resolve = false;
};
// The targets of "DiagnosisPingTargets" (comma-separated; dotted addresses are not resolved).
std::vector<DiagnosisPingTarget> DiagnosisPingTargets();

// Writes "network.log" from the ping targets; sets the network-reachable flag when any answered.
void RunNetworkTests(const DiagnosisFolders& folders);
// Appends one ping block to `logPath`; true when a reply came.
bool PingTarget(std::u16string_view target, bool resolve, std::u16string_view logPath);

// Runs "dispatch.exe diagnose" into "dispatch.log" and appends the shared-interface section.
void RunEngineDiagnosis(const DiagnosisFolders& folders, uint32_t toolTimeoutMs);

void BuildDiagnosisZip(const DiagnosisFolders& folders, bool capture);
void CleanDiagnosisFiles(const DiagnosisFolders& folders);

// Runs the program hidden and waits for it up to `timeoutMs`; does nothing when it does not exist. A
// program that does not end in time is logged and left running.
void RunToolAndWait(std::u16string_view executable, std::u16string_view folder,
                    std::u16string_view parameters, uint32_t timeoutMs);

// The flags the run reads when it tells the window how it went.
bool NetworkReachable();
bool UploadRequestAccepted();
void SetUploadRequestAccepted(bool accepted);

}  // namespace velora
