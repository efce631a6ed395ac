// The report script, the repair scripts and the engine's control tool.
#include "logic/Diagnostics.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "contract/CorvaneContract.h"
#include "logic/EngineCommandLine.h"
#include "logic/ProgramRights.h"

namespace corvane {
namespace {

char16_t Lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && SameImageName(text.substr(0, prefix.size()), prefix);
}

bool IsDeviceName(std::u16string_view part) {
    const std::size_t dot = part.find(u'.');
    std::u16string base(part.substr(0, dot));
    while (!base.empty() && (base.back() == u' ')) base.pop_back();
    for (char16_t& c : base) c = Lower(c);
    static constexpr std::u16string_view kNames[] = {u"con", u"prn", u"aux", u"nul", u"conin$", u"conout$"};
    for (std::u16string_view name : kNames)
        if (base == name) return true;
    if (base.size() == 4 && (base.starts_with(u"com") || base.starts_with(u"lpt")) && base[3] >= u'0' &&
        base[3] <= u'9')
        return true;
    return false;
}

bool IsAllowedPathChar(char16_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
    // The path reaches no command line (the scripts write into the service's own files), so only what
    // the file system refuses or gives a meaning is kept out: a name a profile folder may carry
    // ("Tom & Jerry", "x (2)", "100%") passes. "/" and ":" would be a second separator or a stream.
    constexpr std::u16string_view kSpecial = u"\"|<>*?/:";
    if (kSpecial.find(c) != std::u16string_view::npos) return false;
    // Full-width forms that a conversion to a single-byte code page turns into the quote, ampersand,
    // pipe and angle brackets themselves.
    constexpr std::u16string_view kLookAlikes = u"\uFF02\uFF06\uFF5C\uFF1C\uFF1E";
    return kLookAlikes.find(c) == std::u16string_view::npos;
}

// A name for the service's own copy of one report that no concurrent call shares.
std::u16string WorkFileName(std::u16string_view base) {
    static std::atomic<uint32_t> counter{0};
    return std::u16string(base) + u"-" + Decimal(++counter) + u".log";
}

}  // namespace

std::optional<DiagnosisCommand> ParseDiagnosisCommand(std::u16string_view line) {
    constexpr std::u16string_view kPrefix = u"cmd.exe /C \"\"";
    if (!StartsWithNoCase(line, kPrefix)) return std::nullopt;
    line.remove_prefix(kPrefix.size());
    const std::size_t middle = line.find(u"\" \"");
    if (middle == std::u16string_view::npos || !line.ends_with(u"\"\"") || line.size() < middle + 5)
        return std::nullopt;
    DiagnosisCommand command;
    command.script = std::u16string(line.substr(0, middle));
    command.output = std::u16string(line.substr(middle + 3, line.size() - middle - 5));
    return command;
}

bool IsCallerOutputPath(std::u16string_view path, std::u16string_view fileName) {
    if (path.size() < 4 || !FitsBuffer(path, kPathBufferUnits)) return false;
    const char16_t drive = Lower(path[0]);
    if (drive < u'a' || drive > u'z' || path[1] != u':' || path[2] != u'\\') return false;
    std::u16string_view rest = path.substr(3);
    std::u16string_view last;
    while (!rest.empty()) {
        const std::size_t slash = rest.find(u'\\');
        const std::u16string_view part = rest.substr(0, slash);
        if (part.empty() || part == u"." || part == u".." || part.back() == u'.' || part.back() == u' ' ||
            IsDeviceName(part))
            return false;
        for (char16_t c : part)
            if (!IsAllowedPathChar(c)) return false;
        last = part;
        if (slash == std::u16string_view::npos) break;
        rest.remove_prefix(slash + 1);
        if (rest.empty()) return false;  // trailing backslash: a folder, not a file
    }
    return SameImageName(last, fileName) && path.size() > fileName.size() + 3;
}

