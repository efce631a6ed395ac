// Win32 processes for the method logic.
#include "win32/Win32ProcessControl.h"

#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <mutex>
#include <new>
#include <string>

#include "platform/win32/Handles.h"
#include "win32/ServiceHost.h"

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

// The read end of the tool's output: a pipe opened for overlapped reads, so every read waits a bounded
// time. One read at a time is in flight, into a buffer of the object's own; a read that ran out of time
// stays in flight and the next call waits on it again.
class CPipeOutput : public CChildOutput {
public:
    CPipeOutput(CKernelHandle read, CKernelHandle event)
        : read_(std::move(read)), event_(std::move(event)), io_(std::make_unique<InFlight>()) {}
    ~CPipeOutput() override {
        if (!pending_) return;
        CancelIoEx(read_.Get(), &io_->overlapped);
        // The system may write into the buffer until the cancelled read completes; if it does not complete
        // in time, buffer, record and handles are left to it rather than freed under it.
        if (WaitForSingleObject(event_.Get(), 5000) != WAIT_OBJECT_0) {
            io_.release();
            read_.Release();
            event_.Release();
        }
    }
    OutputRead Read(char* buffer, std::size_t size, uint32_t waitMs, std::size_t& got) override {
        got = 0;
        DWORD n = 0;
        if (!pending_) {
            io_->overlapped = {};
            io_->overlapped.hEvent = event_.Get();
            ResetEvent(event_.Get());
            const DWORD want = static_cast<DWORD>(std::min(size, sizeof io_->buffer));
            if (ReadFile(read_.Get(), io_->buffer, want, &n, &io_->overlapped))
                return Deliver(n, buffer, got);
            if (GetLastError() != ERROR_IO_PENDING) return OutputRead::Closed;
            pending_ = true;
        }
        if (WaitForSingleObject(event_.Get(), waitMs) == WAIT_TIMEOUT) return OutputRead::TimedOut;
        pending_ = false;
        if (!GetOverlappedResult(read_.Get(), &io_->overlapped, &n, FALSE)) return OutputRead::Closed;
        return Deliver(n, buffer, got);
    }

private:
    struct InFlight {
        OVERLAPPED overlapped = {};
        char buffer[4096];
    };
    OutputRead Deliver(DWORD n, char* out, std::size_t& got) {
        if (n == 0) return OutputRead::Closed;
        std::copy_n(io_->buffer, n, out);
        got = n;
        return OutputRead::Data;
    }

    CKernelHandle read_;
    CKernelHandle event_;
    std::unique_ptr<InFlight> io_;
    bool pending_ = false;
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
    const platform::win32::CLocalMemory ownedDescriptor(descriptor);
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
    return trusted;
}

namespace {

// A job whose processes all end when its last handle closes; none (last error set) when it cannot be made.
CKernelHandle KillOnCloseJob() {
    CKernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
        job.Reset();
    return job;
}

// Starts the program suspended, puts it into a fresh job and only then lets it run; a child that cannot
// be put into its job is ended before it ran a single instruction.
uint32_t StartInJob(std::u16string_view program, std::u16string_view commandLine, BOOL inherit,
                    STARTUPINFOW& si, std::unique_ptr<CRunningProcess>& child) {
    CKernelHandle job = KillOnCloseJob();
    if (!job) return GetLastError();
    PROCESS_INFORMATION pi = {};
    const uint32_t error =
        Create(program, commandLine, inherit, nullptr, si, pi, CREATE_NO_WINDOW | CREATE_SUSPENDED);
    if (error != 0) return error;
    CKernelHandle process(pi.hProcess), thread(pi.hThread);
    if (!AssignProcessToJobObject(job.Get(), process.Get())) {
        const DWORD assignError = GetLastError();
        TerminateProcess(process.Get(), 1);
        return assignError != 0 ? assignError : ERROR_ACCESS_DENIED;
    }
    ResumeThread(thread.Get());
    child = std::make_unique<CWin32Process>(std::move(process), std::move(job));
    return 0;
}

// Inheritable handles exist only while one capturing start runs, so a second one cannot hand the first
// one's pipe to its own child.
std::mutex& InheritanceLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

uint32_t CWin32ProcessControl::StartChild(std::u16string_view program, std::u16string_view commandLine,
                                          std::unique_ptr<CRunningProcess>& child) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    return StartInJob(program, commandLine, FALSE, si, child);
}

