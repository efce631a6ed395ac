// The in-memory process table.
#include "logic/SimProcessControl.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <filesystem>
#include <fstream>

#include "logic/EngineCommandLine.h"
#include "logic/HResult.h"

namespace corvane {

// A handle on one process: after its id was reused it still refers to the process it was opened on,
// which has ended.
class CSimProcess : public CRunningProcess {
public:
    CSimProcess(CSimProcessControl& table, uint32_t id, uint64_t creationTime)
        : table_(table), id_(id), creationTime_(creationTime) {}
    uint32_t Terminate(uint32_t exitCode) override {
        std::shared_ptr<CSimProcessControl::TerminateHook> hook;
        {
            std::lock_guard<std::mutex> guard(table_.lock_);
            auto it = Find();
            if (it == table_.processes_.end() || !it->second.running)
                return 5;  // access denied, as for an ended one
            if (table_.terminateError_ != 0) return table_.terminateError_;
            for (const auto& [image, on] : table_.unkillable_)
                if (on && SameImageName(image, it->second.image)) return 0;
            it->second.running = false;
            it->second.exitCode = exitCode;
            hook = table_.onTerminate_;
        }
        if (hook && *hook) (*hook)(id_);
        return 0;
    }
    WaitOutcome Wait(uint32_t, uint32_t&) override {
        std::lock_guard<std::mutex> guard(table_.lock_);
        auto it = Find();
        return it == table_.processes_.end() || !it->second.running ? WaitOutcome::Ended
                                                                    : WaitOutcome::TimedOut;
    }
    bool GetExitCode(uint32_t& code) override {
        std::lock_guard<std::mutex> guard(table_.lock_);
        auto it = Find();
        if (it == table_.processes_.end()) {
            code = 0;  // reused id: this process has ended
            return table_.processes_.count(id_) != 0;
        }
        code = it->second.exitCode;
        return true;
    }
    bool Identity(uint64_t& creationTime, std::u16string& imagePath) override {
        std::lock_guard<std::mutex> guard(table_.lock_);
        auto it = Find();
        if (it == table_.processes_.end()) return false;
        creationTime = it->second.creationTime;
        imagePath = it->second.path;
        return true;
    }

private:
    std::map<uint32_t, CSimProcessControl::Entry>::iterator Find() {
        auto it = table_.processes_.find(id_);
        if (it != table_.processes_.end() && it->second.creationTime != creationTime_)
            return table_.processes_.end();
        return it;
    }
    CSimProcessControl& table_;
    uint32_t id_;
    uint64_t creationTime_;
};

namespace {

class CSimOutput : public CChildOutput {
public:
    CSimOutput(std::string bytes, bool staysOpen) : bytes_(std::move(bytes)), staysOpen_(staysOpen) {}
    OutputRead Read(char* buffer, std::size_t size, uint32_t waitMs, std::size_t& got) override {
        got = std::min(size, bytes_.size() - offset_);
        std::copy_n(bytes_.data() + offset_, got, buffer);
        offset_ += got;
        if (got > 0) return OutputRead::Data;
        if (!staysOpen_) return OutputRead::Closed;
        // Something still holds the output open: the wait runs out (time passes here, the wait is bounded).
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return OutputRead::TimedOut;
    }

private:
    std::string bytes_;
    std::size_t offset_ = 0;
    bool staysOpen_;
};

class CSimFile : public CCallerFile {
public:
    explicit CSimFile(std::ofstream stream) : stream_(std::move(stream)) {}
    bool Write(std::string_view bytes) override {
        stream_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(stream_);
    }

private:
    std::ofstream stream_;
};

std::u16string FileNameOf(std::u16string_view path) {
    const std::size_t slash = path.find_last_of(u"\\/");
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

// Creation times differ between test runs too, so a state file left by an earlier run never names a
// process of this one.
uint64_t CSimProcessControl::NextCreationTime() {
    const uint64_t now = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    lastCreation_ = std::max(lastCreation_ + 1, now);
    return lastCreation_;
}

uint32_t CSimProcessControl::AddLocked(std::u16string image, std::u16string path) {
    const uint32_t id = nextId_;
    nextId_ += 4;
    if (path.empty()) path = u"C:\\Users\\someone\\Downloads\\" + image;
    processes_[id] = Entry{std::move(image), true, kStillActiveCode, std::move(path), NextCreationTime()};
    return id;
}

uint32_t CSimProcessControl::AddProcess(std::u16string image, std::u16string path) {
    std::lock_guard<std::mutex> guard(lock_);
    return AddLocked(std::move(image), std::move(path));
}

void CSimProcessControl::ReuseId(uint32_t id, std::u16string image, std::u16string path) {
    std::lock_guard<std::mutex> guard(lock_);
    processes_[id] = Entry{std::move(image), true, kStillActiveCode, std::move(path), NextCreationTime()};
}

void CSimProcessControl::SetAdministratorOwned(std::u16string folder, bool owned) {
    std::lock_guard<std::mutex> guard(lock_);
    adminOwned_[std::move(folder)] = owned;
}

bool CSimProcessControl::IsAdministratorOwned(std::u16string_view folder) {
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& [owned, on] : adminOwned_)
        if (on && owned.size() == folder.size() && SameImageName(owned, folder)) return true;
    return false;
}

uint32_t CSimProcessControl::QueryImagePath(uint32_t id, std::u16string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = processes_.find(id);
    if (it == processes_.end() || !it->second.running) return 87;
    path = it->second.path;
    return 0;
}

bool CSimProcessControl::IsRunning(uint32_t id) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = processes_.find(id);
    return it != processes_.end() && it->second.running;
}

std::vector<std::u16string> CSimProcessControl::RunningImages() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::u16string> images;
    for (const auto& [id, entry] : processes_)
        if (entry.running) images.push_back(entry.image);
    return images;
}

