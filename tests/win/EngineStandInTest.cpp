// The engine stand-in started as the service starts it, and the client's pipe code against it and
// against hostile pipe peers: every wait is bounded, and neither side lets a silent or lying peer stall
// anyone else.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/EnginePipe.h"
#include "engine/EngineWorkers.h"
#include "engine/PipeFrame.h"
#include "platform/Pipe.h"

namespace velora {
namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L'\\'));
}

void WriteFileText(const std::wstring& path, const std::string& text) {
    std::ofstream f(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    f << text;
}

std::string ReadFileText(const std::wstring& path) {
    std::ifstream f(std::filesystem::path(path), std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string Header(uint32_t code, uint32_t length) {
    std::string h;
    for (uint32_t v : {code, length})
        for (int i = 0; i < 4; ++i) h.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return h;
}

// Reads one reply frame over a raw connection within `ms`; the status, or -1 when none came whole.
int64_t RawReplyStatus(platform::PipeConnection& pipe, uint32_t ms) {
    std::string got;
    char buffer[256];
    const DWORD end = GetTickCount() + ms;
    while (true) {
        const PipeFrameParse parse = ParsePipeFrame(got);
        if (parse.state == PipeFrameState::kComplete) return parse.header.code;
        const DWORD now = GetTickCount();
        if (static_cast<LONG>(end - now) <= 0) return -1;
        std::size_t n = 0;
        if (pipe.Read(buffer, sizeof buffer, n, end - now) != 0) return -1;
        got.append(buffer, n);
    }
}

// True when the server closes the connection within `ms` (reads see the end of the pipe).
bool ServerCloses(platform::PipeConnection& pipe, uint32_t ms) {
    char buffer[64];
    const DWORD end = GetTickCount() + ms;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        std::size_t n = 0;
        const uint32_t error = pipe.Read(buffer, sizeof buffer, n, end - GetTickCount());
        if (error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED) return true;
        if (error == WAIT_TIMEOUT) return false;
    }
    return false;
}

class EngineStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        CloseEnginePipe();
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"velora-engine-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        engine_ = folder_ + L"\\ferronwin.exe";
        // The client talks only to the engine it trusts: here, this copy.
        SetTrustedEngineImage(std::u16string(engine_.begin(), engine_.end()));
        ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\ferronwin.exe").c_str(), engine_.c_str(), FALSE))
            << GetLastError();
        WriteFileText(folder_ + L"\\cpeagent.conf",
                      "orchid=3\r\ncpeid=41\r\ncustomerid=1005\r\ncommaddr=127.0.0.1:9443\r\n"
                      "bakcommaddr=127.0.0.1:9444\r\n");
        WriteFileText(folder_ + L"\\filterConfig.conf", "{\"ipSetMode\":0}\r\n");
        for (const wchar_t* name : {L"Global\\ORCH_CONNECTION_EVENT", L"Global\\ORCH_DISCONNECTION_EVENT"}) {
            HANDLE h = CreateEventW(nullptr, TRUE, FALSE, name);
            ASSERT_NE(h, nullptr);
            ResetEvent(h);  // an earlier test's engine may have left it set
            events_.push_back(h);
        }
    }

    void TearDown() override {
        CloseEnginePipe();
        SetTrustedEngineImage(u"");
        if (process_) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_, 1);
                WaitForSingleObject(process_, 5000);
            }
            CloseHandle(process_);
        }
        for (HANDLE h : events_) CloseHandle(h);
        for (const wchar_t* name : {L"ferronwin.exe", L"cpeagent.conf", L"filterConfig.conf",
                                    L"ferronwin.scenario", L"ferronwin.log"})
            DeleteFileW((folder_ + L"\\" + name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    void Scenario(const std::string& text) { WriteFileText(folder_ + L"\\ferronwin.scenario", text); }

    // As the service does: the program separately, a command line that starts with the blank of " -T ".
    void Start(const std::wstring& arguments = L" -T tok123 -S SN0001 -d orch.test -I 7") {
        std::wstring line = arguments;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessW(engine_.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                   nullptr, folder_.c_str(), &si, &pi))
            << GetLastError();
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
    }

    // Index of the event signalled first (0 connection, 1 disconnection), -1 on time-out.
    int WaitForVerdict(DWORD ms = 15000) {
        const DWORD r = WaitForMultipleObjects(2, events_.data(), FALSE, ms);
        return r == WAIT_OBJECT_0 ? 0 : r == WAIT_OBJECT_0 + 1 ? 1 : -1;
    }

    bool Ends(DWORD ms, DWORD& code) {
        if (WaitForSingleObject(process_, ms) != WAIT_OBJECT_0) return false;
        GetExitCodeProcess(process_, &code);
        return true;
    }

    std::string Log() { return ReadFileText(folder_ + L"\\ferronwin.log"); }

    std::wstring folder_;
    std::wstring engine_;
    std::vector<HANDLE> events_;
    HANDLE process_ = nullptr;
};

