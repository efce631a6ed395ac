// Reading the engine stand-ins' key=value files and scenario switches.
#include "EngineScenario.h"

#include <algorithm>
#include <cstdlib>

namespace velora::sim {

KeyValues ParseKeyValues(std::string_view text) {
    KeyValues out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos) out.emplace(line.substr(0, eq), line.substr(eq + 1));
        at = end + 1;
    }
    return out;
}

long long Number(const KeyValues& keys, const char* key, long long fallback) {
    auto it = keys.find(key);
    if (it == keys.end()) return fallback;
    char* end = nullptr;
    const long long v = std::strtoll(it->second.c_str(), &end, 10);
    return end && *end == '\0' && end != it->second.c_str() ? v : fallback;
}

EngineScenario ReadEngineScenario(const KeyValues& keys) {
    EngineScenario s;
    s.connectDelayMs = std::clamp<long long>(Number(keys, "connectDelayMs", 0), 0, 600000);
    s.refuseToken = Number(keys, "refuseToken", 0) != 0;
    s.dropTunnelAfterMs = Number(keys, "dropTunnelAfterMs", -1);
    s.crashAfterMs = Number(keys, "crashAfterMs", -1);
    s.ignoreStop = Number(keys, "ignoreStop", 0) != 0;
    s.tunnels = static_cast<int>(std::clamp<long long>(Number(keys, "tunnels", 2), 0, 16));
    s.silentPipe = Number(keys, "silentPipe", 0) != 0;
    return s;
}

std::optional<int> ShareIndexFromPayload(const std::string& payload) {
    if (payload.empty()) return 0;
    char* end = nullptr;
    const long v = payload.rfind("ifindex=", 0) == 0 ? std::strtol(payload.c_str() + 8, &end, 10) : 0;
    if (!end || *end != '\0' || end == payload.c_str() + 8) return std::nullopt;
    return static_cast<int>(v);
}

}  // namespace velora::sim