std::vector<SimLaunch> CSimProcessControl::Launches() {
    std::lock_guard<std::mutex> guard(lock_);
    return launches_;
}

void CSimProcessControl::SetUnkillable(std::u16string image, bool unkillable) {
    std::lock_guard<std::mutex> guard(lock_);
    unkillable_[std::move(image)] = unkillable;
}

uint32_t CSimProcessControl::Snapshot(std::vector<ProcessEntry>& entries) {
    std::lock_guard<std::mutex> guard(lock_);
    if (snapshotError_ != 0) return snapshotError_;
    entries.clear();
    for (const auto& [id, entry] : processes_)
        if (entry.running) entries.push_back({entry.image, id});
    return 0;
}

uint32_t CSimProcessControl::Open(uint32_t id, std::unique_ptr<CRunningProcess>& process) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = processes_.find(id);
    if (it == processes_.end() || !it->second.running) return 87;
    process = std::make_unique<CSimProcess>(*this, id, it->second.creationTime);
    return 0;
}

uint32_t CSimProcessControl::StartDetached(std::u16string_view program, std::u16string_view commandLine,
                                           std::u16string_view workingFolder, StartedProcess& started) {
    std::shared_ptr<StartHook> hook;
    SimLaunch launch{std::u16string(program), std::u16string(commandLine), std::u16string(workingFolder)};
    uint32_t id = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (startError_ != 0) return startError_;
        launches_.push_back(launch);
        id = AddLocked(FileNameOf(program), std::u16string(program));
        started = {id, processes_[id].creationTime};
        hook = onStart_;
    }
    if (hook && *hook) (*hook)(id, launch);
    return 0;
}

void CSimProcessControl::SetProcessHooks(StartHook onStart, TerminateHook onTerminate) {
    std::lock_guard<std::mutex> guard(lock_);
    onStart_ = std::make_shared<StartHook>(std::move(onStart));
    onTerminate_ = std::make_shared<TerminateHook>(std::move(onTerminate));
}

