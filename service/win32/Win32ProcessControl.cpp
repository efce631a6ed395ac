// Win32 processes for the method logic.
#include "win32/Win32ProcessControl.h"

#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <iterator>
#include <string>

#include "platform/win32/Handles.h"

namespace corvane::win32 {
namespace {

using platform::win32::CFileHandle;
using platform::win32::CKernelHandle;

constexpr DWORD kEngineRights = SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE;

std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

// The engine reads its switches in the single-byte code page: a character that would only map to a
// look-alike (a full-width quote to '"') is refused rather than converted.
uint64_t CreationTimeOf(HANDLE process) {
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool ImagePathOf(HANDLE process, std::u16string& path) {
    wchar_t buffer[1024];
    DWORD size = static_cast<DWORD>(std::size(buffer));
    if (!QueryFullProcessImageNameW(process, 0, buffer, &size)) return false;
    path.assign(buffer, buffer + size);
    return true;
}

bool MapsExactly(const std::wstring& text) {
    if (text.empty()) return true;
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(),
                                      static_cast<int>(text.size()), nullptr, 0, nullptr, &usedDefault);
    return n > 0 && !usedDefault;
}

class CWin32Process : public CRunningProcess {
public:
    CWin32Process(CKernelHandle process, CKernelHandle job = {})
        : process_(std::move(process)), job_(std::move(job)) {}
    uint32_t Terminate(uint32_t exitCode) override {
        if (job_ && TerminateJobObject(job_.Get(), exitCode)) return 0;
        return TerminateProcess(process_.Get(), exitCode) ? 0 : GetLastError();
    }
    WaitOutcome Wait(uint32_t ms, uint32_t& error) override {
        switch (WaitForSingleObject(process_.Get(), ms)) {
            case WAIT_OBJECT_0:
                return WaitOutcome::Ended;
            case WAIT_TIMEOUT:
                return WaitOutcome::TimedOut;
            default:
                error = GetLastError();
                return WaitOutcome::Failed;
        }
    }
    bool GetExitCode(uint32_t& code) override {
        DWORD value = 0;
        if (!GetExitCodeProcess(process_.Get(), &value)) return false;
        code = value;
        return true;
    }
    bool Identity(uint64_t& creationTime, std::u16string& imagePath) override {
        creationTime = CreationTimeOf(process_.Get());
        return creationTime != 0 && ImagePathOf(process_.Get(), imagePath);
    }

private:
    CKernelHandle process_;
    CKernelHandle job_;
};

class CPipeOutput : public CChildOutput {
public:
    explicit CPipeOutput(CKernelHandle read) : read_(std::move(read)) {}
    std::size_t Read(char* buffer, std::size_t size) override {
        DWORD got = 0;
        if (!ReadFile(read_.Get(), buffer, static_cast<DWORD>(size), &got, nullptr)) return 0;
        return got;
    }

private:
    CKernelHandle read_;
};

class CWin32File : public CCallerFile {
public:
    explicit CWin32File(CFileHandle file) : file_(std::move(file)) {}
    bool Write(std::string_view bytes) override {
        DWORD written = 0;
        return WriteFile(file_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }

private:
    CFileHandle file_;
};

uint32_t Create(std::u16string_view program, std::u16string_view commandLine, BOOL inherit,
                const wchar_t* folder, STARTUPINFOW& si, PROCESS_INFORMATION& pi, DWORD flags) {
    const std::wstring path = Wide(program);
    std::wstring line = Wide(commandLine);
    if (!CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, inherit, flags, nullptr, folder, &si,
                        &pi))
        return GetLastError();
    return 0;
}

}  // namespace

uint32_t CWin32ProcessControl::Snapshot(std::vector<ProcessEntry>& entries) {
    CKernelHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) return GetLastError();
    entries.clear();
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snap.Get(), &entry); ok; ok = Process32NextW(snap.Get(), &entry)) {
        const std::wstring image(entry.szExeFile);
        entries.push_back({std::u16string(image.begin(), image.end()), entry.th32ProcessID});
    }
    return 0;
}

uint32_t CWin32ProcessControl::Open(uint32_t id, std::unique_ptr<CRunningProcess>& process) {
    CKernelHandle handle(OpenProcess(kEngineRights, FALSE, id));
    if (!handle) return GetLastError();
    process = std::make_unique<CWin32Process>(std::move(handle));
    return 0;
}