uint32_t CWin32ProcessControl::StartCapturing(std::u16string_view program, std::u16string_view commandLine,
                                              std::unique_ptr<CRunningProcess>& child,
                                              std::unique_ptr<CChildOutput>& output, bool& pipeFailed) {
    pipeFailed = false;
    static std::atomic<unsigned> serial{0};
    const std::wstring name = L"\\\\.\\pipe\\Corvane-output-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(++serial);
    // Only the system account and administrators may open the pipe; the one instance is taken at once.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        pipeFailed = true;
        return GetLastError();
    }
    const platform::win32::CLocalMemory descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES pipeSa = {sizeof pipeSa, descriptor, FALSE};
    CKernelHandle read(CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 4096, 0, &pipeSa));
    if (!read || read.Get() == INVALID_HANDLE_VALUE) {
        read.Release();
        pipeFailed = true;
        return GetLastError();
    }
    CKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        pipeFailed = true;
        return GetLastError();
    }
    std::lock_guard<std::mutex> guard(InheritanceLock());
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    CFileHandle write(CreateFileW(name.c_str(), GENERIC_WRITE, 0, &sa, OPEN_EXISTING, 0, nullptr));
    if (!write) {
        pipeFailed = true;
        return GetLastError();
    }
    STARTUPINFOW si = {};
    GetStartupInfoW(&si);
    si.cb = sizeof si;
    si.hStdOutput = write.Get();
    si.hStdError = write.Get();
    si.hStdInput = nullptr;
    si.wShowWindow = SW_HIDE;
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    const uint32_t error = StartInJob(program, commandLine, TRUE, si, child);
    if (error != 0) return error;
    write.Reset();
    output = std::make_unique<CPipeOutput>(std::move(read), std::move(event));
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

namespace {

// The path as the file system names the opened file, without the "\\?\" prefix; empty when unknown.
std::wstring FinalPath(HANDLE file) {
    std::wstring path(MAX_PATH + 8, L'\0');
    DWORD n =
        GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (n >= path.size()) {
        path.resize(n + 1);
        n = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                      FILE_NAME_NORMALIZED);
    }
    if (n == 0 || n >= path.size()) return {};
    path.resize(n);
    if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
    return path;
}

}  // namespace

int CWin32ProcessControl::CreateCallerFile(std::u16string_view path, std::unique_ptr<CCallerFile>& file,
                                           bool& impersonated) {
    // Opened with the caller's rights, so the service cannot be made to write where the caller could not;
    // a link or mount point at the file itself is opened as itself, not followed.
    const std::wstring wanted = Wide(path);
    impersonated = SUCCEEDED(CoImpersonateClient());
    // Opened without truncation first: a path that leads elsewhere must not cost the file found there its
    // content (where impersonation is not available the open has the service's rights).
    CFileHandle handle(CreateFileW(wanted.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                   nullptr));
    const DWORD error = handle ? 0 : GetLastError();
    const bool created = handle && error == 0 && GetLastError() != ERROR_ALREADY_EXISTS;
    if (impersonated) CoRevertToSelf();
    if (!handle) return static_cast<int>(error == 0 ? ERROR_ACCESS_DENIED : error);
    // A folder on the way that was re-pointed (mount point, object-manager link) shows in the final path.
    const std::wstring final = FinalPath(handle.Get());
    if (final.empty() || CompareStringOrdinal(final.c_str(), static_cast<int>(final.size()), wanted.c_str(),
                                              static_cast<int>(wanted.size()), TRUE) != CSTR_EQUAL) {
        if (created) {
            // Made by this very open: it goes again, through the handle, wherever it landed.
            FILE_DISPOSITION_INFO disposition = {TRUE};
            SetFileInformationByHandle(handle.Get(), FileDispositionInfo, &disposition, sizeof disposition);
        }
        return kCallerFileElsewhere;
    }
    if (!SetEndOfFile(handle.Get())) return static_cast<int>(GetLastError());
    file = std::make_unique<CWin32File>(std::move(handle));
    return 0;
}

bool CWin32ProcessControl::RunsAsSystem() {
    return RunningAsService();
}

std::u16string CWin32ProcessControl::OwnAccount() {
    CKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return {};
    BYTE buffer[256];
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size)) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return {};
    const platform::win32::CLocalMemory owner(text);
    const std::wstring wide(text);
    return std::u16string(wide.begin(), wide.end());
}

uint32_t CWin32ProcessControl::ReadRights(std::u16string_view path, ObjectRights& rights) {
    std::wstring name = Wide(path);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const DWORD status = GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                               nullptr, &dacl, nullptr, &sd);
    if (status != ERROR_SUCCESS) return status;
    const platform::win32::CLocalMemory sdOwner(sd);
    auto sidText = [](PSID sid) {
        wchar_t* text = nullptr;
        if (!sid || !ConvertSidToStringSidW(sid, &text)) return std::u16string(u"?");
        const platform::win32::CLocalMemory textOwner(text);
        const std::wstring wide(text);
        return std::u16string(wide.begin(), wide.end());
    };
    rights = ObjectRights{};
    rights.owner = sidText(owner);
    rights.hasDacl = dacl != nullptr;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) return GetLastError();
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        AccessEntry entry;
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            const auto* plain = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
            entry.allow = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
            entry.mask = plain->Mask;
            entry.sid = sidText(const_cast<DWORD*>(&plain->SidStart));
        } else {
            // Object and callback entries are not read apart: one counts as granting everything to
            // someone unknown, so such a descriptor is never taken for safe.
            entry.allow = true;
            entry.mask = GENERIC_ALL;
            entry.sid = u"?";
        }
        rights.entries.push_back(std::move(entry));
    }
    return 0;
}

CProcessControl& ServiceProcesses() {
    static CWin32ProcessControl processes;
    return processes;
}

}  // namespace corvane::win32