void CSimProcessControl::EndProcess(uint32_t id, uint32_t exitCode) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = processes_.find(id);
    if (it == processes_.end() || !it->second.running) return;
    it->second.running = false;
    it->second.exitCode = exitCode;
}

uint32_t CSimProcessControl::StartChild(std::u16string_view program, std::u16string_view commandLine,
                                        std::unique_ptr<CRunningProcess>& child) {
    std::lock_guard<std::mutex> guard(lock_);
    if (startError_ != 0) return startError_;
    launches_.push_back({std::u16string(program), std::u16string(commandLine), {}});
    const uint32_t id = AddLocked(FileNameOf(program), std::u16string(program));
    const bool hangs = !hangingChild_.empty() && commandLine.find(hangingChild_) != std::u16string_view::npos;
    if (!scriptWrites_.first.empty() && commandLine.find(scriptWrites_.first) != std::u16string_view::npos) {
        // The script writes into the file its command line ends with: ... "<file>"".
        const std::u16string_view line = commandLine;
        const std::size_t end = line.rfind(u"\"\"");
        const std::size_t begin = end == std::u16string_view::npos ? end : line.rfind(u'"', end - 1);
        if (begin != std::u16string_view::npos && begin < end) {
            std::ofstream out(std::filesystem::path(std::u16string(line.substr(begin + 1, end - begin - 1))),
                              std::ios::binary | std::ios::trunc);
            out << scriptWrites_.second;
        }
    }
    if (!hangs) {
        processes_[id].running = false;
        processes_[id].exitCode = 0;
    }
    child = std::make_unique<CSimProcess>(*this, id, processes_[id].creationTime);
    return 0;
}

uint32_t CSimProcessControl::StartCapturing(std::u16string_view program, std::u16string_view commandLine,
                                            std::unique_ptr<CRunningProcess>& child,
                                            std::unique_ptr<CChildOutput>& output, bool& pipeFailed) {
    pipeFailed = false;
    const uint32_t error = StartChild(program, commandLine, child);
    if (error != 0) return error;
    std::lock_guard<std::mutex> guard(lock_);
    output = std::make_unique<CSimOutput>(toolOutput_, toolOutputStaysOpen_);
    return 0;
}

uint32_t CSimProcessControl::SystemFolder(std::u16string& folder) {
    folder = u"C:\\Windows\\system32";
    return 0;
}

bool CSimProcessControl::RunsAsSystem() {
    std::lock_guard<std::mutex> guard(lock_);
    return runsAsSystem_;
}

std::u16string CSimProcessControl::OwnAccount() {
    return u"S-1-5-18";
}

uint32_t CSimProcessControl::ReadRights(std::u16string_view path, ObjectRights& rights) {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = rights_.find(std::u16string(path));
    if (found != rights_.end()) {
        rights = found->second;
        return 0;
    }
    rights = ObjectRights{
        u"S-1-5-18", true, {{u"S-1-5-18", 0x1F01FF}, {u"S-1-5-32-544", 0x1F01FF}, {u"S-1-1-0", 0x1200A9}}};
    return 0;
}

int CSimProcessControl::CreateCallerFile(std::u16string_view path, std::unique_ptr<CCallerFile>& file,
                                         bool& impersonated) {
    impersonated = false;
    std::u16string elsewhere;
    Locked([&] { elsewhere = repointed_; });
    if (!elsewhere.empty() && path.starts_with(elsewhere)) return kCallerFileElsewhere;
    std::u16string rest(path.size() > 3 && path[1] == u':' ? path.substr(3) : path);
    for (char16_t& c : rest)
        if (c == u'\\') c = u'/';
    std::filesystem::path root;
    Locked([&] { root = fileRoot_; });
    std::ofstream stream(root.empty() ? std::filesystem::path(rest) : root / std::filesystem::path(rest),
                         std::ios::binary | std::ios::trunc);
    if (!stream) return 3;  // the folder is missing: ERROR_PATH_NOT_FOUND, as Windows answers
    file = std::make_unique<CSimFile>(std::move(stream));
    return 0;
}

}  // namespace corvane