uint32_t CWin32ProcessControl::StartDetached(std::u16string_view program, std::u16string_view commandLine,
                                             std::u16string_view workingFolder, StartedProcess& started) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    const std::wstring folder = Wide(workingFolder);
    if (!MapsExactly(Wide(commandLine))) return ERROR_NO_UNICODE_TRANSLATION;
    const uint32_t error = Create(program, commandLine, FALSE, folder.c_str(), si, pi, CREATE_NO_WINDOW);
    if (error != 0) return error;
    CKernelHandle process(pi.hProcess), thread(pi.hThread);
    // Read while the handle still holds the process: id and creation time name it for later look-ups.
    started = {pi.dwProcessId, CreationTimeOf(process.Get())};
    return 0;
}

uint32_t CWin32ProcessControl::QueryImagePath(uint32_t id, std::u16string& path) {
    CKernelHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!handle) return GetLastError();
    return ImagePathOf(handle.Get(), path) ? 0 : GetLastError();
}

bool CWin32ProcessControl::IsAdministratorOwned(std::u16string_view folder) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(Wide(folder).c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    bool trusted = owner && (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                             IsWellKnownSid(owner, WinLocalSystemSid));
    if (owner && !trusted) {
        // TrustedInstaller: S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464.
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID installer = nullptr;
        if (AllocateAndInitializeSid(&nt, 6, 80, 956008885u, 3418522649u, 1831038044u, 1853292631u,
                                     2271478464u, 0, 0, &installer)) {
            trusted = EqualSid(owner, installer) != 0;
            FreeSid(installer);
        }
    }
    LocalFree(descriptor);
    return trusted;
}

uint32_t CWin32ProcessControl::StartChild(std::u16string_view program, std::u16string_view commandLine,
                                          std::unique_ptr<CRunningProcess>& child) {
    CKernelHandle job(CreateJobObjectW(nullptr, nullptr));
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    const uint32_t error =
        Create(program, commandLine, FALSE, nullptr, si, pi, CREATE_NO_WINDOW | CREATE_SUSPENDED);
    if (error != 0) return error;
    CKernelHandle process(pi.hProcess), thread(pi.hThread);
    // Without a job, ending the script would leave what it started running.
    if (job && !AssignProcessToJobObject(job.Get(), process.Get())) job.Reset();
    ResumeThread(thread.Get());
    child = std::make_unique<CWin32Process>(std::move(process), std::move(job));
    return 0;
}

uint32_t CWin32ProcessControl::StartCapturing(std::u16string_view program, std::u16string_view commandLine,
                                              std::unique_ptr<CRunningProcess>& child,
                                              std::unique_ptr<CChildOutput>& output, bool& pipeFailed) {
    pipeFailed = false;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    CKernelHandle read, write;
    if (!CreatePipe(read.Receive(), write.Receive(), &sa, 0)) {
        pipeFailed = true;
        return GetLastError();
    }
    // Only the write end goes to the child.
    SetHandleInformation(read.Get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    GetStartupInfoW(&si);
    si.cb = sizeof si;
    si.hStdOutput = write.Get();
    si.hStdError = write.Get();
    si.hStdInput = nullptr;
    si.wShowWindow = SW_HIDE;
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    PROCESS_INFORMATION pi = {};
    const uint32_t error = Create(program, commandLine, TRUE, nullptr, si, pi, CREATE_NO_WINDOW);
    if (error != 0) return error;
    CKernelHandle process(pi.hProcess), thread(pi.hThread);
    write.Reset();
    child = std::make_unique<CWin32Process>(std::move(process));
    output = std::make_unique<CPipeOutput>(std::move(read));
    return 0;
}

uint32_t CWin32ProcessControl::SystemFolder(std::u16string& folder) {
    wchar_t buffer[MAX_PATH];
    const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
    if (n == 0) return GetLastError();
    if (n >= MAX_PATH) return ERROR_INSUFFICIENT_BUFFER;
    folder.assign(buffer, buffer + n);
    return 0;
}

int CWin32ProcessControl::CreateCallerFile(std::u16string_view path, std::unique_ptr<CCallerFile>& file,
                                           bool& impersonated) {
    // Opened with the caller's rights, so the service cannot be made to write where the caller could not.
    impersonated = SUCCEEDED(CoImpersonateClient());
    CFileHandle handle(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = handle ? 0 : GetLastError();
    if (impersonated) CoRevertToSelf();
    if (!handle) return static_cast<int>(error == 0 ? ERROR_ACCESS_DENIED : error);
    file = std::make_unique<CWin32File>(std::move(handle));
    return 0;
}

CProcessControl& ServiceProcesses() {
    static CWin32ProcessControl processes;
    return processes;
}

}  // namespace corvane::win32
