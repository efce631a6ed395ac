// The helper service's lifecycle messages in the Windows event log (source "Corvane").
#pragma once
#include <string_view>

namespace corvane::win32 {

// Cut at 255 units; when the process is not a service, also printed to standard output.
void ReportToEventLog(std::wstring_view text);
// The fallback of the service log: the event log only.
void ReportFallbackToEventLog(std::u16string_view text);
// Registration problems: to standard error when there is one, else in a message box with the service
// name as caption (an installer that captures output must never wait on a box nobody sees).
void ShowRegistrationProblem(std::wstring_view text);

}  // namespace corvane::win32
