// Stand-in for the data-path engine: takes the engine's switches, reads the configuration files that
// lie next to it, announces the orchestrator's verdict through the two global events and serves the
// control pipe until told to stop. A scenario file next to it ("ferronwin.scenario", key=value lines)
// steers it: connectDelayMs, refuseToken, dropTunnelAfterMs, crashAfterMs, ignoreStop, tunnels, silentPipe
// (requests are read and never answered). Every
// step goes to "ferronwin.log" next to it, so tests can see what it was given.
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "EngineScenario.h"
#include "engine/PipeFrame.h"

namespace {

using velora::PipeFrameParse;
using velora::PipeFrameState;
using velora::sim::EngineScenario;
using velora::sim::KeyValues;
using velora::sim::kMaxKeyValueBytes;
using velora::sim::Number;
using velora::sim::ParseKeyValues;
using velora::sim::ReadEngineScenario;
using velora::sim::ShareIndexFromPayload;
using velora::sim::SplitCommandLine;

constexpr wchar_t kPipeName[] = L"\\\\.\\pipe\\dispatch_config_pipe";
constexpr wchar_t kConnectionEvent[] = L"Global\\ORCH_CONNECTION_EVENT";
constexpr wchar_t kDisconnectionEvent[] = L"Global\\ORCH_DISCONNECTION_EVENT";
// Requests are small; a longer header is a broken or hostile client.
constexpr uint32_t kMaxRequest = static_cast<uint32_t>(velora::kPipeRequestBufferSize);
// Once a frame has begun, the rest must follow soon; an idle client between frames may wait forever.
constexpr DWORD kFrameCompletionMs = 2000;
constexpr DWORD kReplyWriteMs = 3000;
constexpr DWORD kStopReplyDrainMs = 1000;
constexpr LONG kMaxClients = 16;
constexpr uint32_t kStatusInvalidData = 13;
constexpr uint32_t kStatusUnknownCommand = 1;
constexpr uint32_t kStatusInvalidParameter = 87;

struct Handle {
    HANDLE h = nullptr;
    Handle() = default;
    explicit Handle(HANDLE value) : h(value == INVALID_HANDLE_VALUE ? nullptr : value) {}
    ~Handle() {
        if (h) CloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

std::wstring g_folder;
std::mutex g_logLock;

void Log(const std::string& line) {
    std::lock_guard l(g_logLock);
    const std::wstring path = g_folder + L"\\ferronwin.log";
    HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02u:%02u:%02u.%03u [%lu] ", t.wHour, t.wMinute, t.wSecond,
                  t.wMilliseconds, GetCurrentProcessId());
    const std::string text = stamp + line + "\r\n";
    DWORD written = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
}

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return s;
}

// Key=value lines of a small text file next to the program; false when it cannot be read.
bool ReadKeyValues(const wchar_t* name, KeyValues& out) {
    const std::wstring path = g_folder + L"\\" + name;
    Handle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f.h) return false;
    std::string text(kMaxKeyValueBytes, '\0');
    DWORD got = 0;
    if (!ReadFile(f.h, text.data(), static_cast<DWORD>(text.size()), &got, nullptr)) return false;
    text.resize(got);
    out = ParseKeyValues(text);
    return true;
}

enum class LinkState { kConnecting, kConnected, kDown, kRefused };

struct Engine {
    std::wstring token, serial, domain;
    int shareIndex = -1;
    std::string orchestrator;
    std::size_t filterBytes = 0;
    EngineScenario scenario;
    std::mutex lock;
    LinkState state = LinkState::kConnecting;
    ULONGLONG connectedAt = 0;
    ULONGLONG frozenAt = 0;  // counters stop when the tunnel drops
    HANDLE stopEvent = nullptr;
    std::atomic<LONG> clients{0};
    PSECURITY_DESCRIPTOR pipeSecurity = nullptr;
};

Engine g_engine;

