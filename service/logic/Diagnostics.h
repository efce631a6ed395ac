// GetSystemInfo, FixErrAuto and ProduceNsCtlLog: the report script, the repair scripts and the engine's
// control tool, run with the service's rights. Only the service's own "diagnosis.bat", "fix692.bat",
// "fixservice.bat" and "nsCtl.exe" are run, by absolute path, cmd.exe from the system folder with /d;
// an output file must be a plain "device.log" or "nsctl.log" in a local folder; it is opened first (with
// the caller's rights where the platform allows it) and kept open, and what is written for the caller
// goes into that handle: the report script writes into a file of the service's own and never sees the
// caller's path. Anything else is refused with E_ACCESSDENIED and a log
// line that does not repeat the caller's text. Every wait is bounded.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "logic/ArgumentRules.h"
#include "logic/HResult.h"
#include "logic/ProcessControl.h"
#include "logic/ServiceStore.h"

namespace corvane {

// 0x800705B4, the system's "This operation returned because the timeout period expired."
inline constexpr HResult kTimeoutResult = static_cast<HResult>(0x800705B4u);

// After a script was ended at its limit, how long to wait for it to go.
inline constexpr uint32_t kScriptEndWaitMs = 3000;

// How often the copy of the tool's output looks whether the tool itself has ended.
inline constexpr uint32_t kToolPollMs = 500;

// The folder beside the executable where the system scripts write their reports (system account and
// administrators only).
inline constexpr char16_t kWorkFolderName[] = u"reports";

struct DiagnosisLimits {
    uint32_t reportMs = 120000;
    uint32_t repairMs = 300000;
    uint32_t toolMs = 120000;
    // After the tool ended, how long what it started may keep its output open.
    uint32_t toolOutputGraceMs = 2000;
};

// The errno value the C runtime gives for a system error code (its _dosmaperr table): what the
// "errno_t" of a failed open is.
int CRuntimeErrno(uint32_t systemError);

// The command line the client sends to GetSystemInfo, taken apart:
// cmd.exe /C ""<folder>\diagnosis.bat" "<output>"" (the prefix compares without regard to case).
struct DiagnosisCommand {
    std::u16string script;
    std::u16string output;
};
std::optional<DiagnosisCommand> ParseDiagnosisCommand(std::u16string_view commandLine);

// A local absolute path "X:\...\<fileName>": no UNC or device path, no "." or ".." part, no device name,
// no character that cmd.exe or a path parser would treat specially, at most 259 units.
bool IsCallerOutputPath(std::u16string_view path, std::u16string_view fileName);

// The bytes that land in "nsctl.log" for one block of the tool's output: CR becomes a blank, LF becomes
// CR LF, everything else (also "%") unchanged.
std::string CaptureBlock(std::string_view block);

class CDiagnostics {
public:
    CDiagnostics(CServiceStore& store, CProcessControl& processes, DiagnosisLimits limits = {})
        : store_(store), processes_(processes), limits_(limits) {}

    HResult GetSystemInfo(const InText& execPath, const InText& outFilePath);
    HResult FixErrAuto(uint32_t errCode);
    HResult ProduceNsCtlLog(const InText& path, const InText& name);

private:
    void Log(std::u16string_view text) { store_.WriteLog(text); }
    std::u16string Suffix(HResult hr) { return HresultSuffix(hr, store_.DescribeHResult(hr)); }
    // The service's folder and cmd.exe's path; false (logged) when either is unknown.
    bool Folders(std::u16string_view method, std::u16string& serviceFolder, std::u16string& cmdPath);
    HResult Refuse(std::u16string_view method, std::u16string_view reason);
    // Waits for a script; a child that outlives `ms` is ended and the call times out.
    HResult WaitBounded(std::unique_ptr<CRunningProcess>& child, uint32_t ms, std::u16string_view what);

    CServiceStore& store_;
    CProcessControl& processes_;
    DiagnosisLimits limits_;
};

}  // namespace corvane
