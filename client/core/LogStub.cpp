// Temporary: the log before its implementation lands (writes nothing).
#include "core/Log.h"

namespace velora {
void StartLog(const char16_t*) {}
void LogDebug(std::u16string_view) {}
void LogAtLevel(std::u16string_view, int32_t) {}
void LogMessageId(uint32_t) {}
void LogMessageIdAtLevel(uint32_t, int32_t) {}
void LogFormatV(std::u16string_view, std::span<const FormatArg>) {}
void LogFormatMessageIdV(uint32_t, std::span<const FormatArg>) {}
void LogFormatMessageIdAtLevelV(int32_t, uint32_t, std::span<const FormatArg>) {}
void ReadRecentLogLines(std::u16string_view, std::u16string_view, std::vector<std::u16string>& lines) { lines.clear(); }
void FlushPendingLogLines() {}
void SetLogFilePath(std::u16string_view) {}
std::u16string LogFilePath() { return {}; }
std::u16string LogFolder() { return {}; }
std::u16string MessageText(uint32_t) { return {}; }
}  // namespace velora
