// Named pipe client on Windows: one overlapped handle, every wait bounded. A timed-out operation is
// cancelled and its completion awaited before the OVERLAPPED and the buffer go out of scope, so the
// system never writes into memory the caller has reused.
#include <windows.h>
#include <aclapi.h>

#include <memory>
#include <string>
#include <utility>

#include "platform/Pipe.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

class Win32Pipe final : public PipeConnection {
public:
    Win32Pipe(win32::CFileHandle pipe, win32::CKernelHandle event)
        : pipe_(std::move(pipe)), event_(std::move(event)) {}

    uint32_t Write(const void* data, std::size_t size, uint32_t timeoutMs) override {
        const auto* p = static_cast<const char*>(data);
        while (size > 0) {
            const DWORD chunk = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
            DWORD done = 0;
            const uint32_t error =
                Complete([&](OVERLAPPED* ov) { return WriteFile(pipe_.Get(), p, chunk, nullptr, ov); },
                         timeoutMs, done);
            if (error != 0) return error;
            if (done == 0) return ERROR_BROKEN_PIPE;
            p += done;
            size -= done;
        }
        return 0;
    }

    uint32_t Read(void* buffer, std::size_t capacity, std::size_t& got, uint32_t timeoutMs) override {
        got = 0;
        const DWORD chunk = capacity > 0x10000 ? 0x10000 : static_cast<DWORD>(capacity);
        if (chunk == 0) return ERROR_INVALID_PARAMETER;
        DWORD done = 0;
        uint32_t error =
            Complete([&](OVERLAPPED* ov) { return ReadFile(pipe_.Get(), buffer, chunk, nullptr, ov); },
                     timeoutMs, done);
        // A message-mode server may send more than fits: the rest stays for the next read.
        if (error == ERROR_MORE_DATA) error = 0;
        if (error != 0) return error;
        if (done == 0) return ERROR_BROKEN_PIPE;
        got = done;
        return 0;
    }

    uint32_t ServerImagePath(std::u16string& path) override {
        path.clear();
        ULONG pid = 0;
        if (!GetNamedPipeServerProcessId(pipe_.Get(), &pid)) return GetLastError();
        win32::CKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        if (!process) return GetLastError();
        std::wstring buffer(32768, L'\0');
        DWORD size = static_cast<DWORD>(buffer.size());
        if (!QueryFullProcessImageNameW(process.Get(), 0, buffer.data(), &size)) return GetLastError();
        path.assign(reinterpret_cast<const char16_t*>(buffer.data()), size);
        return 0;
    }

    bool ServerIsPrivileged() override {
        PSID owner = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (GetSecurityInfo(pipe_.Get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                            nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
            return false;
        const bool privileged = owner && (IsWellKnownSid(owner, WinLocalSystemSid) ||
                                          IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
        LocalFree(descriptor);
        return privileged;
    }

private:
    template <typename Start>
    uint32_t Complete(Start start, uint32_t timeoutMs, DWORD& done) {
        OVERLAPPED ov{};
        ov.hEvent = event_.Get();
        ResetEvent(event_.Get());
        if (!start(&ov)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) return error;
            const DWORD wait = WaitForSingleObject(event_.Get(), timeoutMs);
            if (wait != WAIT_OBJECT_0) {
                const DWORD waitError = wait == WAIT_TIMEOUT ? WAIT_TIMEOUT : GetLastError();
                CancelIoEx(pipe_.Get(), &ov);
                GetOverlappedResult(pipe_.Get(), &ov, &done, TRUE);
                done = 0;
                return waitError ? waitError : WAIT_TIMEOUT;
            }
        }
        if (!GetOverlappedResult(pipe_.Get(), &ov, &done, FALSE)) return GetLastError();
        return 0;
    }

    win32::CFileHandle pipe_;
    win32::CKernelHandle event_;
};

}  // namespace

PipeOpening OpenPipe(std::u16string_view name, uint32_t busyWaitMs, uint32_t attempts) {
    PipeOpening result;
    const std::wstring wideName = win32::WideString(name);
    for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
        win32::CFileHandle pipe(CreateFileW(wideName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        if (pipe) {
            win32::CKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
            if (!event) {
                result.error = GetLastError();
                return result;
            }
            result.pipe = std::make_unique<Win32Pipe>(std::move(pipe), std::move(event));
            result.error = 0;
            return result;
        }
        result.error = GetLastError();
        if (result.error != ERROR_PIPE_BUSY) return result;
        if (!WaitNamedPipeW(wideName.c_str(), busyWaitMs)) {
            result.error = GetLastError();
            return result;
        }
    }
    return result;
}

}  // namespace platform
