// A hidden command's output on Windows: a process without a console window whose standard output and
// error share one pipe, read until it ends or the time-out passes.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/Processes.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"

namespace platform {

using win32::CKernelHandle;
using win32::WideString;

CommandCapture CaptureHiddenCommand(std::u16string_view commandLine, uint32_t timeoutMs) {
    constexpr DWORD kChunkBytes = 4095;
    CommandCapture capture;

    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof(inherit);
    inherit.bInheritHandle = TRUE;
    CKernelHandle readEnd;
    CKernelHandle writeEnd;
    if (!CreatePipe(readEnd.Receive(), writeEnd.Receive(), &inherit, 0)) {
        capture.pipeError = GetLastError();
        return capture;
    }
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
    // Some tools wait for their standard input to end before they exit: give them an empty one.
    CKernelHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                    OPEN_EXISTING, 0, nullptr));

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = input.IsValid() ? input.Get() : nullptr;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    std::wstring line = WideString(commandLine);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process)) {
        capture.processError = GetLastError();
        return capture;
    }
    CKernelHandle processHandle(process.hProcess);
    CKernelHandle threadHandle(process.hThread);
    writeEnd.Close();  // the pipe ends when the child (and whatever it passed the handle to) is done
    input.Close();

    // Polled rather than blocking, so a command that never ends (or leaves a child holding the pipe)
    // cannot hold the caller beyond the time-out.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string buffer(kChunkBytes, '\0');
    bool exited = false;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr))
            break;  // all writers gone
        if (available > 0) {
            DWORD got = 0;
            if (!ReadFile(readEnd.Get(), buffer.data(), std::min<DWORD>(available, kChunkBytes), &got,
                          nullptr) ||
                got == 0)
                break;
            capture.chunks.emplace_back(buffer.data(), got);
            continue;
        }
        if (exited) break;  // exited and drained
        if (WaitForSingleObject(processHandle.Get(), 10) == WAIT_OBJECT_0) {
            exited = true;
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            TerminateProcess(processHandle.Get(), ERROR_TIMEOUT);
            break;
        }
    }
    return capture;
}

}  // namespace platform