std::string StatusText() {
    std::lock_guard l(g_engine.lock);
    std::string text = "Engine: stand-in\n";
    text += "Serial: " + Narrow(g_engine.serial) + "\n";
    text += "Domain: " + Narrow(g_engine.domain) + "\n";
    text += "Orchestrator: " + g_engine.orchestrator + "\n";
    text += "ShareIfIndex: " + std::to_string(g_engine.shareIndex) + "\n";
    static const char* names[] = {"CONNECTING", "CONNECTED", "DOWN", "REFUSED"};
    text += std::string("State: ") + names[static_cast<int>(g_engine.state)] + "\n";
    if (g_engine.state == LinkState::kConnected || g_engine.state == LinkState::kDown) {
        const ULONGLONG until = g_engine.state == LinkState::kDown ? g_engine.frozenAt : GetTickCount64();
        const long long elapsed = static_cast<long long>(until - g_engine.connectedAt) + 1;
        for (int i = 1; i <= g_engine.scenario.tunnels; ++i) {
            const long long tx = elapsed * 13 * i;
            const long long rx = elapsed * 29 * i;
            char line[160];
            std::snprintf(line, sizeof line, "Tunnel(txbytes/rxbytes/txpkts/rxpkts): %lld,%lld,%lld,%lld\n",
                          tx, rx, tx / 100 + 1, rx / 100 + 1);
            text += line;
        }
    }
    return text;
}

// Overlapped I/O on one pipe instance with a bounded or unbounded wait that also ends at stop.
class Instance {
public:
    explicit Instance(HANDLE pipe) : pipe_(pipe), event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    // 0, WAIT_TIMEOUT, or a system error; `done` bytes moved.
    DWORD Io(bool write, void* data, DWORD size, DWORD timeoutMs, DWORD& done) {
        done = 0;
        OVERLAPPED ov{};
        ov.hEvent = event_.h;
        ResetEvent(event_.h);
        const BOOL ok = write ? WriteFile(pipe_.h, data, size, nullptr, &ov)
                              : ReadFile(pipe_.h, data, size, nullptr, &ov);
        if (!ok && GetLastError() != ERROR_IO_PENDING) return GetLastError();
        HANDLE waits[2] = {event_.h, g_engine.stopEvent};
        const DWORD wait = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
        if (wait != WAIT_OBJECT_0) {
            CancelIoEx(pipe_.h, &ov);
            GetOverlappedResult(pipe_.h, &ov, &done, TRUE);
            return WAIT_TIMEOUT;
        }
        if (!GetOverlappedResult(pipe_.h, &ov, &done, FALSE)) return GetLastError();
        return done == 0 && size > 0 ? ERROR_BROKEN_PIPE : 0;
    }

    bool Reply(uint32_t status, const std::string& payload) {
        std::string frame = velora::EncodePipeFrame(status, payload, velora::kPipeMaxFrameLength);
        std::size_t at = 0;
        while (at < frame.size()) {
            DWORD done = 0;
            if (Io(true, frame.data() + at, static_cast<DWORD>(frame.size() - at), kReplyWriteMs, done) != 0)
                return false;
            at += done;
        }
        return true;
    }

    // Lets the client read the last reply before the process ends, but never waits long for it.
    void Drain() {
        HANDLE pipe = pipe_.h;
        Handle flusher(CreateThread(
            nullptr, 0, [](LPVOID p) -> DWORD { return FlushFileBuffers(static_cast<HANDLE>(p)) ? 0 : 1; },
            pipe, 0, nullptr));
        if (flusher.h) WaitForSingleObject(flusher.h, kStopReplyDrainMs);
    }

    HANDLE pipe() const { return pipe_.h; }

private:
    Handle pipe_;
    Handle event_;
};

