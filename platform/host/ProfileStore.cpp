// The settings section on the host: one per-user file, $XDG_CONFIG_HOME/Halvane/<application>/Settings
// ($HOME/.config when XDG_CONFIG_HOME is unset).
//
// File format, one value a line (LF):   <name>=<kind>:<hex>
//   name  the value name in UTF-8 (no '=', CR, LF or NUL)
//   kind  "text" (UTF-16LE code units), "int" (4 bytes, little-endian, two's complement) or "bin"
//   hex   the value's bytes as upper-case hexadecimal digits (either case is read)
// Lines starting with '#' are comments. A line that cannot be read is reported once on stderr, reads as
// missing and is kept verbatim when the file is rewritten, so one damaged value never costs the others.
//
// Writers serialise on a process mutex and an flock on "Settings.lock" beside the file, read the newest
// file under that lock, and replace it atomically (temporary file, fsync, rename), so concurrent
// writers in any number of threads or processes never lose each other's values. Readers take no lock:
// a rename is atomic, so they always see one complete file.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/ProfileStore.h"
#include "platform/Text.h"
#include "platform/Utf16Le.h"
#include "platform/host/UniqueFd.h"

namespace platform {
namespace {

enum class Kind { Text, Int, Binary };

constexpr const char* kKindNames[] = {"text", "int", "bin"};
constexpr const char* kFileHeader =
    "# Velora settings: <name>=<kind>:<hex>, kind text (UTF-16LE), int, bin\n";

std::mutex g_appLock;
std::u16string g_application = u"Velora";

// Serialises the writers of this process; the flock serialises processes.
std::mutex g_writeLock;

std::mutex g_reportLock;
std::set<std::string> g_reported;

// One line of the file. `name` is empty when the line has no readable name (kept verbatim);
// `bytes` is empty-and-invalid when the name is readable but the value is not.
struct Line {
    std::string raw;
    std::string name;
    Kind kind = Kind::Text;
    bool valid = false;
    std::vector<uint8_t> bytes;
};

std::filesystem::path ConfigBase() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
    }
    return std::filesystem::path(home ? home : "/tmp") / ".config";
}

std::filesystem::path SectionFolder() {
    std::u16string app;
    {
        std::lock_guard lock(g_appLock);
        app = g_application;
    }
    return ConfigBase() / "Halvane" / Utf16ToUtf8(app);
}

