// Entry of Corvane.exe: the registration switches, or the server (service or plain local server).
#include <windows.h>
#include <objbase.h>

#include <cwctype>
#include <string>

#include "logic/HResult.h"
#include "logic/ServiceLog.h"
#include "platform/win32/SystemMessage.h"
#include "win32/EventLog.h"
#include "win32/Registration.h"
#include "win32/ServiceHost.h"

using namespace corvane::win32;

namespace {

// The first switch on the command line ("-" or "/", name up to a blank, a tab or the end), lower case.
std::wstring FirstSwitch(const wchar_t* line) {
    for (const wchar_t* p = line; p && *p; ++p) {
        if ((*p == L'-' || *p == L'/') && (p == line || p[-1] == L' ' || p[-1] == L'\t')) {
            std::wstring name;
            for (++p; *p && *p != L' ' && *p != L'\t'; ++p)
                name.push_back(static_cast<wchar_t>(std::towlower(*p)));
            return name;
        }
    }
    return {};
}

// The system's text for a result code in the user's default language, as FormatMessage gives it.
std::u16string SystemMessage(corvane::HResult hr) {
    return platform::win32::FormatSystemMessage(static_cast<uint32_t>(hr),
                                                MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    const std::wstring exe = ModulePath();
    const auto slash = exe.rfind(L'\\');
    if (slash != std::wstring::npos)
        corvane::SetServiceLogFolder(std::u16string(exe.begin(), exe.begin() + slash));
    corvane::SetServiceLogFallback(ReportFallbackToEventLog);
    corvane::SetSystemMessageSource(SystemMessage);

    const std::wstring option = FirstSwitch(commandLine);
    if (option == L"regserver" || option == L"regserverperuser" || option == L"unregserver" ||
        option == L"unregserverperuser" || option == L"service") {
        const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        HRESULT hr;
        if (option == L"regserver")
            hr = RegisterServer(RegistrationScope::Machine, false);
        else if (option == L"regserverperuser")
            hr = RegisterServer(RegistrationScope::User, false);
        else if (option == L"service")
            hr = RegisterServer(RegistrationScope::Machine, true);
        else if (option == L"unregserver")
            hr = UnregisterServer(RegistrationScope::Machine);
        else
            hr = UnregisterServer(RegistrationScope::User);
        if (SUCCEEDED(init)) CoUninitialize();
        return static_cast<int>(hr);
    }
    return RunProcess();
}
