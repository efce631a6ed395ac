// StartDataPath, StopDataPath, FindEngineProcess and TerminateEngine.
#include "logic/DataPath.h"

#include "logic/ConfigFiles.h"
#include "logic/DataPathMessages.h"
#include "logic/EngineCommandLine.h"
#include "logic/ControlHelperLogic.h"
#include "logic/ProgramRights.h"
#include "logic/Sha256.h"

namespace corvane {

bool EnginePathOf(CServiceStore& store, std::u16string& enginePath) {
    std::u16string modulePath;
    if (store.GetModulePath(modulePath) != 0) return false;
    const std::size_t slash = modulePath.find_last_of(u"\\/");
    if (slash == std::u16string::npos) return false;
    enginePath = modulePath.substr(0, slash) + u"\\" + kEngineImageName;
    return true;
}

std::unique_ptr<CRunningProcess> OpenRecordedEngine(CProcessControl& processes, CServiceState& state,
                                                    std::u16string_view enginePath) {
    if (!state.engine) return nullptr;
    std::unique_ptr<CRunningProcess> process;
    uint64_t created = 0;
    std::u16string image;
    // The checks run on the opened handle: an id reused between the record and the open shows another
    // creation time, a look-alike another path.
    if (processes.Open(state.engine->id, process) != 0 || !process || !process->Identity(created, image) ||
        created != state.engine->creationTime || !SameImageName(image, enginePath)) {
        state.engine.reset();
        return nullptr;
    }
    return process;
}

bool MayChangeEngine(CServiceStore& store, CProcessControl& processes, const CallerIdentity& caller) {
    std::lock_guard<std::recursive_mutex> lock(ServiceStateLock());
    CServiceState state(store);
    state.Load();
    std::u16string enginePath;
    if (!state.engine || !EnginePathOf(store, enginePath)) return true;
    const CallerIdentity owner = state.engine->owner;
    std::unique_ptr<CRunningProcess> engine = OpenRecordedEngine(processes, state, enginePath);
    uint32_t code = 0;
    if (!engine || !engine->GetExitCode(code) || code != kStillActiveCode) return true;
    return MayActFor(caller, owner);
}

std::unique_ptr<CRunningProcess> CDataPath::FindEngine(CServiceState& state) {
    std::u16string enginePath;
    if (!EnginePathOf(store_, enginePath)) return nullptr;
    return OpenRecordedEngine(processes_, state, enginePath);
}

std::unique_ptr<CRunningProcess> CDataPath::FindEngineProcess() {
    std::lock_guard<std::recursive_mutex> lock(ServiceStateLock());
    CServiceState state(store_);
    state.Load();
    return FindEngine(state);
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
    // The outputs carry their failure values from the start, so a refusal never leaves them as they came.
    isErr = 1;
    if (isIcsEnable) *isIcsEnable = 0;
    const std::u16string_view domain = orchDomain.value_or(std::u16string_view());
    if (!IsEngineHostName(domain) || !FitsBuffer(domain, kPathBufferUnits)) {
        Log(u"StartDataPath refused: the domain is not a host name the engine's command line allows");
        return kE_INVALIDARG;
    }
    // One start or stop at a time: two starts must not both find no engine and start two.
    std::lock_guard<std::recursive_mutex> lock(ServiceStateLock());
    Log(u"Data Path begin to start");

    // Everything is checked before the running engine is touched: a refused start changes nothing.
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

    CServiceState state(store_);
    state.Load();
    std::unique_ptr<CRunningProcess> running = OpenRecordedEngine(processes_, state, enginePath);
    if (running && !MayActFor(caller_, state.engine->owner)) {
        Log(u"StartDataPath refused: the running engine was started by another session or user");
        return kE_ACCESSDENIED;
    }

    EngineCredentials credentials;
    std::u16string clientMessage;
    const HResult read = ReadEngineCredentials(store_, credentials, clientMessage);
    if (Failed(read)) {
        msgErr = clientMessage;
        return read;
    }
    if (credentials.token.empty() || credentials.sn.empty()) {
        Log(u"StartDataPath refused: no token or no serial is stored");
        msgErr = u"Refused engine credentials";
        return kE_INVALIDARG;
    }
    if (!IsEngineToken(credentials.token) || !IsEngineSerial(credentials.sn)) {
        Log(u"StartDataPath refused: the stored token or serial has characters the engine's command line "
            u"does not allow");
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

    if (!MayRunAsSystem(processes_, store_, u"StartDataPath", folder, {enginePath})) {
        msgErr = u"Refused to run the engine: its folder or program is not protected";
        return kE_ACCESSDENIED;
    }

    SetSharingInterfaceIndex(-1);
    if (enableHotSpotOrTransferMode != 0) DetectSharing(*commandLine, isErr, langId, msgErr, isIcsEnable);

    HResult result = kS_OK;
    if (running) {
        result = TerminateEngine(running, msgErr);
        uint32_t code = 0;
        if (running && running->GetExitCode(code) && code == kStillActiveCode) return result;
        running.reset();
    }
    state.engine.reset();

    StartedProcess started;
    const uint32_t startError = processes_.StartDetached(enginePath, *commandLine, folder, started);
    if (startError != 0) {
        const HResult hr = HResultFromSystemError(startError);
        // The token is a credential and the service log is readable by users: it is named, never written.
        std::u16string shown = *commandLine;
        shown.replace(4, credentials.token.size(), SecretForLog(credentials.token));
        Log(u"Failed to start data path: " + enginePath + u" with param " + shown + u" in path " + folder +
            u" " + Suffix(hr));
        msgErr = u"Failed to start data path: " + enginePath;
        (void)state.Save();
        return hr;
    }
    if (started.creationTime != 0) state.engine = EngineRecord{started.id, started.creationTime, caller_};
    else Log(u"The started engine's creation time could not be read: it is not remembered");
    (void)state.Save();
    Log(u"Data Path start successfully");
    return result;
}

HResult CDataPath::StopDataPath(std::optional<std::u16string>& msgErr) {
    std::lock_guard<std::recursive_mutex> lock(ServiceStateLock());
    CServiceState state(store_);
    state.Load();
    const std::optional<EngineRecord> record = state.engine;
    std::unique_ptr<CRunningProcess> engine;
    bool foundInactive = false;
    for (int attempt = 0; attempt < 2 && !engine; ++attempt) {
        CServiceState look = state;
        std::unique_ptr<CRunningProcess> found = FindEngine(look);
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
        if (record) {
            state.engine.reset();
            (void)state.Save();
        }
        return kNothingToStop;
    }
    if (!MayActFor(caller_, record->owner)) {
        Log(u"StopDataPath refused: the engine was started by another session or user");
        return kE_ACCESSDENIED;
    }
    uint32_t waitError = 0;
    if (engine->Wait(kEngineEndWaitMs, waitError) == WaitOutcome::Ended) {
        Log(u"Data path stopped successfully");
        state.engine.reset();
        (void)state.Save();
        return kS_OK;
    }
    Log(u"Call TerminateProcess to stop data path");
    const HResult hr = TerminateEngine(engine, msgErr);
    if (!engine) {
        state.engine.reset();
        (void)state.Save();
    }
    return hr;
}

}  // namespace corvane
