// The report script, the repair scripts and the engine's control tool.
#include "logic/Diagnostics.h"

#include <atomic>
#include <thread>

#include "contract/CorvaneContract.h"
#include "logic/EngineCommandLine.h"

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
    // What cmd.exe or a script's unquoted %~1 could take as syntax, and what a path parser gives meaning;
    // an apostrophe (common in user names) is harmless in all of them.
    constexpr std::u16string_view kSpecial = u"\"&|<>^%!*?/:;,=()[]{}`$@";
    return kSpecial.find(c) == std::u16string_view::npos;
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
    const std::u16string line =
        u"\"" + cmd + u"\" /d /c \"\"" + script + u"\" \"" + command->output + u"\"\"";
    if (!FitsBuffer(line, kPathBufferUnits))
        return Refuse(kMethod, u"the command line would exceed 259 characters");
    {
        std::unique_ptr<CCallerFile> file;
        bool impersonated = false;
        const int error = processes_.CreateCallerFile(command->output, file, impersonated);
        if (error != 0) return Refuse(kMethod, u"the caller cannot create the output file");
        if (!impersonated) Log(u"GetSystemInfo: the output file was created without the caller's rights");
    }
    std::unique_ptr<CRunningProcess> child;
    const uint32_t startError = processes_.StartChild(cmd, line, child);
    if (startError != 0) {
        const HResult hr = HResultFromSystemError(startError);
        Log(u"Failed to run system diagnosis bat: " + line + u" " + Suffix(hr));
        return hr;
    }
    return WaitBounded(child, limits_.reportMs, u"The system diagnosis script");
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

    std::unique_ptr<CCallerFile> file;
    bool impersonated = false;
    const int openError = processes_.CreateCallerFile(output, file, impersonated);
    if (openError != 0) {
        Log(u"Can't open " + std::u16string(output) + u" to write, errno_t: " + Decimal(openError));
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
    // A tool that never closes its output is ended at the limit, which closes the pipe.
    std::atomic<bool> timedOut{false};
    std::thread watchdog([&] {
        uint32_t error = 0;
        if (child->Wait(limits_.toolMs, error) == WaitOutcome::TimedOut) {
            timedOut = true;
            child->Terminate(0);
        }
    });
    HResult result = kS_OK;
    char buffer[4095];
    for (;;) {
        const std::size_t n = pipe->Read(buffer, sizeof buffer);
        if (n == 0) break;
        if (!file->Write(CaptureBlock(std::string_view(buffer, n)))) {
            Log(u"ProduceNsCtlLog: writing the output file failed");
            break;
        }
    }
    child->Terminate(0);
    watchdog.join();
    file.reset();
    pipe.reset();
    if (timedOut) {
        Log(u"nsCtl.exe did not close its output within " + Decimal(limits_.toolMs / 1000) +
            u" s and was stopped");
        result = kTimeoutResult;
    }
    return result;
}

}  // namespace corvane
