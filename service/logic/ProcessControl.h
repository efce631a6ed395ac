// What the method logic needs of the system's processes: the process list, opening a listed process,
// starting the engine (detached) and the scripts and tools (waited for or read from), the system folder
// that holds cmd.exe, and files written for the caller. The Windows host implements it with the real
// calls; CSimProcessControl is a table in memory for the host build and for tests on both platforms.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "logic/CallerFile.h"
#include "logic/ChildOutput.h"
#include "logic/ProgramRights.h"
#include "logic/RunningProcess.h"

namespace corvane {

struct ProcessEntry {
    std::u16string image;  // file name only, as the process list shows it
    uint32_t id = 0;
};

// CreateCallerFile's answer for a file that would land elsewhere than the checked path (the system's
// ERROR_REPARSE_POINT_ENCOUNTERED).
inline constexpr int kCallerFileElsewhere = 4395;

// A process the service started, as it can be recognised later.
struct StartedProcess {
    uint32_t id = 0;
    uint64_t creationTime = 0;
};

class CProcessControl {
public:
    virtual ~CProcessControl() = default;

    // The running processes, in list order. 0 or a system error code.
    virtual uint32_t Snapshot(std::vector<ProcessEntry>& entries) = 0;
    // Opens a process with the rights to synchronise, query, read memory and terminate. 0 or an error.
    virtual uint32_t Open(uint32_t id, std::unique_ptr<CRunningProcess>& process) = 0;
    // Starts `program` with `commandLine`, without a window, without handle inheritance, in
    // `workingFolder`, and lets it run; `started` tells it apart from any later process. 0 or a system
    // error code.
    virtual uint32_t StartDetached(std::u16string_view program, std::u16string_view commandLine,
                                   std::u16string_view workingFolder, StartedProcess& started) = 0;
    // The full image path of a listed process. 0 or a system error code.
    virtual uint32_t QueryImagePath(uint32_t id, std::u16string& path) = 0;
    // True when the folder's owner is an administrator account (the administrators group, the system
    // account or TrustedInstaller): a folder a standard user made is not.
    virtual bool IsAdministratorOwned(std::u16string_view folder) = 0;
    // Starts `program` with `commandLine` without a window, without handle inheritance, in the service's
    // current folder, and hands it over for waiting. The child runs in a job: ending it also ends what it
    // started, and whatever of it is left when the handed-over object goes is ended then. When the job
    // cannot be made, nothing runs (an error). 0 or an error.
    virtual uint32_t StartChild(std::u16string_view program, std::u16string_view commandLine,
                                std::unique_ptr<CRunningProcess>& child) = 0;
    // Starts `program` hidden with its standard output and error going to a pipe whose read end is
    // handed over; the child runs in a job as with StartChild. `pipeFailed` tells a failed pipe from a
    // failed start. 0 or a system error code.
    virtual uint32_t StartCapturing(std::u16string_view program, std::u16string_view commandLine,
                                    std::unique_ptr<CRunningProcess>& child,
                                    std::unique_ptr<CChildOutput>& output, bool& pipeFailed) = 0;
    // The system folder (where cmd.exe lies), without a trailing backslash. 0 or an error.
    virtual uint32_t SystemFolder(std::u16string& folder) = 0;
    // Whether what this process starts runs with the system account's rights (the service does; the
    // plain local server runs as the user who launched it).
    virtual bool RunsAsSystem() = 0;
    // The string SID of the account this process runs as ("S-1-5-18" for the service); empty if unknown.
    virtual std::u16string OwnAccount() = 0;
    // The owner and access entries of a file or folder. 0 or a system error code.
    virtual uint32_t ReadRights(std::u16string_view path, ObjectRights& rights) = 0;
    // Creates or truncates `path` for the caller of the current method and keeps it open. `impersonated`
    // tells whether the caller's rights were taken on for the open. A reparse point at the file itself is
    // opened, never followed, and a file whose final path is not `path` (a folder on the way was re-pointed
    // by a mount point or link) is refused with kCallerFileElsewhere. 0 or an error number.
    virtual int CreateCallerFile(std::u16string_view path, std::unique_ptr<CCallerFile>& file,
                                 bool& impersonated) = 0;
};

}  // namespace corvane