// Reads one request frame. Idle time before its first byte is unbounded; the rest must follow within
// kFrameCompletionMs. False ends the connection (after an error reply where one makes sense).
bool ReadRequest(Instance& io, std::string& frame) {
    frame.clear();
    std::size_t needed = velora::kPipeHeaderSize;
    DWORD deadline = 0;
    while (true) {
        const std::size_t before = frame.size();
        frame.resize(before + needed);
        DWORD done = 0;
        DWORD timeout = INFINITE;
        if (before > 0) {
            const DWORD now = static_cast<DWORD>(GetTickCount64());
            timeout = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
        }
        const DWORD error = io.Io(false, frame.data() + before, static_cast<DWORD>(needed), timeout, done);
        frame.resize(before + done);
        if (error != 0) {
            if (error == WAIT_TIMEOUT && WaitForSingleObject(g_engine.stopEvent, 0) != WAIT_OBJECT_0)
                Log("pipe: request incomplete after " + std::to_string(frame.size()) +
                    " bytes, client dropped");
            return false;
        }
        if (before == 0) deadline = static_cast<DWORD>(GetTickCount64()) + kFrameCompletionMs;
        const PipeFrameParse parse = velora::ParsePipeFrame(frame, kMaxRequest);
        if (parse.state == PipeFrameState::kBadLength) {
            Log("pipe: request header length " + std::to_string(parse.header.length) + " refused");
            io.Reply(kStatusInvalidData, "bad length\n");
            return false;
        }
        if (parse.state == PipeFrameState::kComplete) return true;
        needed = parse.needed;
    }
}

// Answers one request; false when the connection should end.
bool Serve(Instance& io, const std::string& frame) {
    const PipeFrameParse parse = velora::ParsePipeFrame(frame, kMaxRequest);
    const std::string payload(parse.payload);
    if (g_engine.scenario.silentPipe) {
        Log("pipe: silent, request not answered");
        return true;
    }
    switch (parse.header.code) {
        case velora::PIPE_CMD_STATUS:
            return io.Reply(0, StatusText());
        case velora::PIPE_CMD_GET_SHARE_IF: {
            int index;
            {
                std::lock_guard l(g_engine.lock);
                index = g_engine.shareIndex;
            }
            return io.Reply(0, "ifindex=" + std::to_string(index) + "\n");
        }
        case velora::PIPE_CMD_SET_SHARE_IF: {
            const std::optional<int> parsed = ShareIndexFromPayload(payload);
            if (!parsed) {
                Log("pipe: set share interface refused: " + payload.substr(0, 64));
                return io.Reply(kStatusInvalidParameter, "bad ifindex\n");
            }
            const int index = *parsed;
            {
                std::lock_guard l(g_engine.lock);
                g_engine.shareIndex = index;
            }
            Log("pipe: share interface " + std::to_string(index));
            return io.Reply(0, "ok\n");
        }
        case velora::PIPE_CMD_STOP: {
            Log(g_engine.scenario.ignoreStop ? "pipe: stop ignored" : "pipe: stop");
            const bool ok = io.Reply(0, "stopping\n");
            if (!g_engine.scenario.ignoreStop) {
                if (ok) io.Drain();
                SetEvent(g_engine.stopEvent);
            }
            return ok;
        }
        default: {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08X", parse.header.code);
            Log(std::string("pipe: unknown command ") + code);
            return io.Reply(kStatusUnknownCommand, "unknown command\n");
        }
    }
}

DWORD WINAPI ClientThread(LPVOID parameter) {
    Instance* io = static_cast<Instance*>(parameter);
    std::string frame;
    while (ReadRequest(*io, frame) && Serve(*io, frame)) {
    }
    DisconnectNamedPipe(io->pipe());
    delete io;
    g_engine.clients.fetch_sub(1);
    return 0;
}

HANDLE NewInstance() {
    SECURITY_ATTRIBUTES sa{sizeof sa, g_engine.pipeSecurity, FALSE};
    return CreateNamedPipeW(kPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                            PIPE_UNLIMITED_INSTANCES, 64 * 1024, 64 * 1024, 0,
                            g_engine.pipeSecurity ? &sa : nullptr);
}

