// The diagnosis worker and its steps. Every step is best effort: a missing tool, a failed copy or a
// failed ping leaves its file out or writes its error into the file concerned, and the run goes on.
#include "diagnosis/Diagnosis.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

#include "core/HostResolve.h"
#include "core/Log.h"
#include "core/SecretMask.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "diagnosis/DiagnosisUpload.h"
#include "diagnosis/ZipWriter.h"
#include "engine/EnginePipe.h"
#include "engine/EngineState.h"
#include "helper/HelperClient.h"
#include "platform/ComApartment.h"
#include "platform/FileStream.h"
#include "platform/Files.h"
#include "platform/Icmp.h"
#include "platform/Messenger.h"
#include "platform/Processes.h"
#include "platform/ProgramFolder.h"
#include "platform/Utf16Le.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr int kZipLevel = 6;
constexpr uint32_t kPingTimeoutMs = 1000;
constexpr uint32_t kPingReplySize = 80;
constexpr uint32_t kIpErrorCapacity = 511;
constexpr int kPingsPerTarget = 3;

constexpr std::u16string_view kEngineLogs[] = {u"kxconn.log",   u"kxconn.log.1",   u"kxconn.log.2",
                                               u"cpeagent.log", u"cpeagent.log.1", u"cpeagent.log.2",
                                               u"service.log"};
constexpr std::u16string_view kCaptures[] = {u"lan0.pcap", u"lan1.pcap", u"wan0.pcap", u"wan1.pcap"};
constexpr std::u16string_view kZipEntries[] = {
    u"device.log",   u"connection.log", u"network.log",    u"kxconn.log",  u"kxconn.log.1", u"kxconn.log.2",
    u"cpeagent.log", u"cpeagent.log.1", u"cpeagent.log.2", u"service.log", u"dispatch.log", u"ferronwin.dmp",
    u"lan0.pcap",    u"lan1.pcap",      u"wan0.pcap",      u"wan1.pcap",   u"nsctl.log"};
constexpr std::u16string_view kLooseFiles[] = {
    u"device.log",   u"dispatch.log", u"network.log",    u"connection.log", u"kxconn.log",  u"kxconn.log.1",
    u"kxconn.log.2", u"cpeagent.log", u"cpeagent.log.1", u"cpeagent.log.2", u"service.log", u"ferronwin.dmp",
    u"lan0.pcap",    u"lan1.pcap",    u"wan0.pcap",      u"wan1.pcap",      u"nsctl.log"};

std::atomic<bool> g_networkReachable{false};
std::atomic<bool> g_uploadAccepted{false};

std::u16string InFolder(std::u16string_view folder, std::u16string_view name) {
    std::u16string path(folder);
    if (!path.empty() && path.back() != u'\\' && path.back() != u'/') path += u'\\';
    path += name;
    return path;
}

// Appends UTF-16LE text to a file the stream holds.
bool WriteText(platform::CFileStream& file, std::u16string_view text) {
    std::string bytes;
    platform::AppendUtf16Le(bytes, text);
    return file.Write(bytes.data(), bytes.size());
}

// The dotted address as a 32-bit value, first piece in the lowest byte; 0 when it is not one.
uint32_t PackAddress(std::u16string_view text) {
    if (text.size() > 19) text = text.substr(0, 19);
    uint32_t address = 0;
    int shift = 0;
    std::size_t start = 0;
    while (start <= text.size() && shift < 32) {
        std::size_t dot = text.find(u'.', start);
        if (dot == std::u16string_view::npos) dot = text.size();
        uint32_t piece = 0;
        for (std::size_t i = start; i < dot; ++i) {
            if (text[i] < u'0' || text[i] > u'9') return 0;
            piece = piece * 10 + static_cast<uint32_t>(text[i] - u'0');
            if (piece > 255) return 0;
        }
        address |= piece << shift;
        shift += 8;
        start = dot + 1;
    }
    return address;
}

std::u16string AddressText(uint32_t address) {
    std::u16string text;
    for (int i = 0; i < 4; ++i) {
        if (i) text += u'.';
        text += FormatText(u"%u", (address >> (8 * i)) & 0xFFu);
    }
    return text;
}

