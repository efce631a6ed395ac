// The host's simulated data-path engine. One engine at a time, like the real one: a new start ends the
// previous engine. Its timeline (announce, tunnel drop, crash, and an end after ten minutes at the latest)
// runs on a thread of its own; the pipe is answered on the client's thread, as the host's pipes do.
#include "HostEngineStandIn.h"

#include "EngineScenario.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/EngineEvents.h"
#include "engine/EnginePipe.h"
#include "engine/PipeFrame.h"
#include "logic/ControlHelperLogic.h"
#include "logic/EngineCommandLine.h"
#include "logic/SimProcessControl.h"
#include "platform/Kernel.h"
#include "platform/Text.h"
#include "platform/host/SimPipe.h"

namespace velora::sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kStatusInvalidData = 13;
constexpr uint32_t kStatusUnknownCommand = 1;
constexpr uint32_t kStatusInvalidParameter = 87;
constexpr uint32_t kExitCrash = 0xC0000005u;
constexpr uint32_t kExitBadArguments = 87;
constexpr auto kLongestLife = std::chrono::minutes(10);
constexpr uint32_t kMaxRequest = static_cast<uint32_t>(kPipeRequestBufferSize);

enum class LinkState { kConnecting, kConnected, kDown, kRefused };

std::mutex g_logLock;
std::vector<std::string> g_log;

void Log(const std::string& line) {
    std::lock_guard l(g_logLock);
    g_log.push_back(line);
}

std::string Narrow(std::u16string_view text) {
    std::string s;
    for (char16_t c : text) s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return s;
}

// Key=value lines of a small file; false when it cannot be read.
bool ReadKeyValues(const std::filesystem::path& path, KeyValues& out) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::string text(kMaxKeyValueBytes, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    out = ParseKeyValues(text);
    return true;
}

class CHostEngine : public std::enable_shared_from_this<CHostEngine> {
public:
    CHostEngine(uint32_t processId, EngineScenario scenario) : m_processId(processId), m_scenario(scenario) {}

    void Start(std::unique_ptr<platform::Event> connection, std::unique_ptr<platform::Event> disconnection) {
        m_connection = std::move(connection);
        m_disconnection = std::move(disconnection);
        m_started = Clock::now();
        std::weak_ptr<CHostEngine> weak = weak_from_this();
        platform::host::ServeSimPipeConnections(kEnginePipeName, [weak]() -> platform::host::SimPipeServer {
            auto buffer = std::make_shared<std::string>();
            return [weak, buffer](std::string_view written) {
                auto engine = weak.lock();
                if (!engine) return platform::host::SimPipeAnswer{{}, true};
                return engine->Receive(*buffer, written);
            };
        });
        auto self = shared_from_this();
        m_thread = std::thread([self] { self->Timeline(); });
    }

    // Ends the engine (stop command, termination, a newer engine); `exitCode` < 0 leaves the process
    // table alone (the process has already ended there).
    void End(long long exitCode) {
        {
            std::lock_guard l(m_lock);
            if (m_ended) return;
            m_ended = true;
        }
        m_wake.notify_all();
        platform::host::StopSimPipe(kEnginePipeName);
        if (exitCode >= 0)
            corvane::SimulatedProcesses().EndProcess(m_processId, static_cast<uint32_t>(exitCode));
    }
    void Join() {
        if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
    }
    bool Ended() {
        std::lock_guard l(m_lock);
        return m_ended;
    }
    uint32_t ProcessId() const { return m_processId; }

private:
    void Timeline() {
        std::unique_lock l(m_lock);
        const auto at = [this](long long ms) { return m_started + std::chrono::milliseconds(ms); };
        bool announced = false;
        while (!m_ended) {
            const auto now = Clock::now();
            if (m_scenario.crashAfterMs >= 0 && now >= at(m_scenario.crashAfterMs)) {
                l.unlock();
                Log("scenario: crash");
                End(kExitCrash);
                return;
            }
            if (now - m_started >= kLongestLife) {
                l.unlock();
                Log("stop: longest life reached");
                End(0);
                return;
            }
            if (!announced && now >= at(m_scenario.connectDelayMs)) {
                announced = true;
                if (m_scenario.refuseToken) {
                    m_state = LinkState::kRefused;
                    m_disconnection->Set();
                    Log("orchestrator: token refused, disconnection event set");
                } else {
                    m_state = LinkState::kConnected;
                    m_connectedAt = now;
                    m_connection->Set();
                    Log("orchestrator: connected, connection event set");
                }
            }
            if (m_state == LinkState::kConnected && m_scenario.dropTunnelAfterMs >= 0 &&
                now >= m_connectedAt + std::chrono::milliseconds(m_scenario.dropTunnelAfterMs)) {
                m_state = LinkState::kDown;
                m_frozenAt = now;
                Log("scenario: tunnel down");
            }
            // Sleep until the next thing that can happen.
            auto next = m_started + kLongestLife;
            if (m_scenario.crashAfterMs >= 0) next = std::min(next, at(m_scenario.crashAfterMs));
            if (!announced) next = std::min(next, at(m_scenario.connectDelayMs));
            if (m_state == LinkState::kConnected && m_scenario.dropTunnelAfterMs >= 0)
                next =
                    std::min(next, m_connectedAt + std::chrono::milliseconds(m_scenario.dropTunnelAfterMs));
            m_wake.wait_until(l, next);
        }
    }

