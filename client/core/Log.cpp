// The client log "clientUI.log": formatting and appending lines, handing the user log to the main
// window (or queuing it until the window exists), the start-up trimming and the history reader.
#include "core/Log.h"

#include <atomic>
#include <ctime>
#include <deque>
#include <mutex>

#include "core/SecretMask.h"
#include "core/WindowMessages.h"
#include "platform/Files.h"
#include "platform/Messages.h"
#include "platform/Messenger.h"
#include "platform/Utf16Le.h"

namespace velora {
namespace {

// Byte-order mark, one NUL unit and a line feed: the first line read after it is never a log line
// that trimming or the history reader look at.
constexpr unsigned char kHeader[] = {0xFF, 0xFE, 0x00, 0x00, 0x0A, 0x00};
constexpr std::size_t kHeaderSize = sizeof kHeader;
constexpr int kKeepDays = 60;
constexpr int kHistoryDays = 15;
constexpr std::u16string_view kFolderName = u"Halvane";
constexpr std::u16string_view kFileName = u"clientUI.log";
#ifdef _WIN32
constexpr std::u16string_view kFallbackFolder = u"c:\\velora";
#else
constexpr std::u16string_view kFallbackFolder = u"/tmp/velora";
#endif

struct LogState {
    std::atomic<bool> started{false};
    std::mutex lock;  // formatting, appending and handing one line over happen as one step
    std::u16string folder;
    std::u16string path;
    std::deque<std::u16string> pending;
};

// Never destroyed: threads may still log while the process exits.
LogState& State() {
    static LogState* state = new LogState();
    return *state;
}

// --- UTF-16LE on disk, whatever the byte order of the machine ------------------------------------

std::u16string UnitsFromBytes(const std::string& bytes, std::size_t offset) {
    if (bytes.size() <= offset) return {};
    return platform::DecodeUtf16Le(bytes.data() + offset, bytes.size() - offset);
}

void AppendUnitsAsBytes(std::string& out, std::u16string_view units) {
    platform::AppendUtf16Le(out, units);
}

// Lines of a text split at line feeds (the feed is not part of the line); a last line without a feed
// still counts.
class CLineReader {
public:
    explicit CLineReader(std::u16string_view text) : text_(text) {}
    bool Next(std::u16string_view& line, std::size_t& start) {
        if (at_ >= text_.size()) return false;
        start = at_;
        const std::size_t feed = text_.find(u'\n', at_);
        const std::size_t end = feed == std::u16string_view::npos ? text_.size() : feed;
        line = text_.substr(at_, end - at_);
        at_ = feed == std::u16string_view::npos ? text_.size() : feed + 1;
        return true;
    }

private:
    std::u16string_view text_;
    std::size_t at_ = 0;
};

// --- Dates of lines ---------------------------------------------------------------------------------

enum class LineAge { Undated, NotRecent, Recent };

// The first word split at "-" into three numbers, month 1 to 12 and day 1 to 31.
bool ParseLineDate(std::u16string_view line, int& year, int& month, int& day) {
    const std::size_t blank = line.find(u' ');
    if (blank == std::u16string_view::npos) return false;
    const std::u16string_view word = line.substr(0, blank);
    int fields[3] = {};
    int field = 0;
    int digits = 0;
    for (const char16_t c : word) {
        if (c == u'-') {
            if (digits == 0 || ++field > 2) return false;
            digits = 0;
        } else if (c >= u'0' && c <= u'9') {
            if (++digits > 9) return false;  // no overflow, and no date has that many digits
            fields[field] = fields[field] * 10 + (c - u'0');
        } else {
            return false;
        }
    }
    if (field != 2 || digits == 0) return false;
    year = fields[0];
    month = fields[1];
    day = fields[2];
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// Ages lines against one "now". Consecutive lines mostly share a date, so the last answer is kept:
// the local-time conversion runs once per date, not once per line.
class CLineAges {
public:
    explicit CLineAges(int days) : now_(std::time(nullptr)), days_(days) {}

    LineAge Age(std::u16string_view line) {
        int year = 0, month = 0, day = 0;
        if (!ParseLineDate(line, year, month, day)) return LineAge::Undated;
        if (year != year_ || month != month_ || day != day_) {
            year_ = year, month_ = month, day_ = day;
            age_ = Compute(year, month, day);
        }
        return age_;
    }

private:
    LineAge Compute(int year, int month, int day) const {
        if (year <= 2020) return LineAge::NotRecent;
        std::tm date{};
        date.tm_year = year - 1900;
        date.tm_mon = month - 1;
        date.tm_mday = day;
        date.tm_isdst = -1;  // daylight saving as the platform knows it for that date
        const std::time_t midnight = std::mktime(&date);
        if (midnight == static_cast<std::time_t>(-1)) return LineAge::NotRecent;
        const bool recent = midnight > now_ - static_cast<std::time_t>(days_) * 86400 && midnight <= now_;
        return recent ? LineAge::Recent : LineAge::NotRecent;
    }

    std::time_t now_;
    int days_;
    int year_ = -1, month_ = -1, day_ = -1;
    LineAge age_ = LineAge::Undated;
};

// --- Writing ---------------------------------------------------------------------------------------

std::u16string TimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &now) != 0) return {};
#else
    if (!localtime_r(&now, &local)) return {};
#endif
    char text[32];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::u16string(text, text + n);
}