// Keeps one instance listening (the first one made before anything is announced, so a client that
// sees an event finds the pipe); each connected client gets a thread of its own, so a silent client
// holds only its own instance.
DWORD WINAPI ListenThread(LPVOID first) {
    Handle connected(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE next = static_cast<HANDLE>(first);
    while (WaitForSingleObject(g_engine.stopEvent, 0) != WAIT_OBJECT_0) {
        HANDLE pipe = next ? next : NewInstance();
        next = nullptr;
        if (pipe == INVALID_HANDLE_VALUE) {
            Log("pipe: CreateNamedPipe failed " + std::to_string(GetLastError()));
            if (WaitForSingleObject(g_engine.stopEvent, 500) == WAIT_OBJECT_0) break;
            continue;
        }
        OVERLAPPED ov{};
        ov.hEvent = connected.h;
        ResetEvent(connected.h);
        bool ready = false;
        if (ConnectNamedPipe(pipe, &ov)) {
            ready = true;
        } else if (GetLastError() == ERROR_PIPE_CONNECTED) {
            ready = true;
        } else if (GetLastError() == ERROR_IO_PENDING) {
            HANDLE waits[2] = {connected.h, g_engine.stopEvent};
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
                DWORD ignored = 0;
                ready = GetOverlappedResult(pipe, &ov, &ignored, FALSE) != FALSE;
            } else {
                CancelIoEx(pipe, &ov);
                DWORD ignored = 0;
                GetOverlappedResult(pipe, &ov, &ignored, TRUE);
            }
        }
        if (!ready) {
            CloseHandle(pipe);
            continue;
        }
        if (g_engine.clients.load() >= kMaxClients) {
            Log("pipe: too many clients, connection closed");
            DisconnectNamedPipe(pipe);
            CloseHandle(pipe);
            continue;
        }
        g_engine.clients.fetch_add(1);
        Instance* io = new Instance(pipe);
        HANDLE thread = CreateThread(nullptr, 0, ClientThread, io, 0, nullptr);
        if (thread) {
            CloseHandle(thread);
        } else {
            delete io;
            g_engine.clients.fetch_sub(1);
        }
    }
    return 0;
}

HANDLE GlobalEvent(const wchar_t* name) {
    // The client creates these events first as the signed-in user; if the engine is first, the user
    // must still be able to open, wait on and reset them.
    PSECURITY_DESCRIPTOR sd = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x1F0003;;;IU)",
                                                         SDDL_REVISION_1, &sd, nullptr);
    SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
    HANDLE h = CreateEventW(sd ? &sa : nullptr, TRUE, FALSE, name);
    if (sd) LocalFree(sd);
    return h;
}

}  // namespace