    std::string StatusText() {
        std::lock_guard l(m_lock);
        static const char* names[] = {"CONNECTING", "CONNECTED", "DOWN", "REFUSED"};
        std::string text = "Engine: host stand-in\n";
        text += "ShareIfIndex: " + std::to_string(m_shareIndex) + "\n";
        text += std::string("State: ") + names[static_cast<int>(m_state)] + "\n";
        if (m_state == LinkState::kConnected || m_state == LinkState::kDown) {
            const auto until = m_state == LinkState::kDown ? m_frozenAt : Clock::now();
            const long long elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - m_connectedAt).count() + 1;
            for (int i = 1; i <= m_scenario.tunnels; ++i) {
                const long long tx = elapsed * 13 * i;
                const long long rx = elapsed * 29 * i;
                char line[160];
                std::snprintf(line, sizeof line,
                              "Tunnel(txbytes/rxbytes/txpkts/rxpkts): %lld,%lld,%lld,%lld\n", tx, rx,
                              tx / 100 + 1, rx / 100 + 1);
                text += line;
            }
        }
        return text;
    }

    static std::string Reply(uint32_t status, const std::string& payload) {
        return EncodePipeFrame(status, payload, kPipeMaxFrameLength);
    }

    // Bytes from one client: whole frames are answered in order; a frame may arrive in pieces.
    platform::host::SimPipeAnswer Receive(std::string& buffer, std::string_view written) {
        platform::host::SimPipeAnswer answer;
        buffer.append(written);
        for (;;) {
            const PipeFrameParse parse = ParsePipeFrame(buffer, kMaxRequest);
            if (parse.state == PipeFrameState::kBadLength) {
                Log("pipe: request header length " + std::to_string(parse.header.length) + " refused");
                answer.bytes += Reply(kStatusInvalidData, "bad length\n");
                answer.close = true;
                return answer;
            }
            if (parse.state == PipeFrameState::kNeedMore) return answer;
            const uint32_t code = parse.header.code;
            const std::string payload(parse.payload);
            buffer.erase(0, parse.header.length);
            if (m_scenario.silentPipe) {
                Log("pipe: silent, request not answered");
                continue;
            }
            bool stop = false;
            answer.bytes += Serve(code, payload, stop);
            if (stop) {
                answer.close = true;
                End(0);
                return answer;
            }
        }
    }

    std::string Serve(uint32_t code, const std::string& payload, bool& stop) {
        switch (code) {
            case PIPE_CMD_STATUS:
                return Reply(0, StatusText());
            case PIPE_CMD_GET_SHARE_IF: {
                std::lock_guard l(m_lock);
                return Reply(0, "ifindex=" + std::to_string(m_shareIndex) + "\n");
            }
            case PIPE_CMD_SET_SHARE_IF: {
                const std::optional<int> parsed = ShareIndexFromPayload(payload);
                if (!parsed) {
                    Log("pipe: set share interface refused: " + payload.substr(0, 64));
                    return Reply(kStatusInvalidParameter, "bad ifindex\n");
                }
                const int index = *parsed;
                {
                    std::lock_guard l(m_lock);
                    m_shareIndex = index;
                }
                Log("pipe: share interface " + std::to_string(index));
                return Reply(0, "ok\n");
            }
            case PIPE_CMD_STOP:
                Log(m_scenario.ignoreStop ? "pipe: stop ignored" : "pipe: stop");
                stop = !m_scenario.ignoreStop;
                return Reply(0, "stopping\n");
            default: {
                char text[16];
                std::snprintf(text, sizeof text, "0x%08X", code);
                Log(std::string("pipe: unknown command ") + text);
                return Reply(kStatusUnknownCommand, "unknown command\n");
            }
        }
    }

    const uint32_t m_processId;
    const EngineScenario m_scenario;
    std::unique_ptr<platform::Event> m_connection;
    std::unique_ptr<platform::Event> m_disconnection;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_ended = false;
    LinkState m_state = LinkState::kConnecting;
    Clock::time_point m_started, m_connectedAt, m_frozenAt;
    int m_shareIndex = -1;
    std::thread m_thread;
};

