// StartDataPath, StopDataPath, FindEngineProcess and TerminateEngine.
#include "logic/DataPath.h"

#include "logic/ConfigFiles.h"
#include "logic/DataPathMessages.h"
#include "logic/EngineCommandLine.h"
#include "logic/ControlHelperLogic.h"
#include "logic/ProgramRights.h"
#include "logic/Sha256.h"

namespace corvane {
std::unique_ptr<CRunningProcess> CDataPath::FindEngineProcess() {
    std::vector<ProcessEntry> entries;
    if (processes_.Snapshot(entries) != 0) return nullptr;
    for (const ProcessEntry& entry : entries) {
        if (!SameImageName(entry.image, kEngineImageName)) continue;
        std::unique_ptr<CRunningProcess> process;
        if (processes_.Open(entry.id, process) == 0 && process) return process;
        return nullptr;
    }
    return nullptr;
}

HResult CDataPath::TerminateEngine(std::unique_ptr<CRunningProcess>& process,
                                   std::optional<std::u16string>& msgErr) {
    const uint32_t terminateError = process->Terminate(0);
    if (terminateError != 0) {
        const HResult hr = HResultFromSystemError(terminateError);
        Log(u"Failed to call TerminateProcess " + Suffix(hr));
        msgErr = u"Failed to stop data path";
        return hr;
    }
    uint32_t waitError = 0;
    switch (process->Wait(kEngineEndWaitMs, waitError)) {
        case WaitOutcome::Ended:
            Log(u"Data Path stopped successfully");
            process.reset();
            return kS_OK;
        case WaitOutcome::TimedOut:
            Log(u"Timeout waiting for datapath process to terminate");
            msgErr = u"Timeout waiting for datapath process to terminate";
            return kResult8010000A;
        case WaitOutcome::Failed: {
            const HResult hr = HResultFromSystemError(waitError);
            Log(u"Failed to call WaitForSingleObject " + Suffix(hr));
            msgErr = u"Failed to wait datapath process to terminate";
            return hr;
        }
    }
    return kS_OK;
}

void CDataPath::DetectSharing(std::u16string& commandLine, int32_t& isErr, int32_t langId,
                              std::optional<std::u16string>& msgErr, int32_t* isIcsEnable) {
    const HotspotState state = sharing_.QueryHotspotState();
    if (!state.succeeded) {
        if (state.serviceUnavailable) {
            msgErr = std::u16string(DataPathMessageText(DataPathMessage::HotspotNotStarted, langId));
            isErr = 0;
        } else {
            msgErr = std::u16string(DataPathMessageText(DataPathMessage::HotspotStateFailed, langId));
        }
    } else if (state.on) {
        const SharingInterface found = sharing_.FindHotspotSharingInterface(state.adapterId);
        SetSharingInterfaceIndex(found.index);
        if (found.index == -1) {
            msgErr = std::u16string(DataPathMessageText(DataPathMessage::HotspotInterfaceFailed, langId));
        } else if (AppendSharingSwitch(commandLine, found.index)) {
            isErr = 0;
            const std::u16string text =
                FormatInterfaceMessage(DataPathMessage::HotspotOn, langId, found.display, found.index);
            if (!text.empty()) msgErr = text;
            Log(u"Wi-Fi hotspot is on. Wi-Fi interface index is " + Decimal(found.index));
        } else {
            // The switch would not fit: the engine starts without sharing rather than with a cut line.
            SetSharingInterfaceIndex(-1);
            Log(u"The sharing interface switch would make the engine's command line too long");
        }
    } else {
        msgErr = std::u16string(DataPathMessageText(DataPathMessage::HotspotNotStarted, langId));
        isErr = 0;
    }
    if (SharingInterfaceIndex() != -1) return;
    const SharingInterface ics = sharing_.FindIcsSharingInterface();
    SetSharingInterfaceIndex(ics.index);
    if (ics.index == -1) return;
    if (!AppendSharingSwitch(commandLine, ics.index)) {
        SetSharingInterfaceIndex(-1);
        Log(u"The sharing interface switch would make the engine's command line too long");
        return;
    }
    isErr = 0;
    const std::u16string text =
        FormatInterfaceMessage(DataPathMessage::SharingOn, langId, ics.display, ics.index);
    if (!text.empty()) msgErr = text;
    if (isIcsEnable) *isIcsEnable = 1;
    Log(u"The internet connection sharing is enabled.The sharing interface index is " + Decimal(ics.index));
}

HResult CDataPath::StartDataPath(const InText& orchDomain, int32_t enableHotSpotOrTransferMode,
                                 int32_t& isErr, int32_t langId, std::optional<std::u16string>& msgErr,
                                 int32_t* isIcsEnable) {
    const std::u16string_view domain = orchDomain.value_or(std::u16string_view());
    if (!IsEngineHostName(domain) || !FitsBuffer(domain, kPathBufferUnits)) {
        Log(u"StartDataPath refused: the domain is not a host name the engine's command line allows");
        return kE_INVALIDARG;
    }
    isErr = 1;
    if (isIcsEnable) *isIcsEnable = 0;
    Log(u"Data Path begin to start");

    HResult result = kS_OK;
    if (auto running = FindEngineProcess()) {
        result = TerminateEngine(running, msgErr);
        if (FindEngineProcess()) return result;
    }

    std::u16string modulePath;
    const uint32_t pathError = store_.GetModulePath(modulePath);
    if (pathError != 0) {
        const HResult hr = HResultFromSystemError(pathError);
        Log(u"Failed to call GetModuleFileName " + Suffix(hr));
        msgErr = u"Failed to call GetModuleFileName";
        return hr;
    }
    const std::size_t slash = modulePath.find_last_of(u"\\/");
    if (slash == std::u16string::npos) {
        const std::u16string text =
            u"Can't find backslash from the result(" + modulePath + u") of GetModuleFileName";
        Log(text);
        msgErr = text;
        return kResult80004018;
    }
    const std::u16string folder = modulePath.substr(0, slash);
    const std::u16string enginePath = folder + u"\\" + kEngineImageName;
    if (!FitsBuffer(enginePath, kPathBufferUnits)) {
        Log(u"The engine's path would exceed 259 characters");
        msgErr = u"Failed to start data path";
        return HResultFromSystemError(kErrorFilenameTooLong);
    }

    EngineCredentials credentials;
    std::u16string clientMessage;
    const HResult read = ReadEngineCredentials(store_, credentials, clientMessage);
    if (Failed(read)) {
        msgErr = clientMessage;
        return read;
    }
    if (!IsEngineToken(credentials.token) || !IsEngineSerial(credentials.sn)) {
        Log(u"StartDataPath refused: the stored token or serial has characters the engine's command line "
            u"does "
            u"not allow");
        msgErr = u"Refused engine credentials";
        return kE_INVALIDARG;
    }
    std::optional<std::u16string> commandLine =
        BuildEngineCommandLine(credentials.token, credentials.sn, domain);
    if (!commandLine) {
        Log(u"StartDataPath refused: the engine's command line would exceed 259 characters");
        msgErr = u"The engine's command line is too long";
        return HResultFromSystemError(kErrorFilenameTooLong);
    }

    SetSharingInterfaceIndex(-1);
    if (enableHotSpotOrTransferMode != 0) DetectSharing(*commandLine, isErr, langId, msgErr, isIcsEnable);

    if (!MayRunAsSystem(processes_, store_, u"StartDataPath", folder, {enginePath})) {
        msgErr = u"Refused to run the engine: its folder or program is not protected";
        return kE_ACCESSDENIED;
    }
    const uint32_t startError = processes_.StartDetached(enginePath, *commandLine, folder);
    if (startError != 0) {
        const HResult hr = HResultFromSystemError(startError);
        // The token is a credential and the service log is readable by users: it is named, never written.
        std::u16string shown = *commandLine;
        shown.replace(4, credentials.token.size(), SecretForLog(credentials.token));
        Log(u"Failed to start data path: " + enginePath + u" with param " + shown + u" in path " + folder +
            u" " + Suffix(hr));
        msgErr = u"Failed to start data path: " + enginePath;
        return hr;
    }
    Log(u"Data Path start successfully");
    return result;
}

HResult CDataPath::StopDataPath(std::optional<std::u16string>& msgErr) {
    std::unique_ptr<CRunningProcess> engine;
    bool foundInactive = false;
    for (int attempt = 0; attempt < 2 && !engine; ++attempt) {
        std::unique_ptr<CRunningProcess> found = FindEngineProcess();
        foundInactive = false;
        if (!found) continue;
        uint32_t code = 0;
        if (found->GetExitCode(code) && code == kStillActiveCode) {
            engine = std::move(found);
        } else {
            foundInactive = true;
        }
    }
    if (!engine) {
        const std::u16string text =
            foundInactive ? u"Not find the active data path process" : u"Data path process has stopped";
        msgErr = text;
        Log(text);
        return kNothingToStop;
    }
    uint32_t waitError = 0;
    if (engine->Wait(kEngineEndWaitMs, waitError) == WaitOutcome::Ended) {
        Log(u"Data path stopped successfully");
        return kS_OK;
    }
    Log(u"Call TerminateProcess to stop data path");
    return TerminateEngine(engine, msgErr);
}

}  // namespace corvane