TEST_F(EngineStandIn, ConnectsAnswersTheFourCommandsAndEndsOnStop) {
    Start();
    ASSERT_EQ(WaitForVerdict(), 0);

    int64_t tx1 = 0, rx1 = 0, tx2 = 0, rx2 = 0;
    bool down = true;
    ASSERT_EQ(QueryEngineStatus(tx1, rx1, down), 0);
    EXPECT_FALSE(down);
    EXPECT_GT(tx1, 0);
    EXPECT_GT(rx1, 0);
    Sleep(100);
    ASSERT_EQ(QueryEngineFlowCounters(tx2, rx2), 0u);
    EXPECT_GT(tx2, tx1);  // counters grow while the tunnel carries traffic
    EXPECT_GT(rx2, rx1);

    int32_t index = 0;
    EXPECT_EQ(QueryShareInterface(index), 0);
    EXPECT_EQ(index, 7);  // from " -I 7"
    EXPECT_EQ(SetShareInterface(12), 0);
    EXPECT_EQ(QueryShareInterface(index), 0);
    EXPECT_EQ(index, 12);
    EXPECT_EQ(SetShareInterface(-5), 0);
    EXPECT_EQ(QueryShareInterface(index), 0);
    EXPECT_EQ(index, 0);

    EXPECT_EQ(StopEngine(), 0);
    DWORD code = 1;
    ASSERT_TRUE(Ends(5000, code));
    EXPECT_EQ(code, 0u);

    const std::string log = Log();
    EXPECT_NE(log.find("serial SN0001 domain [orch.test] interface 7 token length 6"), std::string::npos)
        << log;
    EXPECT_NE(log.find("cpeid 41 customerid 1005 commaddr 127.0.0.1:9443 backups 1"), std::string::npos)
        << log;
    EXPECT_NE(log.find("filterConfig.conf 17 bytes"), std::string::npos) << log;
    // The engine has gone: the next request fails at once instead of hanging.
    EXPECT_NE(QueryEngineStatus(tx1, rx1, down), 0);
}

TEST_F(EngineStandIn, RefusedTokenSignalsTheDisconnectionEvent) {
    Scenario("refuseToken=1\n");
    Start(L" -T refused -S SN0002");
    ASSERT_EQ(WaitForVerdict(), 1);
    int64_t tx = 1, rx = 1;
    bool down = true;
    EXPECT_EQ(QueryEngineStatus(tx, rx, down), 0);
    EXPECT_EQ(tx, 0);
    EXPECT_FALSE(down);  // no tunnel lines at all
    EXPECT_EQ(StopEngine(), 0);
    DWORD code = 1;
    EXPECT_TRUE(Ends(5000, code));
}

TEST_F(EngineStandIn, DelayedConnectionThenDroppedTunnelReadsDown) {
    Scenario("connectDelayMs=300\ndropTunnelAfterMs=200\n");
    Start();
    ASSERT_EQ(WaitForVerdict(), 0);
    bool down = false;
    int64_t tx = 0, rx = 0;
    for (int i = 0; i < 100 && !down; ++i) {
        ASSERT_EQ(QueryEngineStatus(tx, rx, down), 0);
        if (!down) Sleep(50);
    }
    EXPECT_TRUE(down);
    EXPECT_GT(tx, 0);
    int64_t tx2 = 0, rx2 = 0;
    Sleep(100);
    ASSERT_EQ(QueryEngineStatus(tx2, rx2, down), 0);
    EXPECT_EQ(tx2, tx);  // a dropped tunnel carries nothing more
}

TEST_F(EngineStandIn, CrashEndsTheProcessAndTheClientRecovers) {
    Scenario("crashAfterMs=400\n");
    Start();
    ASSERT_EQ(WaitForVerdict(), 0);
    DWORD code = 0;
    ASSERT_TRUE(Ends(10000, code));
    EXPECT_EQ(code, 0xC0000005u);
    int64_t tx = 0, rx = 0;
    bool down = false;
    EXPECT_NE(QueryEngineStatus(tx, rx, down), 0);
    EXPECT_EQ(QueryEngineStatus(tx, rx, down), 2);  // no pipe any more, reported at once
}

TEST_F(EngineStandIn, MissingSwitchesEndItWithoutSignalling) {
    Start(L" -S SN0003");
    DWORD code = 0;
    ASSERT_TRUE(Ends(10000, code));
    EXPECT_EQ(code, 87u);
    EXPECT_EQ(WaitForVerdict(0), -1);
}

