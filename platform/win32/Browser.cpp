// The default browser through the shell.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/Browser.h"
#include "platform/win32/Wide.h"

namespace platform {

bool OpenUrlInBrowser(std::u16string_view url, uint32_t& error) {
    const std::wstring file = win32::WideString(url);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.lpVerb = L"";  // the class's default action, as a double click would take
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) {
        error = 0;
        return true;
    }
    error = GetLastError();
    return false;
}

}  // namespace platform