std::u16string TrimBlanks(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
    return std::u16string(text);
}

void CopyIfPresent(std::u16string_view from, std::u16string_view to) {
    if (!platform::FileExists(from)) return;
    if (!platform::CopyOneFile(from, to))
        LogFormat(u"Failed to copy %s for the diagnosis, error code %d", std::u16string(from),
                  platform::LastFileError());
}

// Runs are serialised: one runs, at most one waits. A later request is folded into the waiting one.
struct RunQueue {
    std::mutex lock;
    std::condition_variable changed;
    bool running = false;
    std::optional<DiagnosisRequest> waiting;
};
RunQueue& Queue() {
    static RunQueue* queue = new RunQueue;  // never destroyed: a worker may outlive static clean-up
    return *queue;
}

void FinishRun() {
    RunQueue& q = Queue();
    {
        std::lock_guard l(q.lock);
        q.running = false;
    }
    q.changed.notify_all();
}

}  // namespace

bool NetworkReachable() {
    return g_networkReachable.load();
}
bool UploadRequestAccepted() {
    return g_uploadAccepted.load();
}
void SetUploadRequestAccepted(bool accepted) {
    g_uploadAccepted.store(accepted);
}

DiagnosisFolders CurrentDiagnosisFolders() {
    DiagnosisFolders folders;
    folders.diagnosis = LogFolder();
    folders.program = platform::ProgramFolder();
    return folders;
}

bool WriteConnectionSummary(const DiagnosisFolders& folders, bool connected, uint32_t mode) {
    std::u16string text;
    if (connected) {
        if (mode == NATIVE) text = u"Connection Mode : NATIVE";
        if (mode == VCPE) text = u"Connection Mode : VCPE";
        if (mode == DCPE) text = u"Connection Mode : DCPE";
        text += u"\nConnection Status: Connected\n";
        if (mode != NATIVE) {
            text += u"Server IP:";
            const std::u16string gateway = GetSetting(u"GatewayIp", u"");
            if (!gateway.empty()) text += gateway + u"\n";
        }
    } else {
        text = u"Connection Status: Not connected\n";
    }
    platform::CFileStream file;
    if (!file.Open(InFolder(folders.diagnosis, u"connection.log"), platform::FileOpenMode::kAppend,
                   platform::FileShare::kNone)) {
        LogFormatMessageIdAtLevel(kLogDebug, kMsgConnectionSummaryFailed, file.Error(),
                                  platform::ErrorText(file.Error()));
    } else if (!WriteText(file, MaskSecrets(text, StoredSecrets()))) {
        LogFormatMessageIdAtLevel(kLogDebug, kMsgConnectionSummaryFailed, file.Error(),
                                  platform::ErrorText(file.Error()));
    }
    return connected && mode == NATIVE;
}

std::vector<DiagnosisPingTarget> DiagnosisPingTargets() {
    std::u16string list = GetSettingText(u"DiagnosisPingTargets", u"");
    if (TrimBlanks(list).empty()) list = kDefaultPingTargets;
    std::vector<DiagnosisPingTarget> targets;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(u',', start);
        if (comma == std::u16string::npos) comma = list.size();
        std::u16string target = TrimBlanks(std::u16string_view(list).substr(start, comma - start));
        if (!target.empty()) {
            const bool resolve = !IsIpv4Text(target);
            targets.push_back({std::move(target), resolve});
        }
        start = comma + 1;
    }
    return targets;
}

