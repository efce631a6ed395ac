// Named pipe client on Windows: one overlapped handle, every wait bounded. A timed-out operation is
// cancelled and its completion awaited before the OVERLAPPED and the buffer go out of scope, so the
// system never writes into memory the caller has reused.
#include <windows.h>

#include "platform/Pipe.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

class Win32Pipe final : public PipeConnection {
public:
    Win32Pipe(HANDLE pipe, HANDLE event) : pipe_(pipe), event_(event) {}
    ~Win32Pipe() override {
        CloseHandle(pipe_);
        CloseHandle(event_);
    }
    Win32Pipe(const Win32Pipe&) = delete;
    Win32Pipe& operator=(const Win32Pipe&) = delete;

    uint32_t Write(const void* data, std::size_t size, uint32_t timeoutMs) override {
        const auto* p = static_cast<const char*>(data);
        while (size > 0) {
            const DWORD chunk = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
            DWORD done = 0;
            const uint32_t error = Complete(
                [&](OVERLAPPED* ov) { return WriteFile(pipe_, p, chunk, nullptr, ov); }, timeoutMs, done);
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
        uint32_t error = Complete([&](OVERLAPPED* ov) { return ReadFile(pipe_, buffer, chunk, nullptr, ov); },
                                  timeoutMs, done);
        // A message-mode server may send more than fits: the rest stays for the next read.
        if (error == ERROR_MORE_DATA) error = 0;
        if (error != 0) return error;
        if (done == 0) return ERROR_BROKEN_PIPE;
        got = done;
        return 0;
    }

private:
    template <typename Start>
    uint32_t Complete(Start start, uint32_t timeoutMs, DWORD& done) {
        OVERLAPPED ov{};
        ov.hEvent = event_;
        ResetEvent(event_);
        if (!start(&ov)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) return error;
            const DWORD wait = WaitForSingleObject(event_, timeoutMs);
            if (wait != WAIT_OBJECT_0) {
                const DWORD waitError = wait == WAIT_TIMEOUT ? WAIT_TIMEOUT : GetLastError();
                CancelIoEx(pipe_, &ov);
                GetOverlappedResult(pipe_, &ov, &done, TRUE);
                done = 0;
                return waitError ? waitError : WAIT_TIMEOUT;
            }
        }
        if (!GetOverlappedResult(pipe_, &ov, &done, FALSE)) return GetLastError();
        return 0;
    }

    HANDLE pipe_;
    HANDLE event_;
};

}  // namespace

PipeOpening OpenPipe(std::u16string_view name, uint32_t busyWaitMs, uint32_t attempts) {
    PipeOpening result;
    const std::wstring wideName = win32::WideString(name);
    for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
        HANDLE h = CreateFileW(wideName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (!event) {
                result.error = GetLastError();
                CloseHandle(h);
                return result;
            }
            result.pipe = std::make_unique<Win32Pipe>(h, event);
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
