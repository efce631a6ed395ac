// The service log "service.log" beside the executable: UTF-8 with a byte-order mark at the start of a new
// file, one line per message ("2024-03-05 14:07:09 message", CR LF), opened and closed for every line.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace corvane {

struct LogTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The local time for a log line. False (with `error` set) when the system cannot give it.
bool LocalLogTime(LogTime& time, int& error);

// The bytes of one line: time stamp, blank, the message as UTF-8 (every line feed in it as CR LF, an
// unpaired surrogate as U+FFFD), CR LF.
std::string ServiceLogLine(std::u16string_view message, const LogTime& time);

// Appends one line to `file`, writing the byte-order mark first when the file is new or empty. False
// (with `error` set to the C library's error number) when it cannot be opened or written.
bool AppendServiceLogLine(const std::filesystem::path& file, std::u16string_view message, const LogTime& time,
                          int& error);

// Where WriteServiceLog writes: the host program tells the folder of its executable before the first line
// (the Windows host from its module path); the first WriteServiceLog fixes the path for the process.
void SetServiceLogFolder(std::u16string_view folder);
std::filesystem::path ServiceLogPath();

// Receives what cannot go to the service log (the event log on Windows, standard error on the host).
using ServiceLogFallback = void (*)(std::u16string_view text);
void SetServiceLogFallback(ServiceLogFallback fallback);

// Appends a message with the local time. Safe to call from any thread, the first call included.
void WriteServiceLog(std::u16string_view message);

}  // namespace corvane