bool PingTarget(std::u16string_view target, bool resolve, std::u16string_view logPath) {
    platform::CFileStream log;
    if (!log.Open(logPath, platform::FileOpenMode::kAppend, platform::FileShare::kNone)) {
        LogFormatMessageIdAtLevel(kLogDebug, kMsgNetworkLogFailed, log.Error(),
                                  platform::ErrorText(log.Error()));
        return false;
    }
    if (log.Created()) {
        static constexpr unsigned char kStart[] = {0xFF, 0xFE, 0x00, 0x00};
        (void)log.Write(kStart, sizeof kStart);
    }
    auto write = [&](std::u16string_view text) { (void)WriteText(log, text); };
    write(u"\n");
    std::u16string address(target);
    if (resolve) {
        std::u16string answer;
        if (!ResolveHostIpv4(target, answer)) {
            write(FormatText(u"Can not resolve domain %s\n", std::u16string(target)));
            return false;
        }
        address = answer.substr(0, answer.find(u','));
    }
    const uint32_t packed = PackAddress(address);
    if (packed == 0) {
        write(FormatText(u"Invalid IP addr %s in diagnosis\n", std::u16string(target)));
        return false;
    }
    platform::CIcmpEcho icmp;
    if (!icmp.IsOpen()) {
        write(FormatText(u"Failed to call IcmpCreateFile with error code %d\n", icmp.OpenError()));
        return false;
    }
    if (resolve) {
        write(FormatText(u"Pinging %s [%s] with 32 bytes of data:\n", std::u16string(target), address));
    } else {
        write(FormatText(u"Pinging %s with 32 bytes of data:\n", address));
    }
    char data[32] = "Data Buffer";
    bool replied = false;
    for (int i = 0; i < kPingsPerTarget; ++i) {
        const platform::IcmpEchoResult echo =
            icmp.Send(packed, data, sizeof data, kPingReplySize, kPingTimeoutMs);
        if (echo.answered && echo.status == 0) {
            write(FormatText(u"Reply from %s: bytes=32 time=%d ms\n", AddressText(echo.address),
                             echo.roundTripMs));
            replied = true;
            continue;
        }
        const uint32_t status = echo.answered ? echo.status : echo.error;
        std::u16string text;
        if (platform::IpErrorText(status, kIpErrorCapacity, text)) write(FormatText(u"%s\n", text));
    }
    return replied;
}

void RunNetworkTests(const DiagnosisFolders& folders) {
    g_networkReachable.store(false);
    const std::u16string logPath = InFolder(folders.diagnosis, u"network.log");
    for (const DiagnosisPingTarget& target : DiagnosisPingTargets()) {
        if (PingTarget(target.target, target.resolve, logPath)) g_networkReachable.store(true);
    }
}

void RunToolAndWait(std::u16string_view executable, std::u16string_view folder,
                    std::u16string_view parameters, uint32_t timeoutMs) {
    if (!platform::FileExists(executable)) return;
    const platform::ShellRun run =
        platform::ShellExecuteHiddenAndWait(u"open", executable, parameters, folder, timeoutMs);
    if (run.started && !run.ended) {
        LogFormatMessageIdAtLevel(kLogWarn, kMsgDiagnosisToolStillRunning, std::u16string(executable),
                                  timeoutMs / 1000);
    }
}

void RunEngineDiagnosis(const DiagnosisFolders& folders, uint32_t toolTimeoutMs) {
    const std::u16string dispatchLog = InFolder(folders.diagnosis, u"dispatch.log");
    RunToolAndWait(folders.program + u"dispatch.exe", folders.program, u"diagnose \"" + dispatchLog + u"\"",
                   toolTimeoutMs);
    platform::CFileStream file;
    if (!file.Open(dispatchLog, platform::FileOpenMode::kAppend, platform::FileShare::kReadWrite)) {
        LogFormat(u"Failed to write dispatch result to file, error code %d", file.Error());
        return;
    }
    int32_t index = -1;
    const int32_t error = QueryShareInterface(index);
    std::u16string section = u"\n---------share_wan_if---------\n";
    section += error == 0 ? FormatText(u"IfIndex=%d\n", index)
                          : FormatText(u"Failed to get ifIndex error code=%d", error);
    const std::string bytes = Utf16ToUtf8(section);
    (void)file.Write(bytes.data(), bytes.size());
}

