// The client log "clientUI.log": UTF-16LE lines with a time stamp and a level tag. Lines with a level
// (the user log) are also handed to the main window's log list; lines without one (the engine log)
// go to the file only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/Format.h"

namespace velora {

enum LogLevel : int32_t { kLogDebug = 0, kLogInfo = 1, kLogWarn = 2, kLogError = 3, kLogNotice = 4 };

// Prepares folder, file and lock once per process; the module (null: the program's own) holds the
// numbered message texts.
void StartLog(const char16_t* resourceModuleName);

void LogDebug(std::u16string_view text);
void LogAtLevel(std::u16string_view text, int32_t level);
void LogMessageId(uint32_t id);
void LogMessageIdAtLevel(uint32_t id, int32_t level);
void LogFormatV(std::u16string_view format, std::span<const FormatArg> args);
void LogFormatMessageIdV(uint32_t id, std::span<const FormatArg> args);
void LogFormatMessageIdAtLevelV(int32_t level, uint32_t id, std::span<const FormatArg> args);

template <typename... Args>
void LogFormat(std::u16string_view format, const Args&... args) {
    const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
    LogFormatV(format, std::span<const FormatArg>(list, sizeof...(Args)));
}
template <typename... Args>
void LogFormatMessageId(uint32_t id, const Args&... args) {
    const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
    LogFormatMessageIdV(id, std::span<const FormatArg>(list, sizeof...(Args)));
}
template <typename... Args>
void LogFormatMessageIdAtLevel(int32_t level, uint32_t id, const Args&... args) {
    const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
    LogFormatMessageIdAtLevelV(level, id, std::span<const FormatArg>(list, sizeof...(Args)));
}

// Fills `lines` with the user-visible lines of the last 15 days (without their line feed), up to the
// first line that holds both markers when both are non-empty (see the main window's history view).
void ReadRecentLogLines(std::u16string_view markerA, std::u16string_view markerB,
                        std::vector<std::u16string>& lines);
// Hands the lines queued while no main window existed to the main window. Lines with a level reach the
// main window as UM_LOG_LINE with lParam = new std::u16string holding the line exactly as written to
// the file, line feed included; the window deletes it.
void FlushPendingLogLines();

// Lines with a level wait while no main window can take them (the client API never shows one); beyond
// this many the oldest are dropped from the queue. The file keeps every line.
constexpr std::size_t kMaxPendingLogLines = 10000;

// The start-up trimming on its own: drops the leading lines older than 60 days from a log file. A file
// that is not recognisably a log (no byte-order mark, no dated line among those to drop) is left as it
// is. True when the file was changed.
bool TrimLogFile(std::u16string_view path);

// Whether a log line's first word is a date ("2026-03-01") whose local midnight lies within the last
// `days` days and not in the future.
bool IsRecentLogLine(std::u16string_view line, int days);

// The client API may point the log at a file of its own (used as given: no header, no trimming).
void SetLogFilePath(std::u16string_view path);
std::u16string LogFilePath();
std::u16string LogFolder();

// Text of a numbered message; empty when it cannot be loaded.
std::u16string MessageText(uint32_t id);

}  // namespace velora