const char16_t* TagOf(int32_t level) {
    switch (level) {
        case kLogDebug:
            return u"[DEBUG]";
        case kLogInfo:
            return u"[INFO]";
        case kLogWarn:
            return u"[WARN]";
        case kLogError:
            return u"[ERROR]";
        case kLogNotice:
            return u"[NOTICE]";
        default:
            return u"[UNKNOWN]";
    }
}

bool HasLogList(platform::WindowHandle window) {
    return window && platform::WindowHasControl(window, kLogListControlId);
}

// The window takes ownership of the text once the message is queued.
bool PostLine(platform::WindowHandle window, const std::u16string& line) {
    auto* text = new std::u16string(line);
    if (platform::PostWindowMessage(window, UM_LOG_LINE, 0, reinterpret_cast<intptr_t>(text))) return true;
    delete text;
    return false;
}

void Queue(LogState& state, const std::u16string& line) {
    state.pending.push_back(line);
    while (state.pending.size() > kMaxPendingLogLines) state.pending.pop_front();
}

// One call is one line: a line break inside a user name or a server answer would otherwise start a
// forged line, with a time stamp and level of its own, in the file and in the log list.
std::u16string OneLine(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        if (c == u'\r') {
            out += u"\\r";
        } else if (c == u'\n') {
            out += u"\\n";
        } else {
            out += c;
        }
    }
    return out;
}

void WriteLine(std::u16string_view text, int32_t level, bool toWindow) {
    LogState& state = State();
    if (!state.started.load() || text.empty()) return;
    // Every line goes through the one masker: a request or answer that a flow logs keeps no secret, in
    // the file or in the window's list.
    const std::u16string masked = MaskSecrets(text);
    std::lock_guard<std::mutex> guard(state.lock);
    const std::u16string line = FormatText(u"%s %s %s\n", TimeStamp(), TagOf(level), OneLine(masked));
    std::string bytes;
    AppendUnitsAsBytes(bytes, line);
    platform::AppendToFile(state.path, bytes.data(), bytes.size());  // a line that cannot be written is lost
    if (!toWindow) return;
    const platform::WindowHandle main = platform::MainWindow();
    // A window that went away between the check and the post gets the line later, like one not yet there.
    if (HasLogList(main) && PostLine(main, line)) return;
    Queue(state, line);
}

void CreateLogFile(const std::u16string& path) {
    bool created = false;
    if (platform::CreateFileIfMissing(path, created) && created)
        platform::AppendToFile(path, kHeader, kHeaderSize);
}

}  // namespace

bool IsRecentLogLine(std::u16string_view line, int days) {
    return CLineAges(days).Age(line) == LineAge::Recent;
}

bool TrimLogFile(std::u16string_view path) {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) return false;
    if (bytes.empty()) {
        // Created but never given its header (the process ended in between): give it one, so the
        // first line written later is not the line every reader passes over.
        return platform::AppendToFile(path, kHeader, kHeaderSize);
    }
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < kHeaderSize || b[0] != 0xFF || b[1] != 0xFE)
        return false;  // not a log this client wrote

    const std::u16string text = UnitsFromBytes(bytes, kHeaderSize);
    bytes.clear();
    bytes.shrink_to_fit();
    CLineReader reader(text);
    std::u16string_view line;
    std::size_t start = 0;
    reader.Next(line, start);  // the first line is passed over: neither examined nor kept

    CLineAges ages(kKeepDays);
    bool changed = false;
    bool dated = false;  // at least one line to drop carries a date: the file is a log and really old
    std::size_t keepFrom = text.size();
    while (reader.Next(line, start)) {
        const LineAge age = ages.Age(line);
        if (age == LineAge::Recent) {
            keepFrom = start;
            break;
        }
        changed = true;
        dated = dated || age == LineAge::NotRecent;
    }
    if (!changed || !dated) return false;

    const std::u16string_view kept = std::u16string_view(text).substr(keepFrom);
    std::string out(reinterpret_cast<const char*>(kHeader), kHeaderSize);
    out.reserve(kHeaderSize + kept.size() * 2 + 2);
    AppendUnitsAsBytes(out, kept);
    if (!kept.empty() && kept.back() != u'\n') AppendUnitsAsBytes(out, u"\n");
    // Replaced in one step rather than deleted and written anew, so a crash never loses the kept lines.
    return platform::ReplaceFileContent(path, out.data(), out.size());
}