TEST_F(EngineStandIn, IgnoredStopLeavesTheProcessToBeTerminated) {
    Scenario("ignoreStop=1\n");
    Start();
    ASSERT_EQ(WaitForVerdict(), 0);
    EXPECT_EQ(StopEngine(), 0);
    DWORD code = 0;
    EXPECT_FALSE(Ends(500, code));
}

struct HostileRequest {
    const char* name;
    std::string bytes;
    int64_t replyStatus;  // -1: no reply expected
};

// Lying and silent clients each hold one pipe instance; the engine drops them, keeps answering the
// real client meanwhile and still ends on the stop command.
TEST_F(EngineStandIn, HostileClientsAreDroppedWhileOthersAreServed) {
    Start();
    ASSERT_EQ(WaitForVerdict(), 0);
    const HostileRequest cases[] = {
        {"length larger than the data", Header(PIPE_CMD_STATUS, 100) + "abc", -1},
        {"length zero", Header(PIPE_CMD_STATUS, 0), 13},
        {"length 2^31", Header(PIPE_CMD_STATUS, 0x80000000u), 13},
        {"half a header", Header(PIPE_CMD_STATUS, 8).substr(0, 6), -1},
        {"unknown command", EncodePipeFrame(0x12345678, ""), 1},
        {"bad share interface", EncodePipeFrame(PIPE_CMD_SET_SHARE_IF, "ifindex=x"), 87},
    };
    platform::PipeOpening silent = platform::OpenPipe(kEnginePipeName, 3000, 3);
    ASSERT_TRUE(silent.pipe) << silent.error;
    for (const HostileRequest& c : cases) {
        SCOPED_TRACE(c.name);
        platform::PipeOpening raw = platform::OpenPipe(kEnginePipeName, 3000, 3);
        ASSERT_TRUE(raw.pipe) << raw.error;
        ASSERT_EQ(raw.pipe->Write(c.bytes.data(), c.bytes.size(), 3000), 0u);
        if (c.replyStatus >= 0) {
            EXPECT_EQ(RawReplyStatus(*raw.pipe, 5000), c.replyStatus);
        }
        int64_t tx = 0, rx = 0;
        bool down = true;
        EXPECT_EQ(QueryEngineStatus(tx, rx, down), 0);  // served while the hostile client waits
        EXPECT_FALSE(down);
        if (c.replyStatus != 1 && c.replyStatus != 87) {
            EXPECT_TRUE(ServerCloses(*raw.pipe, 6000));
        }
    }
    EXPECT_EQ(StopEngine(), 0);
    DWORD code = 1;
    ASSERT_TRUE(Ends(5000, code));  // the silent client did not keep it alive
    EXPECT_EQ(code, 0u);
    const std::string log = Log();
    EXPECT_NE(log.find("request header length 0 refused"), std::string::npos) << log;
    EXPECT_NE(log.find("request header length 2147483648 refused"), std::string::npos) << log;
    EXPECT_NE(log.find("request incomplete after 11 bytes"), std::string::npos) << log;
}

