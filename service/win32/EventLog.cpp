// Event-log writer and registration messages of the helper service.
#include "win32/EventLog.h"

#include <windows.h>

#include <string>

#include "win32/ServiceHost.h"

namespace corvane::win32 {

namespace {

void WriteEvent(std::wstring text) {
    if (text.size() > 255) text.resize(255);
    HANDLE source = RegisterEventSourceW(nullptr, L"Corvane");
    if (!source) return;
    const wchar_t* strings[] = {text.c_str()};
    ReportEventW(source, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

void WriteUtf8(HANDLE to, std::wstring_view text) {
    if (!to || to == INVALID_HANDLE_VALUE) return;
    std::wstring line(text);
    line += L"\r\n";
    const int n = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), bytes.data(), n, nullptr,
                            nullptr);
    DWORD written = 0;
    WriteFile(to, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void ReportToEventLog(std::wstring_view text) {
    std::wstring cut(text.substr(0, 255));
    if (!RunningAsService()) WriteUtf8(GetStdHandle(STD_OUTPUT_HANDLE), cut);
    WriteEvent(cut);
}

void ReportFallbackToEventLog(std::u16string_view text) {
    WriteEvent(std::wstring(text.begin(), text.end()));
}

void ShowRegistrationProblem(std::wstring_view text) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err && err != INVALID_HANDLE_VALUE && GetFileType(err) != FILE_TYPE_UNKNOWN) {
        WriteUtf8(err, text);
        return;
    }
    const std::wstring message(text);
    MessageBoxW(nullptr, message.c_str(), ServiceName().c_str(), MB_OK);
}

}  // namespace corvane::win32
