// A process table in memory standing in for the system's, for the host build's in-process service and
// for tests on both platforms: started programs appear under their file name and keep running until
// ended; children (scripts, tools) end at once with their configured output unless told to hang; caller
// files are plain files. Time does not pass: a wait on a running process times out at once.
#pragma once
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "logic/ProcessControl.h"

namespace corvane {

struct SimLaunch {
    std::u16string program;
    std::u16string commandLine;
    std::u16string workingFolder;  // empty for children
};

class CSimProcessControl : public CProcessControl {
public:
    uint32_t Snapshot(std::vector<ProcessEntry>& entries) override;
    uint32_t Open(uint32_t id, std::unique_ptr<CRunningProcess>& process) override;
    uint32_t StartDetached(std::u16string_view program, std::u16string_view commandLine,
                           std::u16string_view workingFolder, StartedProcess& started) override;
    uint32_t QueryImagePath(uint32_t id, std::u16string& path) override;
    bool IsAdministratorOwned(std::u16string_view folder) override;
    uint32_t StartChild(std::u16string_view program, std::u16string_view commandLine,
                        std::unique_ptr<CRunningProcess>& child) override;
    uint32_t StartCapturing(std::u16string_view program, std::u16string_view commandLine,
                            std::unique_ptr<CRunningProcess>& child, std::unique_ptr<CChildOutput>& output,
                            bool& pipeFailed) override;
    uint32_t SystemFolder(std::u16string& folder) override;
    bool RunsAsSystem() override;
    std::u16string OwnAccount() override;
    uint32_t ReadRights(std::u16string_view path, ObjectRights& rights) override;
    int CreateCallerFile(std::u16string_view path, std::unique_ptr<CCallerFile>& file,
                         bool& impersonated) override;

    // Test controls.
    // A running process listed under `image`; its full path is `path`, or by default a file of that name
    // in a folder a standard user owns. Returns its id.
    uint32_t AddProcess(std::u16string image, std::u16string path = {});
    // The process `id` ends and a new one with the same id starts (the system reuses ids).
    void ReuseId(uint32_t id, std::u16string image, std::u16string path);
    // Folders whose owner is an administrator account (none by default).
    void SetAdministratorOwned(std::u16string folder, bool owned);
    bool IsRunning(uint32_t id);
    std::vector<std::u16string> RunningImages();
    std::vector<SimLaunch> Launches();
    void SetStartError(uint32_t error) {
        Locked([&] { startError_ = error; });
    }
    void SetSnapshotError(uint32_t error) {
        Locked([&] { snapshotError_ = error; });
    }
    // Processes with this image name survive termination (the system refuses or is slow).
    void SetUnkillable(std::u16string image, bool unkillable);
    // Refuse termination with this error instead.
    void SetTerminateError(uint32_t error) {
        Locked([&] { terminateError_ = error; });
    }
    // Children whose command line contains `text` run until ended.
    void SetHangingChild(std::u16string text) {
        Locked([&] { hangingChild_ = std::move(text); });
    }
    void SetToolOutput(std::string bytes) {
        Locked([&] { toolOutput_ = std::move(bytes); });
    }
    // After its bytes the tool's output stays open (something the tool started holds it): each read
    // waits its full time and times out.
    void SetToolOutputStaysOpen(bool staysOpen) {
        Locked([&] { toolOutputStaysOpen_ = staysOpen; });
    }
    // A child whose command line contains `text` writes `bytes` into the file its command line ends
    // with (as the report script does with its argument).
    void SetScriptWrites(std::u16string text, std::string bytes) {
        Locked([&] { scriptWrites_ = {std::move(text), std::move(bytes)}; });
    }
    // Runs as the system account (the rights rule applies); off by default.
    void SetRunsAsSystem(bool asSystem) {
        Locked([&] { runsAsSystem_ = asSystem; });
    }
    // The rights ReadRights gives for a path (others: owned by the system, changeable by it and the
    // administrators only).
    void SetRights(std::u16string path, ObjectRights rights) {
        Locked([&] { rights_[std::move(path)] = std::move(rights); });
    }
    // Caller files under this path prefix lead elsewhere (a folder on the way was re-pointed).
    void SetRepointedPath(std::u16string prefix) {
        Locked([&] { repointed_ = std::move(prefix); });
    }
    // Hooks for a stand-in that plays a started program: `onStart` runs after a detached start with the
    // new process's id, `onTerminate` after a process was ended through Terminate; both outside the
    // table's lock. Empty hooks remove them.
    using StartHook = std::function<void(uint32_t id, const SimLaunch& launch)>;
    using TerminateHook = std::function<void(uint32_t id)>;
    void SetProcessHooks(StartHook onStart, TerminateHook onTerminate);
    // The process ends by itself with this exit code (no hook runs).
    void EndProcess(uint32_t id, uint32_t exitCode);
    // Caller files land under this folder, named by the path without its drive ("C:\a\b" -> root/a/b).
    void SetFileRoot(std::filesystem::path root) {
        Locked([&] { fileRoot_ = std::move(root); });
    }

private:
    friend class CSimProcess;
    struct Entry {
        std::u16string image;
        bool running = true;
        uint32_t exitCode = kStillActiveCode;
        std::u16string path;
        uint64_t creationTime = 0;
    };
    template <typename F>
    void Locked(F f) {
        std::lock_guard<std::mutex> guard(lock_);
        f();
    }
    uint32_t AddLocked(std::u16string image, std::u16string path);
    uint64_t NextCreationTime();

    std::mutex lock_;
    std::map<uint32_t, Entry> processes_;
    uint32_t nextId_ = 1000;
    std::vector<SimLaunch> launches_;
    std::map<std::u16string, bool> unkillable_;
    std::map<std::u16string, bool> adminOwned_;
    uint64_t lastCreation_ = 0;
    uint32_t startError_ = 0, snapshotError_ = 0, terminateError_ = 0;
    std::u16string hangingChild_;
    std::string toolOutput_;
    bool toolOutputStaysOpen_ = false;
    std::pair<std::u16string, std::string> scriptWrites_;
    std::u16string repointed_;
    bool runsAsSystem_ = false;
    std::map<std::u16string, ObjectRights> rights_;
    std::filesystem::path fileRoot_;
    std::shared_ptr<StartHook> onStart_;
    std::shared_ptr<TerminateHook> onTerminate_;
};

}  // namespace corvane