bool ValidName(std::u16string_view name) {
    if (name.empty()) return false;
    for (char16_t c : name) {
        if (c == u'\0' || c == u'=' || c == u'\r' || c == u'\n') return false;
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::vector<uint8_t>> DecodeHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::vector<uint8_t> bytes(hex.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int hi = HexValue(hex[2 * i]);
        const int lo = HexValue(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return bytes;
}

std::string EncodeHex(const std::vector<uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 0xF];
    }
    return hex;
}

Line ParseLine(std::string raw) {
    Line line;
    line.raw = std::move(raw);
    const std::string_view text = line.raw;
    const auto eq = text.find('=');
    if (eq == std::string_view::npos || eq == 0 || text.find('\0') != std::string_view::npos) return line;
    line.name = std::string(text.substr(0, eq));
    const std::string_view rest = text.substr(eq + 1);
    const auto colon = rest.find(':');
    if (colon == std::string_view::npos) return line;
    const std::string_view kind = rest.substr(0, colon);
    if (kind == kKindNames[0]) {
        line.kind = Kind::Text;
    } else if (kind == kKindNames[1]) {
        line.kind = Kind::Int;
    } else if (kind == kKindNames[2]) {
        line.kind = Kind::Binary;
    } else {
        return line;
    }
    auto bytes = DecodeHex(rest.substr(colon + 1));
    if (!bytes) return line;
    if (line.kind == Kind::Int && bytes->size() != 4) return line;
    if (line.kind == Kind::Text && bytes->size() % 2 != 0) return line;
    line.bytes = std::move(*bytes);
    line.valid = true;
    return line;
}

std::string FormatLine(const std::string& name, Kind kind, const std::vector<uint8_t>& bytes) {
    return name + "=" + kKindNames[static_cast<int>(kind)] + ":" + EncodeHex(bytes);
}

void ReportDamage(const std::filesystem::path& file, std::size_t number, const std::string& raw) {
    std::lock_guard lock(g_reportLock);
    if (!g_reported.insert(file.string() + '\n' + raw).second) return;
    std::fprintf(stderr,
                 "settings: line %zu of %s cannot be read; it reads as missing and is kept as it is\n",
                 number, file.c_str());
}

// Reads the whole file. Missing file: true with no lines. Unreadable file: false (writers must then
// leave it alone rather than replace it with a file that lacks its values).
bool LoadLines(const std::filesystem::path& file, std::vector<Line>& lines) {
    lines.clear();
    host::CUniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return errno == ENOENT;
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    std::size_t start = 0;
    std::size_t number = 0;
    while (start < content.size()) {
        auto end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        ++number;
        Line line = ParseLine(content.substr(start, end - start));
        const bool comment = !line.raw.empty() && line.raw[0] == '#';
        if (!line.valid && !comment && !line.raw.empty()) ReportDamage(file, number, line.raw);
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

bool ReadValue(std::u16string_view name, Kind kind, std::vector<uint8_t>& bytes) {
    if (!ValidName(name)) return false;
    std::vector<Line> lines;
    if (!LoadLines(SectionFolder() / "Settings", lines)) return false;
    const std::string key = Utf16ToUtf8(name);
    // The last line of a name wins, as it would for a writer that appended.
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->name != key) continue;
        if (!it->valid || it->kind != kind) return false;
        bytes = std::move(it->bytes);
        return true;
    }
    return false;
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Runs `change` on the current lines under both locks and replaces the file with the result.
template <typename Change>
bool RewriteFile(Change change) {
    const std::filesystem::path folder = SectionFolder();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return false;
    const std::filesystem::path file = folder / "Settings";
    const std::filesystem::path temp = folder / "Settings.tmp";

    std::lock_guard processLock(g_writeLock);
    host::CUniqueFd lockFd(::open((folder / "Settings.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lockFd.Get() < 0) return false;
    while (::flock(lockFd.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }
    // The lock ends when lockFd closes.

    std::vector<Line> lines;
    if (!LoadLines(file, lines)) return false;
    if (!change(lines)) return true;

    std::string content;
    if (lines.empty() || lines.front().raw.empty() || lines.front().raw[0] != '#') content = kFileHeader;
    for (const auto& line : lines) {
        content += line.raw;
        content += '\n';
    }
    // The temporary file is always a new one of our own: whatever lies under its name (a leftover of a
    // writer that died, or a symlink planted there) is removed, never followed or reused with its
    // permissions. The write lock keeps other writers of this store away from the name meanwhile.
    ::unlink(temp.c_str());
    host::CUniqueFd tempFd(
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (tempFd.Get() < 0) return false;
    if (!WriteAll(tempFd.Get(), content) || ::fsync(tempFd.Get()) != 0 || !tempFd.Close()) {
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here leaves a complete file either way.
    host::CUniqueFd dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() >= 0) ::fsync(dirFd.Get());
    return true;
}

bool WriteValue(std::u16string_view name, Kind kind, std::vector<uint8_t> bytes) {
    if (!ValidName(name)) return false;
    const std::string key = Utf16ToUtf8(name);
    return RewriteFile([&](std::vector<Line>& lines) {
        Line fresh;
        fresh.raw = FormatLine(key, kind, bytes);
        fresh.name = key;
        fresh.kind = kind;
        fresh.valid = true;
        fresh.bytes = std::move(bytes);
        // The first line of the name takes the new value in place; later duplicates go.
        bool placed = false;
        std::vector<Line> result;
        result.reserve(lines.size() + 1);
        for (auto& line : lines) {
            if (line.name == key) {
                if (!placed) result.push_back(std::move(fresh));
                placed = true;
                continue;
            }
            result.push_back(std::move(line));
        }
        if (!placed) result.push_back(std::move(fresh));
        lines = std::move(result);
        return true;
    });
}

}  // namespace

void SetProfileApplication(std::u16string_view name) {
    if (name.empty()) return;
    std::lock_guard lock(g_appLock);
    g_application = std::u16string(name);
}

bool ReadProfileText(std::u16string_view name, std::u16string& value) {
    std::vector<uint8_t> bytes;
    if (!ReadValue(name, Kind::Text, bytes)) return false;
    value = std::u16string(UpToNul(DecodeUtf16Le(bytes)));
    return true;
}

bool WriteProfileText(std::u16string_view name, std::u16string_view value) {
    std::vector<uint8_t> bytes;
    AppendUtf16Le(bytes, UpToNul(value));
    return WriteValue(name, Kind::Text, std::move(bytes));
}

bool ReadProfileInt(std::u16string_view name, int32_t& value) {
    std::vector<uint8_t> bytes;
    if (!ReadValue(name, Kind::Int, bytes)) return false;
    const uint32_t u = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                       (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    value = static_cast<int32_t>(u);
    return true;
}

bool WriteProfileInt(std::u16string_view name, int32_t value) {
    const uint32_t u = static_cast<uint32_t>(value);
    return WriteValue(name, Kind::Int,
                      {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
                       static_cast<uint8_t>(u >> 24)});
}

bool ReadProfileBinary(std::u16string_view name, std::vector<uint8_t>& value) {
    std::vector<uint8_t> bytes;
    if (!ReadValue(name, Kind::Binary, bytes)) return false;
    value = std::move(bytes);
    return true;
}

bool WriteProfileBinary(std::u16string_view name, const uint8_t* data, std::size_t size) {
    if (size != 0 && data == nullptr) return false;
    return WriteValue(name, Kind::Binary, std::vector<uint8_t>(data, data + size));
}

bool ClearProfileForTest() {
    return RewriteFile([](std::vector<Line>& lines) {
        lines.clear();
        return true;
    });
}

}  // namespace platform