int wmain() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self(path, n);
    g_folder = self.substr(0, self.find_last_of(L'\\'));
    Log("start: command line [" + Narrow(GetCommandLineW()) + "]");

    const std::vector<std::wstring> tokens = SplitCommandLine(std::wstring_view(GetCommandLineW()));
    bool haveToken = false, haveSerial = false;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const bool hasValue = i + 1 < tokens.size();
        if (tokens[i] == L"-T" && hasValue) {
            g_engine.token = tokens[++i];
            haveToken = true;
        } else if (tokens[i] == L"-S" && hasValue) {
            g_engine.serial = tokens[++i];
            haveSerial = true;
        } else if (tokens[i] == L"-d" && hasValue) {
            g_engine.domain = tokens[++i];
        } else if (tokens[i] == L"-I" && hasValue) {
            wchar_t* end = nullptr;
            const long v = std::wcstol(tokens[++i].c_str(), &end, 10);
            if (!end || *end != L'\0') {
                Log("start: interface index is not a number");
                return 87;
            }
            g_engine.shareIndex = static_cast<int>(v);
        }
    }
    if (!haveToken || !haveSerial || g_engine.token.empty() || g_engine.serial.empty()) {
        Log("start: -T token and -S serial are required");
        return 87;
    }
    Log("start: serial " + Narrow(g_engine.serial) + " domain [" + Narrow(g_engine.domain) + "] interface " +
        std::to_string(g_engine.shareIndex) + " token length " + std::to_string(g_engine.token.size()));

    KeyValues scenario;
    ReadKeyValues(L"ferronwin.scenario", scenario);
    g_engine.scenario = ReadEngineScenario(scenario);
    const EngineScenario& s = g_engine.scenario;

    KeyValues agent;
    const bool haveAgent = ReadKeyValues(L"cpeagent.conf", agent);
    if (haveAgent) {
        auto it = agent.find("commaddr");
        g_engine.orchestrator = it == agent.end() ? "" : it->second;
        Log("config: cpeagent.conf orchid " + std::to_string(Number(agent, "orchid", -1)) + " cpeid " +
            std::to_string(Number(agent, "cpeid", -1)) + " customerid " +
            std::to_string(Number(agent, "customerid", -1)) + " commaddr " + g_engine.orchestrator +
            " backups " + std::to_string(agent.count("bakcommaddr")));
    } else {
        Log("config: cpeagent.conf missing, the orchestrator cannot be reached");
    }
    {
        const std::wstring filter = g_folder + L"\\filterConfig.conf";
        Handle f(
            CreateFileW(filter.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        LARGE_INTEGER size{};
        if (f.h && GetFileSizeEx(f.h, &size)) g_engine.filterBytes = static_cast<std::size_t>(size.QuadPart);
        Log(f.h ? "config: filterConfig.conf " + std::to_string(g_engine.filterBytes) + " bytes"
                : std::string("config: filterConfig.conf missing"));
    }

    Handle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_engine.stopEvent = stop.h;
    // Interactive users may read and write but not create instances of their own (0x4), so no user
    // can stand in for the engine's end of the pipe.
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x0012019b;;;IU)",
                                                         SDDL_REVISION_1, &g_engine.pipeSecurity, nullptr);
    Handle connection(GlobalEvent(kConnectionEvent));
    Handle disconnection(GlobalEvent(kDisconnectionEvent));
    HANDLE first = NewInstance();
    if (first == INVALID_HANDLE_VALUE) {
        Log("start: cannot create the pipe (" + std::to_string(GetLastError()) + ")");
        return 1;
    }
    Handle listener(CreateThread(nullptr, 0, ListenThread, first, 0, nullptr));
    if (!stop.h || !connection.h || !disconnection.h || !listener.h) {
        Log("start: cannot create events or the pipe listener (" + std::to_string(GetLastError()) + ")");
        return 1;
    }

    const ULONGLONG started = GetTickCount64();
    bool announced = !haveAgent;  // without a configuration there is nothing to announce
    while (true) {
        const ULONGLONG now = GetTickCount64();
        const long long since = static_cast<long long>(now - started);
        if (s.crashAfterMs >= 0 && since >= s.crashAfterMs) {
            Log("scenario: crash");
            TerminateProcess(GetCurrentProcess(), 0xC0000005u);
        }
        if (!announced && since >= s.connectDelayMs) {
            announced = true;
            std::lock_guard l(g_engine.lock);
            if (s.refuseToken) {
                g_engine.state = LinkState::kRefused;
                SetEvent(disconnection.h);
                Log("orchestrator: token refused, disconnection event set");
            } else {
                g_engine.state = LinkState::kConnected;
                g_engine.connectedAt = now;
                SetEvent(connection.h);
                Log("orchestrator: connected, connection event set");
            }
        }
        {
            std::lock_guard l(g_engine.lock);
            if (g_engine.state == LinkState::kConnected && s.dropTunnelAfterMs >= 0 &&
                static_cast<long long>(now - g_engine.connectedAt) >= s.dropTunnelAfterMs) {
                g_engine.state = LinkState::kDown;
                g_engine.frozenAt = now;
                Log("scenario: tunnel down");
            }
        }
        if (WaitForSingleObject(stop.h, 50) == WAIT_OBJECT_0) break;
    }
    Log("stop: ending");
    return 0;
}
