// Starting programs through the shell, hidden and without waiting for them to end.
#include <windows.h>
#include <shellapi.h>

#include "platform/Processes.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"

namespace platform {

bool ShellExecuteHidden(std::u16string_view verb, std::u16string_view file, std::u16string_view parameters) {
    const std::wstring wideVerb = win32::WideString(verb);
    const std::wstring wideFile = win32::WideString(file);
    const std::wstring wideParameters = win32::WideString(parameters);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // NOASYNC: the calling thread may be a worker that ends right after this call; the launch must be
    // complete by then. It does not wait for the program itself.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = wideVerb.empty() ? nullptr : wideVerb.c_str();
    info.lpFile = wideFile.c_str();
    info.lpParameters = wideParameters.empty() ? nullptr : wideParameters.c_str();
    info.nShow = SW_HIDE;
    return ShellExecuteExW(&info) != FALSE;
}

ShellRun ShellExecuteHiddenAndWait(std::u16string_view verb, std::u16string_view file,
                                   std::u16string_view parameters, std::u16string_view folder, uint32_t timeoutMs) {
    const std::wstring wideVerb = win32::WideString(verb);
    const std::wstring wideFile = win32::WideString(file);
    const std::wstring wideParameters = win32::WideString(parameters);
    const std::wstring wideFolder = win32::WideString(folder);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = wideVerb.empty() ? nullptr : wideVerb.c_str();
    info.lpFile = wideFile.c_str();
    info.lpParameters = wideParameters.empty() ? nullptr : wideParameters.c_str();
    info.lpDirectory = wideFolder.empty() ? nullptr : wideFolder.c_str();
    info.nShow = SW_HIDE;
    ShellRun run;
    if (!ShellExecuteExW(&info)) {
        run.error = GetLastError();
        return run;
    }
    run.started = true;
    const win32::CKernelHandle process(info.hProcess);
    if (!process) return run;  // handed to a running instance: nothing to wait for
    run.ended = WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0;
    DWORD code = 0;
    if (run.ended && GetExitCodeProcess(process.Get(), &code)) run.exitCode = code;
    return run;
}

}  // namespace platform