std::mutex g_engineLock;
std::shared_ptr<CHostEngine> g_engine;

void EndCurrent(long long exitCode) {
    std::shared_ptr<CHostEngine> engine;
    {
        std::lock_guard l(g_engineLock);
        engine = std::move(g_engine);
    }
    if (!engine) return;
    engine->End(exitCode);
    engine->Join();
}

void OnStart(uint32_t id, const corvane::SimLaunch& launch) {
    const std::u16string& program = launch.program;
    const std::size_t slash = program.find_last_of(u"\\/");
    const std::u16string image = slash == std::u16string::npos ? program : program.substr(slash + 1);
    if (!corvane::SameImageName(image, corvane::kEngineImageName)) return;
    EndCurrent(0);  // one engine at a time

    Log("start: command line [" + Narrow(launch.commandLine) + "]");
    const std::vector<std::u16string> tokens = SplitCommandLine(std::u16string_view(launch.commandLine));
    std::u16string token, serial, domain;
    int shareIndex = -1;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (tokens[i] == u"-T")
            token = tokens[++i];
        else if (tokens[i] == u"-S")
            serial = tokens[++i];
        else if (tokens[i] == u"-d")
            domain = tokens[++i];
        else if (tokens[i] == u"-I")
            shareIndex = std::atoi(Narrow(tokens[++i]).c_str());
    }
    if (token.empty() || serial.empty()) {
        Log("start: -T token and -S serial are required");
        corvane::SimulatedProcesses().EndProcess(id, kExitBadArguments);
        return;
    }
    Log("start: serial " + Narrow(serial) + " domain [" + Narrow(domain) + "] interface " +
        std::to_string(shareIndex) + " token length " + std::to_string(token.size()));

    const std::filesystem::path folder(launch.workingFolder);
    KeyValues keys;
    ReadKeyValues(folder / "ferronwin.scenario", keys);
    EngineScenario s = ReadEngineScenario(keys);

    KeyValues agent;
    const bool haveAgent = ReadKeyValues(folder / "cpeagent.conf", agent);
    if (haveAgent) {
        auto it = agent.find("commaddr");
        Log("config: cpeagent.conf orchid " + std::to_string(Number(agent, "orchid", -1)) + " cpeid " +
            std::to_string(Number(agent, "cpeid", -1)) + " commaddr " +
            (it == agent.end() ? "" : it->second));
    } else {
        // Without a configuration the engine cannot reach the orchestrator and announces nothing.
        Log("config: cpeagent.conf missing, the orchestrator cannot be reached");
        s.connectDelayMs = std::chrono::duration_cast<std::chrono::milliseconds>(kLongestLife).count() + 1;
    }

    platform::EventCreation connection = platform::OpenOrCreateEvent(kConnectionEventName, true, false);
    platform::EventCreation disconnection = platform::OpenOrCreateEvent(kDisconnectionEventName, true, false);
    if (!connection.event || !disconnection.event) {
        Log("start: cannot create the events");
        corvane::SimulatedProcesses().EndProcess(id, 1);
        return;
    }
    auto engine = std::make_shared<CHostEngine>(id, s);
    {
        std::lock_guard l(g_engineLock);
        g_engine = engine;
    }
    engine->Start(std::move(connection.event), std::move(disconnection.event));
}

void OnTerminate(uint32_t id) {
    std::shared_ptr<CHostEngine> engine;
    {
        std::lock_guard l(g_engineLock);
        if (!g_engine || g_engine->ProcessId() != id) return;
        engine = std::move(g_engine);
    }
    Log("stop: terminated");
    engine->End(-1);
    engine->Join();
}

}  // namespace

void InstallHostEngineStandIn() {
    corvane::SimulatedProcesses().SetProcessHooks(&OnStart, &OnTerminate);
}

void UninstallHostEngineStandIn() {
    corvane::SimulatedProcesses().SetProcessHooks({}, {});
    EndCurrent(0);
}

std::vector<std::string> HostEngineLog() {
    std::lock_guard l(g_logLock);
    return g_log;
}

void ClearHostEngineLog() {
    std::lock_guard l(g_logLock);
    g_log.clear();
}

bool HostEngineRunning() {
    std::lock_guard l(g_engineLock);
    return g_engine && !g_engine->Ended();
}

}  // namespace velora::sim
