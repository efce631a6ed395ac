// The service's own state file: one line per record, numbers in decimal, the owner's user as its SID text
// ("-" when the caller was not known).
//   engine <id> <creation time> <known> <session> <user>
//   route <destination> <mask> <next hop> <interface> <known> <session> <user>
#include "logic/ServiceState.h"

#include <charconv>
#include <sstream>

namespace corvane {
namespace {

bool Number(std::string_view word, uint64_t& value) {
    if (word.empty()) return false;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return error == std::errc() && end == word.data() + word.size();
}

template <typename T>
bool Number32(std::string_view word, T& value) {
    uint64_t wide = 0;
    if (!Number(word, wide) || wide > 0xFFFFFFFFull) return false;
    value = static_cast<T>(wide);
    return true;
}

// A SID text is ASCII letters, digits and '-'; anything else makes the line malformed.
bool UserWord(std::string_view word, std::u16string& user) {
    if (word == "-") {
        user.clear();
        return true;
    }
    for (char c : word)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-'))
            return false;
    user.assign(word.begin(), word.end());
    return !user.empty();
}

std::string UserText(const std::u16string& user) {
    if (user.empty()) return "-";
    std::string out;
    for (char16_t c : user) out += static_cast<char>(c < 0x80 ? c : '?');
    return out;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(' ', at);
        if (start == std::string_view::npos) break;
        const std::size_t end = line.find(' ', start);
        words.push_back(line.substr(start, end == std::string_view::npos ? line.size() - start : end - start));
        if (end == std::string_view::npos) break;
        at = end;
    }
    return words;
}

bool Owner(const std::vector<std::string_view>& w, std::size_t at, CallerIdentity& owner) {
    uint32_t known = 0;
    return Number32(w[at], known) && known <= 1 && Number32(w[at + 1], owner.session) &&
           UserWord(w[at + 2], owner.user) && ((owner.known = known == 1), true);
}

}  // namespace

std::recursive_mutex& ServiceStateLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::string FormatServiceState(const std::optional<EngineRecord>& engine, const std::vector<RouteRecord>& routes) {
    std::ostringstream out;
    auto owner = [&out](const CallerIdentity& o) {
        out << ' ' << (o.known ? 1 : 0) << ' ' << o.session << ' ' << UserText(o.user);
    };
    if (engine) {
        out << "engine " << engine->id << ' ' << engine->creationTime;
        owner(engine->owner);
        out << '\n';
    }
    for (const RouteRecord& r : routes) {
        out << "route " << r.destination << ' ' << r.mask << ' ' << r.nextHop << ' ' << r.interfaceIndex;
        owner(r.owner);
        out << '\n';
    }
    return out.str();
}

void ParseServiceState(std::string_view text, std::optional<EngineRecord>& engine,
                       std::vector<RouteRecord>& routes) {
    engine.reset();
    routes.clear();
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::vector<std::string_view> w = Words(line);
        if (w.size() == 6 && w[0] == "engine") {
            EngineRecord record;
            if (Number32(w[1], record.id) && Number(w[2], record.creationTime) && record.creationTime != 0 &&
                Owner(w, 3, record.owner))
                engine = record;
        } else if (w.size() == 8 && w[0] == "route") {
            RouteRecord record;
            if (Number32(w[1], record.destination) && Number32(w[2], record.mask) &&
                Number32(w[3], record.nextHop) && Number32(w[4], record.interfaceIndex) &&
                Owner(w, 5, record.owner))
                routes.push_back(record);
        }
    }
}

bool CServiceState::Path(std::u16string& path) {
    std::u16string modulePath;
    if (store_.GetModulePath(modulePath) != 0) return false;
    const std::size_t cut = modulePath.find_last_of(u"\\/");
    if (cut == std::u16string::npos) return false;
    path = modulePath.substr(0, cut + 1) + kServiceStateFile;
    return true;
}

void CServiceState::Load() {
    engine.reset();
    routes.clear();
    std::u16string path;
    if (!Path(path)) return;
    std::string bytes;
    if (store_.ReadWholeFile(path, bytes) != 0) return;  // none yet
    ParseServiceState(bytes, engine, routes);
}

bool CServiceState::Save() {
    std::u16string path;
    bool openFailed = false;
    if (!Path(path) || store_.WriteWholeFile(path, FormatServiceState(engine, routes), openFailed) != 0) {
        store_.WriteLog(u"The service's state file could not be written");
        return false;
    }
    return true;
}

}  // namespace corvane
