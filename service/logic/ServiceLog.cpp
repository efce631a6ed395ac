// Service log writer shared by every method of the helper service.
#include "logic/ServiceLog.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <system_error>

#include "logic/HResult.h"

namespace corvane {

namespace {

std::mutex gFolderLock;  // guards gFolder until the path is fixed
std::u16string gFolder;
std::once_flag gPathOnce;  // two first callers at once both see one fixed path
std::filesystem::path gPath;
std::mutex gWriteLock;  // the log lock: one open-append-close at a time
ServiceLogFallback gFallback = nullptr;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void Fallback(std::u16string_view text) {
    if (gFallback) gFallback(text);
}

std::filesystem::path DefaultFolder() {
#ifdef _WIN32
    return {};
#else
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
#endif
}

void FixPath() {
    std::filesystem::path folder;
    {
        std::lock_guard<std::mutex> lock(gFolderLock);
        folder = gFolder.empty() ? DefaultFolder() : std::filesystem::path(gFolder);
    }
    gPath = folder.empty() ? std::filesystem::path(u"C:\\Program Files\\Velora2\\service.log")
                           : folder / u"service.log";
}

}  // namespace

bool LocalLogTime(LogTime& out, int& error) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    error = localtime_s(&tm, &now);
    if (error != 0) return false;
#else
    if (!localtime_r(&now, &tm)) {
        error = errno;
        return false;
    }
#endif
    out = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    return true;
}

std::string ServiceLogLine(std::u16string_view message, const LogTime& t) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%d-%02d-%02d %02d:%02d:%02d ", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    std::string line(stamp);
    for (std::size_t i = 0; i < message.size(); ++i) {
        char32_t c = message[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < message.size() && message[i + 1] >= 0xDC00 &&
            message[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (message[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c == U'\n') line.push_back('\r');
        AppendUtf8(line, c);
    }
    line += "\r\n";
    return line;
}

bool AppendServiceLogLine(const std::filesystem::path& file, std::u16string_view message, const LogTime& time,
                          int& error) {
    std::error_code ec;
    const bool fresh = !std::filesystem::exists(file, ec) || std::filesystem::file_size(file, ec) == 0;
    errno = 0;
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (!out) {
        error = errno ? errno : ENOENT;
        return false;
    }
    if (fresh) out.write("\xEF\xBB\xBF", 3);
    const std::string line = ServiceLogLine(message, time);
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.close();
    if (!out) {
        error = errno ? errno : EIO;
        return false;
    }
    return true;
}

void SetServiceLogFolder(std::u16string_view folder) {
    std::lock_guard<std::mutex> lock(gFolderLock);
    gFolder.assign(folder);
}

std::filesystem::path ServiceLogPath() {
    std::call_once(gPathOnce, FixPath);
    return gPath;
}

void SetServiceLogFallback(ServiceLogFallback fallback) {
    gFallback = fallback;
}

void WriteServiceLog(std::u16string_view message) {
    const std::filesystem::path& path = ServiceLogPath();
    LogTime time;
    int error = 0;
    if (!LocalLogTime(time, error)) {
        Fallback(u"Failed to call localtime_s(" + Decimal(error) + u")");
        return;
    }
    std::unique_lock<std::mutex> lock(gWriteLock);
    if (!AppendServiceLogLine(path, message, time, error)) {
        lock.unlock();
        Fallback(u"Failed to call _wfopen_s(" + Decimal(error) + u")");
    }
}

}  // namespace corvane