void BuildDiagnosisZip(const DiagnosisFolders& folders, bool capture) {
    const std::u16string zipPath = InFolder(folders.diagnosis, kDiagnosisZipName);
    CZipWriter zip;
    if (folders.diagnosis.empty() || !zip.Create(zipPath, kZipLevel)) {
        LogMessageIdAtLevel(kMsgDiagnosisZipFailed, kLogDebug);
        return;
    }
    for (std::u16string_view name : kEngineLogs)
        CopyIfPresent(folders.program + std::u16string(name), InFolder(folders.diagnosis, name));
    if (capture) {
        for (std::u16string_view name : kCaptures)
            CopyIfPresent(folders.program + u"brenx\\log\\0\\" + std::u16string(name),
                          InFolder(folders.diagnosis, name));
    }
    std::vector<std::u16string> dumps;
    if (platform::FindFileNames(folders.program, u"*.dmp", dumps)) {
        for (const std::u16string& dump : dumps) {
            if (dump == u"." || dump == u"..") continue;
            CopyIfPresent(folders.program + dump, InFolder(folders.diagnosis, u"ferronwin.dmp"));
        }
    }
    auto add = [&](std::u16string_view name) {
        std::u16string entry = u"diagnosis\\" + std::u16string(name);
        for (char16_t& c : entry) {
            if (c == u'\\') c = u'/';
        }
        if (!zip.AddFile(InFolder(folders.diagnosis, name), Utf16ToUtf8(entry)))
            LogFormat(u"Failed to add %s to the diagnosis bundle, error code %d", entry, zip.Error());
    };
    for (std::u16string_view name : kZipEntries) {
        if (platform::FileExists(InFolder(folders.diagnosis, name))) add(name);
    }
    const std::u16string clientLog = LogFilePath();
    if (!clientLog.empty() && platform::FileExists(clientLog)) {
        const std::u16string copy = InFolder(folders.diagnosis, u"ui.log");
        uint32_t error = 0;
        if (CopyMaskedText(clientLog, copy, StoredSecrets(), error)) {
            add(u"ui.log");
        } else {
            LogFormat(u"Failed to copy the client log for the diagnosis, error code %d", error);
        }
        platform::DeleteOneFile(copy);
    }
    if (!zip.Close()) LogMessageIdAtLevel(kMsgDiagnosisZipFailed, kLogDebug);
}

void CleanDiagnosisFiles(const DiagnosisFolders& folders) {
    for (std::u16string_view name : kLooseFiles) {
        const std::u16string path = InFolder(folders.diagnosis, name);
        if (platform::FileExists(path)) platform::DeleteOneFile(path);
    }
}

void RunDiagnosis(const DiagnosisRequest& request) {
    const platform::CComApartment apartment;
    if (!apartment.Usable()) {
        LogFormatMessageId(kMsgComInitFailed, static_cast<uint32_t>(apartment.Error()),
                           platform::ErrorText(static_cast<uint32_t>(apartment.Error())));
    }
    const DiagnosisFolders& folders = request.folders;
    bool capture = false;
    if (request.collect) {
        const DiagnosisConnection connection =
            request.mainWindow ? request.mainWindow() : DiagnosisConnection{};
        capture = WriteConnectionSummary(folders, connection.connected, connection.mode);
        if (capture)
            RunToolAndWait(folders.program + u"dispatch.exe", folders.program,
                           u"\"set_brenx_pcapEnable/engine=0 1\"", request.toolTimeoutMs);
        LogMessageIdAtLevel(kMsgDiagnosisSystemInfo, kLogInfo);
        (void)GetSystemInfo(u"", u"cmd.exe /C \"\"" + folders.program + u"diagnosis.bat\" \"" +
                                     InFolder(folders.diagnosis, u"device.log") + u"\"\"");
        LogMessageIdAtLevel(kMsgDiagnosisNetworkTests, kLogInfo);
        RunNetworkTests(folders);
        LogMessageIdAtLevel(kMsgDiagnosisNetworkTestsDone, kLogInfo);
        if (capture) {
            LogMessageIdAtLevel(kMsgDiagnosisEngine, kLogInfo);
            RunEngineDiagnosis(folders, request.toolTimeoutMs);
            RunToolAndWait(folders.program + u"dispatch.exe", folders.program,
                           u"\"set_brenx_pcapEnable/engine=0 0\"", request.toolTimeoutMs);
        }
        ProduceNsCtlLog(folders.program + u"nsCtl.exe", InFolder(folders.diagnosis, u"nsctl.log"));
        BuildDiagnosisZip(folders, capture);
    }
    EngineState& engine = GetEngineState();
    engine.ignoreAuthFailure.store(true);
    bool rejected = false;
    UploadDiagnosis(folders, capture, rejected);
    if (rejected) {
        // The window's handling of 39321 clears ignoreAuthFailure. A run with no window to tell (the
        // heartbeat's, the disconnect notice's) tells nobody and clears the flag itself: nobody else would,
        // and every later heartbeat 401 would be ignored; the next heartbeat meets the refusal itself.
        if (!request.notifyWindow ||
            !platform::PostWindowMessage(request.notifyWindow, UM_DIAGNOSIS_DONE, kDiagnosisSignInRejected, 0))
            rejected = false;
    } else if (request.collect && request.notifyWindow) {
        uintptr_t code = 0;
        if (NetworkReachable()) code += kDiagnosisNetworkReachable;
        if (UploadRequestAccepted()) code += kDiagnosisUploadAccepted;
        platform::PostWindowMessage(request.notifyWindow, UM_DIAGNOSIS_DONE, code, 0);
    }
    if (!rejected) engine.ignoreAuthFailure.store(false);
    CleanDiagnosisFiles(folders);
}

