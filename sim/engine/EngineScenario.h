// How the engine stand-ins read what steers them: the key=value files next to the engine
// ("ferronwin.scenario", "cpeagent.conf"), the command line and the share-interface request's payload. The
// Windows program and the host's in-process engine read them through this one piece, so a scenario means the
// same to both.
#pragma once
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velora::sim {

using KeyValues = std::multimap<std::string, std::string>;

// A longer file is read only this far.
inline constexpr std::size_t kMaxKeyValueBytes = 64 * 1024;

// The scenario file's switches, with the engine's ordinary behaviour where a key is missing or not a number.
struct EngineScenario {
    long long connectDelayMs = 0;
    bool refuseToken = false;
    long long dropTunnelAfterMs = -1;
    long long crashAfterMs = -1;
    bool ignoreStop = false;
    int tunnels = 2;
    bool silentPipe = false;  // requests are read and never answered
};

// Key=value lines, LF or CR LF; a line without '=' is passed over and a key may stand more than once.
KeyValues ParseKeyValues(std::string_view text);
// The key's decimal value; `fallback` when the key is missing or its value is not a whole number.
long long Number(const KeyValues& keys, const char* key, long long fallback);
EngineScenario ReadEngineScenario(const KeyValues& keys);

// The interface index of a set-share-interface payload: "ifindex=N", or nothing for 0. No value: refused.
std::optional<int> ShareIndexFromPayload(const std::string& payload);

// Splits a command line at blanks, honouring double quotes (the program path may come first).
template <typename Char>
std::vector<std::basic_string<Char>> SplitCommandLine(std::basic_string_view<Char> line) {
    std::vector<std::basic_string<Char>> out;
    std::basic_string<Char> current;
    bool quoted = false, any = false;
    for (const Char c : line) {
        if (c == Char('"')) {
            quoted = !quoted;
            any = true;
        } else if ((c == Char(' ') || c == Char('\t')) && !quoted) {
            if (any) out.push_back(current);
            current.clear();
            any = false;
        } else {
            current.push_back(c);
            any = true;
        }
    }
    if (any) out.push_back(current);
    return out;
}

}  // namespace velora::sim