// The client against peers that are not the engine: a server that accepts and never answers, and
// servers whose reply headers lie. Each request ends within its bounds and leaves the pipe closed.
class HostileServer {
public:
    explicit HostileServer(std::string reply) : reply_(std::move(reply)) {
        pipe_ = CreateNamedPipeW(L"\\\\.\\pipe\\dispatch_config_pipe", PIPE_ACCESS_DUPLEX,
                                 PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~HostileServer() {
        SetEvent(done_);
        // Wakes a ConnectNamedPipe that is still waiting.
        HANDLE poke = CreateFileW(L"\\\\.\\pipe\\dispatch_config_pipe", GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (poke != INVALID_HANDLE_VALUE) CloseHandle(poke);
        if (WaitForSingleObject(thread_, 5000) == WAIT_TIMEOUT) CancelSynchronousIo(thread_);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        CloseHandle(pipe_);
        CloseHandle(done_);
    }
    bool ok() const { return pipe_ != INVALID_HANDLE_VALUE && thread_ != nullptr; }
    DWORD Received() const { return received_.load(); }

private:
    static DWORD WINAPI Run(LPVOID p) {
        auto* self = static_cast<HostileServer*>(p);
        ConnectNamedPipe(self->pipe_, nullptr);
        if (WaitForSingleObject(self->done_, 0) == WAIT_OBJECT_0) return 0;
        char request[64];
        DWORD n = 0;
        if (ReadFile(self->pipe_, request, sizeof request, &n, nullptr)) self->received_ += n;
        if (!self->reply_.empty())
            WriteFile(self->pipe_, self->reply_.data(), static_cast<DWORD>(self->reply_.size()), &n, nullptr);
        WaitForSingleObject(self->done_, 20000);  // then silence until the test is over
        DisconnectNamedPipe(self->pipe_);
        return 0;
    }

    std::string reply_;
    std::atomic<DWORD> received_{0};
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE done_ = nullptr;
    HANDLE thread_ = nullptr;
};

TEST(EnginePipeClient, LyingOrSilentEngineEndsTheRequestWithinItsBounds) {
    struct Case {
        const char* name;
        std::string reply;
        int32_t result;
    };
    const Case cases[] = {
        {"silent", "", static_cast<int32_t>(WAIT_TIMEOUT)},
        {"length larger than the data", Header(0, 100) + "State: UP\n", static_cast<int32_t>(WAIT_TIMEOUT)},
        {"length zero", Header(0, 0) + "State: UP\n", kPipeErrorBadFrame},
        {"length 2^31", Header(0, 0x80000000u), kPipeErrorBadFrame},
        {"non-zero status", EncodePipeFrame(5, "no"), kPipeErrorStatus},
    };
    // This test program poses as the engine, trusted as such, to show what the reply checks do.
    const std::wstring self = ProgramFolder() + L"\\velora_win_tests.exe";
    SetTrustedEngineImage(std::u16string(self.begin(), self.end()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CloseEnginePipe();
        HostileServer server(c.reply);
        ASSERT_TRUE(server.ok());
        int64_t tx = 0, rx = 0;
        bool down = false;
        const DWORD start = GetTickCount();
        EXPECT_EQ(QueryEngineStatus(tx, rx, down), c.result);
        EXPECT_LT(GetTickCount() - start, kPipeReplyTimeoutMs + 3000u);  // bounded, not a timing claim
        EXPECT_EQ(tx, 0);
    }
    CloseEnginePipe();
    SetTrustedEngineImage(u"");
}

// A reply followed by more bytes: the reply is taken, and the next request drops the connection that holds
// the extra frame instead of reading it as its answer.
TEST(EnginePipeClient, BytesAfterAReplyAreNeverReadAsTheNextAnswer) {
    const std::wstring self = ProgramFolder() + L"\\velora_win_tests.exe";
    SetTrustedEngineImage(std::u16string(self.begin(), self.end()));
    CloseEnginePipe();
    {
        HostileServer server(
            EncodePipeFrame(0, "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 3,4\n") +
            EncodePipeFrame(0, "State: UP\nTunnel(txbytes/rxbytes/txpkts/rxpkts): 666,666\n"));
        ASSERT_TRUE(server.ok());
        int64_t tx = 0, rx = 0;
        bool down = true;
        ASSERT_EQ(QueryEngineStatus(tx, rx, down), 0);
        EXPECT_EQ(tx, 3);
        EXPECT_EQ(rx, 4);
        // The next request opens a new connection (which this one-instance server cannot give) instead
        // of reading the stale frame.
        EXPECT_NE(QueryEngineStatus(tx, rx, down), 0);
        EXPECT_EQ(tx, 0);
    }
    CloseEnginePipe();
    SetTrustedEngineImage(u"");
}

// A program that created the pipe name before the engine is refused on connecting, before a byte of a
// request reaches it: whoever serves the pipe must be the trusted engine program.
TEST(EnginePipeClient, ServerThatIsNotTheEngineIsRefusedBeforeItSeesARequest) {
    const std::wstring self = ProgramFolder() + L"\\velora_win_tests.exe";
    struct Case {
        const char* name;
        std::wstring trusted;  // empty: ferronwin.exe in the helper service's folder
        int32_t result;
    };
    const Case cases[] = {
        {"the helper service's engine", L"", kPipeErrorForeignServer},
        {"an engine beside this program", ProgramFolder() + L"\\ferronwin.exe", kPipeErrorForeignServer},
        {"this program, trusted as the engine", self, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CloseEnginePipe();
        SetTrustedEngineImage(std::u16string(c.trusted.begin(), c.trusted.end()));
        HostileServer server(EncodePipeFrame(0, ""));
        ASSERT_TRUE(server.ok());
        EXPECT_EQ(StopEngine(), c.result);
        if (c.result != 0) {
            Sleep(100);  // a request, had one been sent, would have arrived by now
            EXPECT_EQ(server.Received(), 0u);
        } else {
            EXPECT_EQ(server.Received(), kPipeHeaderSize);
        }
        CloseEnginePipe();
    }
    SetTrustedEngineImage(u"");
}

}  // namespace
}  // namespace velora