std::unique_ptr<platform::Thread> StartDiagnosis(DiagnosisRequest request) {
    if (request.folders.diagnosis.empty() && request.folders.program.empty())
        request.folders = CurrentDiagnosisFolders();
    if (!request.folders.diagnosis.empty()) platform::CreateOneDirectory(request.folders.diagnosis);
    RunQueue& q = Queue();
    std::unique_lock l(q.lock);
    if (q.waiting) {
        // A run already waits and will collect (or upload) after the current one: fold this request into
        // it rather than repeat it, keeping a window that wants the result.
        if (request.collect && !q.waiting->collect) {
            q.waiting->collect = 1;
            q.waiting->mainWindow = request.mainWindow;
        }
        if (!q.waiting->notifyWindow && request.collect) q.waiting->notifyWindow = request.notifyWindow;
        l.unlock();
        LogMessageIdAtLevel(kMsgDiagnosisAlreadyRunning, kLogDebug);
        return nullptr;
    }
    if (q.running && !request.collect) {
        // The run under way ends with an upload of the newest bundle: an upload-only run adds nothing.
        l.unlock();
        LogMessageIdAtLevel(kMsgDiagnosisAlreadyRunning, kLogDebug);
        return nullptr;
    }
    const bool waits = q.running;
    if (waits) {
        q.waiting = std::move(request);
    } else {
        q.running = true;
    }
    l.unlock();
    std::function<uint32_t()> body;
    if (waits) {
        body = [] {
            RunQueue& queue = Queue();
            std::unique_lock hold(queue.lock);
            queue.changed.wait(hold, [&] { return !queue.running; });
            queue.running = true;
            const DiagnosisRequest mine = std::move(*queue.waiting);
            queue.waiting.reset();
            hold.unlock();
            RunDiagnosis(mine);
            FinishRun();
            return 0u;
        };
    } else {
        body = [mine = std::move(request)] {
            RunDiagnosis(mine);
            FinishRun();
            return 0u;
        };
    }
    platform::ThreadCreation created = platform::StartThread(std::move(body));
    if (!created.thread) {
        std::lock_guard hold(q.lock);
        if (waits) {
            q.waiting.reset();
        } else {
            q.running = false;
        }
        q.changed.notify_all();
    }
    return std::move(created.thread);
}

DiagnosisStarter MakeDiagnosisStarter(DiagnosisConnectionSource connection) {
    return [connection = std::move(connection)](const DiagnosisRun& run) {
        DiagnosisRequest request;
        request.collect = run.collect;
        request.notifyWindow = run.notifyMainWindow ? platform::MainWindow() : nullptr;
        request.mainWindow = connection;
        StartDiagnosis(std::move(request));  // the run goes on by itself; its thread handle is not needed
    };
}

}  // namespace velora