std::string CaptureBlock(std::string_view block) {
    std::string out;
    out.reserve(block.size() + block.size() / 8);
    for (char c : block) {
        if (c == '\r') {
            out += ' ';
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

HResult CDiagnostics::Refuse(std::u16string_view method, std::u16string_view reason) {
    Log(std::u16string(method) + u" refused: " + std::u16string(reason));
    return kE_ACCESSDENIED;
}

bool CDiagnostics::Folders(std::u16string_view method, std::u16string& serviceFolder,
                           std::u16string& cmdPath) {
    std::u16string modulePath;
    uint32_t error = store_.GetModulePath(modulePath);
    if (error != 0) {
        Log(u"Failed to call GetModuleFileName " + Suffix(HResultFromSystemError(error)));
        return false;
    }
    const std::size_t slash = modulePath.find_last_of(u"\\/");
    if (slash == std::u16string::npos) {
        Log(u"Can't find backslash from the result(" + modulePath + u") of GetModuleFileName");
        return false;
    }
    serviceFolder = modulePath.substr(0, slash);
    std::u16string system;
    error = processes_.SystemFolder(system);
    if (error != 0 || system.empty()) {
        Log(std::u16string(method) + u": the system folder is unknown " +
            Suffix(HResultFromSystemError(error != 0 ? error : kErrorFileNotFound)));
        return false;
    }
    cmdPath = system + u"\\cmd.exe";
    return true;
}

HResult CDiagnostics::WaitBounded(std::unique_ptr<CRunningProcess>& child, uint32_t ms,
                                  std::u16string_view what) {
    uint32_t waitError = 0;
    switch (child->Wait(ms, waitError)) {
        case WaitOutcome::Ended:
            return kS_OK;
        case WaitOutcome::TimedOut:
            child->Terminate(0);
            child->Wait(kScriptEndWaitMs, waitError);
            Log(std::u16string(what) + u" did not end within " + Decimal(ms / 1000) + u" s and was stopped");
            return kTimeoutResult;
        case WaitOutcome::Failed: {
            const HResult hr = HResultFromSystemError(waitError);
            child->Terminate(0);
            Log(u"Failed to wait for " + std::u16string(what) + u" " + Suffix(hr));
            return hr;
        }
    }
    return kS_OK;
}

HResult CDiagnostics::GetSystemInfo(const InText&, const InText& outFilePath) {
    constexpr std::u16string_view kMethod = u"GetSystemInfo";
    const std::optional<DiagnosisCommand> command = ParseDiagnosisCommand(outFilePath.value_or(u""));
    if (!command) return Refuse(kMethod, u"the command line is not the diagnosis script's");
    std::u16string folder, cmd;
    if (!Folders(kMethod, folder, cmd)) return kE_FAIL;
    const std::u16string script = folder + u"\\diagnosis.bat";
    if (!SameImageName(command->script, script))
        return Refuse(kMethod, u"the script is not the service's own diagnosis.bat");
    if (!IsCallerOutputPath(command->output, u"device.log"))
        return Refuse(kMethod, u"the output is not a plain device.log in a local folder");
    if (!MayRunAsSystem(processes_, store_, kMethod, folder, {cmd, script})) return kE_ACCESSDENIED;
    // The script runs as the system account and opens its output by name: it gets a file of the
    // service's own, in a folder no user can write, never the caller's path.
    // The folder's own separator (a store kept under a host folder uses "/").
    const char16_t separator =
        folder.find(u'\\') == std::u16string::npos && folder.find(u'/') != std::u16string::npos ? u'/'
                                                                                                : u'\\';
    const std::u16string work = folder + separator + std::u16string(kWorkFolderName);
    const std::u16string report = work + separator + WorkFileName(u"device");
    const std::u16string line = u"\"" + cmd + u"\" /d /c \"\"" + script + u"\" \"" + report + u"\"\"";
    if (!FitsBuffer(line, kPathBufferUnits))
        return Refuse(kMethod, u"the command line would exceed 259 characters");
    // The caller's file is opened first, as the caller, and kept open: the report is copied into this
    // very handle, so re-pointing a folder on the path afterwards changes nothing.
    std::unique_ptr<CCallerFile> file;
    bool impersonated = false;
    const int error = processes_.CreateCallerFile(command->output, file, impersonated);
    if (error == kCallerFileElsewhere) return Refuse(kMethod, u"the output path leads elsewhere");
    if (error != 0) return Refuse(kMethod, u"the caller cannot create the output file");
    if (!impersonated) Log(u"GetSystemInfo: the output file was created without the caller's rights");
    const uint32_t folderError = store_.CreatePrivateFolder(work);
    if (folderError != 0) {
        const HResult hr = HResultFromSystemError(folderError);
        Log(u"GetSystemInfo: the service's report folder cannot be made " + Suffix(hr));
        return hr;
    }
    store_.RemoveFile(report);

    std::unique_ptr<CRunningProcess> child;
    const uint32_t startError = processes_.StartChild(cmd, line, child);
    if (startError != 0) {
        const HResult hr = HResultFromSystemError(startError);
        Log(u"Failed to run system diagnosis bat: " + line + u" " + Suffix(hr));
        return hr;
    }
    const HResult result = WaitBounded(child, limits_.reportMs, u"The system diagnosis script");
    child.reset();
    std::string bytes;
    if (store_.ReadWholeFile(report, bytes) != 0) {
        Log(u"GetSystemInfo: the diagnosis script wrote no report");
    } else if (!file->Write(bytes)) {
        Log(u"GetSystemInfo: writing the output file failed");
    }
    store_.RemoveFile(report);
    return result;
}

HResult CDiagnostics::FixErrAuto(uint32_t errCode) {
    std::u16string_view scriptName;
    switch (errCode) {
        case 619:
        case 692:
            scriptName = u"fix692.bat";
            break;
        case 711:
        case 1062:
            scriptName = u"fixservice.bat";
            break;
        default:
            return kS_OK;
    }
    std::u16string modulePath;
    const uint32_t pathError = store_.GetModulePath(modulePath);
    if (pathError != 0) {
        const HResult hr = HResultFromSystemError(pathError);
        Log(u"Failed to call GetModuleFileName " + Suffix(hr));
        return hr;
    }
    const std::size_t slash = modulePath.find_last_of(u"\\/");
    if (slash == std::u16string::npos) {
        Log(u"Can't find backslash from the result(" + modulePath + u") of GetModuleFileName");
        return kE_FAIL;
    }
    std::u16string folder, cmd;
    if (!Folders(u"FixErrAuto", folder, cmd)) return kS_OK;
    const std::u16string script = folder + u"\\" + std::u16string(scriptName);
    if (!MayRunAsSystem(processes_, store_, u"FixErrAuto", folder, {cmd, script})) return kE_ACCESSDENIED;
    const std::u16string line = u"\"" + cmd + u"\" /d /c \"\"" + script + u"\"\"";
    if (!FitsBuffer(line, kPathBufferUnits)) {
        Log(u"FixErrAuto: the repair command line would exceed 259 characters");
        return kS_OK;
    }
    std::unique_ptr<CRunningProcess> child;
    const uint32_t startError = processes_.StartChild(cmd, line, child);
    if (startError != 0) {
        const HResult hr = HResultFromSystemError(startError);
        Log(u"Failed to run system diagnosis bat: " + script + u" " + Suffix(hr));
        return kS_OK;
    }
    return WaitBounded(child, limits_.repairMs, u"The repair script " + std::u16string(scriptName));
}

HResult CDiagnostics::ProduceNsCtlLog(const InText& path, const InText& name) {
    constexpr std::u16string_view kMethod = u"ProduceNsCtlLog";
    std::u16string folder, cmd;
    if (!Folders(kMethod, folder, cmd)) return kE_FAIL;
    const std::u16string tool = folder + u"\\nsCtl.exe";
    if (!SameImageName(path.value_or(u""), tool))
        return Refuse(kMethod, u"the program is not the service's own nsCtl.exe");
    const std::u16string_view output = name.value_or(u"");
    if (!IsCallerOutputPath(output, u"nsctl.log"))
        return Refuse(kMethod, u"the output is not a plain nsctl.log in a local folder");
    if (!MayRunAsSystem(processes_, store_, kMethod, folder, {tool})) return kE_ACCESSDENIED;

    std::unique_ptr<CCallerFile> file;
    bool impersonated = false;
    const int openError = processes_.CreateCallerFile(output, file, impersonated);
    if (openError == kCallerFileElsewhere) return Refuse(kMethod, u"the output path leads elsewhere");
    if (openError != 0) {
        Log(u"Can't open " + std::u16string(output) + u" to write, errno_t: " +
            Decimal(CRuntimeErrno(static_cast<uint32_t>(openError))));
        return kS_FALSE;
    }
    if (!impersonated) Log(u"ProduceNsCtlLog: the output file was opened without the caller's rights");

    std::unique_ptr<CRunningProcess> child;
    std::unique_ptr<CChildOutput> pipe;
    bool pipeFailed = false;
    const uint32_t startError =
        processes_.StartCapturing(tool, u"\"" + tool + u"\"", child, pipe, pipeFailed);
    if (startError != 0) {
        const HResult hr = HResultFromSystemError(startError);
        if (pipeFailed) {
            Log(u"Failed to create pipe, error code " + Decimal(startError));
        } else {
            Log(u"Failed to run nsctl bat: " + Suffix(hr));
        }
        return hr;
    }
    // The copy ends when the output closes, at the tool's limit, or a short while after the tool itself
    // ended while something it started still holds the output open; the job then ends that too.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits_.toolMs);
    std::optional<Clock::time_point> leftOpenUntil;
    HResult result = kS_OK;
    bool timedOut = false, leftOpen = false;
    char buffer[4095];
    for (;;) {
        uint32_t waitError = 0;
        if (!leftOpenUntil && child->Wait(0, waitError) != WaitOutcome::TimedOut)
            leftOpenUntil = Clock::now() + std::chrono::milliseconds(limits_.toolOutputGraceMs);
        const Clock::time_point now = Clock::now();
        const Clock::time_point until = leftOpenUntil ? std::min(*leftOpenUntil, deadline) : deadline;
        if (now >= until) {
            (leftOpenUntil && *leftOpenUntil <= deadline ? leftOpen : timedOut) = true;
            break;
        }
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        std::size_t got = 0;
        const OutputRead read = pipe->Read(
            buffer, sizeof buffer, static_cast<uint32_t>(std::min<int64_t>(remaining, kToolPollMs)), got);
        if (read == OutputRead::Closed) break;
        if (read == OutputRead::Data) {
            if (!file->Write(CaptureBlock(std::string_view(buffer, got)))) {
                Log(u"ProduceNsCtlLog: writing the output file failed");
                break;
            }
        }
    }
    child->Terminate(0);
    child.reset();
    file.reset();
    pipe.reset();
    if (timedOut) {
        Log(u"nsCtl.exe did not close its output within " + Decimal(limits_.toolMs / 1000) +
            u" s and was stopped");
        result = kTimeoutResult;
    } else if (leftOpen) {
        Log(u"nsCtl.exe ended but what it started kept its output open; that was stopped");
    }
    return result;
}

int CRuntimeErrno(uint32_t systemError) {
    // The C runtime's own mapping of system error codes to errno values, as _wfopen_s reports them.
    struct Row {
        uint32_t system;
        int error;
    };
    static constexpr Row kRows[] = {
        {2, 2},    {3, 2},    {4, 24},   {5, 13},  {6, 9},    {8, 12},   {9, 12},   {10, 7},   {11, 8},
        {12, 22},  {13, 22},  {15, 2},   {16, 13}, {17, 18},  {18, 2},   {33, 13},  {53, 2},   {65, 13},
        {67, 2},   {80, 17},  {82, 13},  {83, 13}, {87, 22},  {89, 11},  {108, 13}, {109, 32}, {112, 28},
        {114, 9},  {128, 10}, {129, 10}, {130, 9}, {131, 22}, {132, 13}, {145, 41}, {158, 13}, {161, 2},
        {164, 11}, {167, 13}, {183, 17}, {206, 2}, {215, 11}, {1816, 12}};
    for (const Row& row : kRows)
        if (row.system == systemError) return row.error;
    if (systemError >= 19 && systemError <= 36) return 13;   // write-protect and sharing range: EACCES
    if (systemError >= 188 && systemError <= 202) return 8;  // not an executable: ENOEXEC
    return 22;                                               // EINVAL
}

}  // namespace corvane
