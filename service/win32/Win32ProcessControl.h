// The running system's processes for Corvane's method logic: toolhelp snapshot, OpenProcess,
// CreateProcessW (the engine detached; scripts and the control tool inside a job object that ends what
// they started when it is ended or closed; the tool's output on a pipe read with bounded waits), the
// system folder, and caller files opened while impersonating the COM caller, without following a
// reparse point, and refused when they lie elsewhere than the checked path.
#pragma once
#include "logic/ProcessControl.h"

namespace corvane::win32 {

class CWin32ProcessControl : public CProcessControl {
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
};

// The one instance the automation objects and the monitor share; it holds no state.
CProcessControl& ServiceProcesses();

}  // namespace corvane::win32