void StartLog(const char16_t* resourceModuleName) {
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.started.exchange(true)) return;
    platform::SetMessageModule(resourceModuleName);
    const std::u16string appData = platform::RoamingAppDataFolder();
    if (appData.empty()) {
        state.folder = kFallbackFolder;
    } else {
        state.folder = appData;
        state.folder += platform::kPathSeparator;
        state.folder += kFolderName;
    }
    if (!platform::IsDirectory(state.folder)) platform::CreateOneDirectory(state.folder);
    state.path = state.folder;
    state.path += platform::kPathSeparator;
    state.path += kFileName;
    if (platform::FileExists(state.path)) {
        TrimLogFile(state.path);
    } else {
        CreateLogFile(state.path);
    }
}

void LogDebug(std::u16string_view text) {
    WriteLine(text, kLogDebug, false);
}

void LogAtLevel(std::u16string_view text, int32_t level) {
    WriteLine(text, level, true);
}

void LogMessageId(uint32_t id) {
    WriteLine(MessageText(id), kLogDebug, false);
}

void LogMessageIdAtLevel(uint32_t id, int32_t level) {
    WriteLine(MessageText(id), level, true);
}

void LogFormatV(std::u16string_view format, std::span<const FormatArg> args) {
    if (format.empty() || !State().started.load()) return;
    WriteLine(FormatTextV(format, args), kLogDebug, false);
}

void LogFormatMessageIdV(uint32_t id, std::span<const FormatArg> args) {
    if (!State().started.load()) return;
    const std::u16string format = MessageText(id);
    if (format.empty()) return;
    WriteLine(FormatTextV(format, args), kLogDebug, false);
}

void LogFormatMessageIdAtLevelV(int32_t level, uint32_t id, std::span<const FormatArg> args) {
    if (!State().started.load()) return;
    const std::u16string format = MessageText(id);
    if (format.empty()) return;
    WriteLine(FormatTextV(format, args), level, true);
}

void FlushPendingLogLines() {
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    const platform::WindowHandle main = platform::MainWindow();
    if (HasLogList(main)) {
        for (const std::u16string& line : state.pending) PostLine(main, line);
    }
    state.pending.clear();
}

void ReadRecentLogLines(std::u16string_view markerA, std::u16string_view markerB,
                        std::vector<std::u16string>& lines) {
    lines.clear();
    std::string bytes;
    if (!platform::ReadWholeFile(LogFilePath(), bytes)) {
        const uint32_t error = platform::LastFileError();
        LogAtLevel(platform::ErrorText(error), kLogError);
        return;
    }
    const std::u16string text = UnitsFromBytes(bytes, kHeaderSize);
    bytes.clear();
    CLineReader reader(text);
    std::u16string_view line;
    std::size_t start = 0;
    reader.Next(line, start);  // passed over, as when trimming

    CLineAges ages(kHistoryDays);
    bool examining = false;
    const bool stopAtMarkers = !markerA.empty() && !markerB.empty();
    while (reader.Next(line, start)) {
        if (!examining) {
            if (ages.Age(line) != LineAge::Recent) continue;
            examining = true;  // from the first recent line on, every line counts, whatever its date
        }
        const bool userVisible = line.find(u"[INFO]") != std::u16string_view::npos ||
                                 line.find(u"[ERROR]") != std::u16string_view::npos ||
                                 line.find(u"[WARN]") != std::u16string_view::npos ||
                                 line.find(u"[NOTICE]") != std::u16string_view::npos;
        if (!userVisible) continue;
        if (stopAtMarkers && line.find(markerA) != std::u16string_view::npos &&
            line.find(markerB) != std::u16string_view::npos) {
            break;  // this line and the rest are already on show
        }
        lines.emplace_back(line);
    }
}

void SetLogFilePath(std::u16string_view path) {
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.path = path;
}

std::u16string LogFilePath() {
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.path;
}

std::u16string LogFolder() {
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.folder;
}

std::u16string MessageText(uint32_t id) {
    std::u16string text;
    if (!platform::LoadMessage(id, text)) text.clear();
    return text;
}

}  // namespace velora
