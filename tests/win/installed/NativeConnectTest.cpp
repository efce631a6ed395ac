// The NATIVE connect from end to end under Wine, through Velora.dll as a program that loads it uses it:
// sign-in against the cloud stand-in, Connect through the installed helper service (activated by COM) and
// the engine stand-in beside it, the traffic counters read over the engine pipe, an engine crash survived
// by the API's own reconnect, Disconnect stopping the engine and telling the orchestrator, the connect
// refused while the packet driver is stopped, and connects that end unconnected after the engine was
// started (a Disconnect during the engine wait, an engine the orchestrator turns away) leaving no engine.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "InstalledProduct.h"
#include "core/CryptoHelpers.h"
#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "core/Settings.h"
#include "platform/Text.h"
#include "support/SignInWorld.h"

namespace velora::test {
namespace {

using InitFn = int (*)(const wchar_t*, const wchar_t*);
using ExitFn = void (*)();
using ValidateUserFn = unsigned long (*)(const wchar_t*, const wchar_t*, const wchar_t*, wchar_t*,
                                         unsigned long long);
using BufferFn = unsigned long (*)(wchar_t*, unsigned long long);
using StepFn = int (*)();
using CheckStatusFn = int (*)(long long*, long long*);

// One customer with one account; the orchestrator assigns NATIVE and answers every heartbeat plainly.
constexpr char16_t kNativeWorld[] =
    uR"({
  "customers": ["12"],
  "accounts": [{"customerId": "12", "name": "nina", "password": "secret5"}],
  "orch": {"connect": {"mode": "NATIVE", "values": {"heartbeatInterval": 2}},
           "heartbeat": [{"action": 0}], "disconnect": {}}
})";

std::wstring TestBin() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// The client log is UTF-16LE; its ASCII is enough to read it in a failure message.
std::string Narrow(const std::string& utf16) {
    std::string out;
    for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
        const unsigned char low = static_cast<unsigned char>(utf16[i]);
        if (utf16[i + 1] == 0 && low != 0) out.push_back(low < 0x80 ? static_cast<char>(low) : '?');
    }
    return out;
}

void WriteScenario(const std::string& lines) {
    std::ofstream(kProgramFolder / "ferronwin.scenario", std::ios::binary | std::ios::trunc) << lines;
}

// Corvane ends an engine that runs while none of the client's programs runs. A program that loads
// Velora.dll runs beside the client program, so the test stands one in: a do-nothing program (it ends
// by itself after ten minutes) under a client image name, ended when the test ends.
class CClientImage {
public:
    bool Start() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const std::filesystem::path folder = std::filesystem::path(temp) / "velora-client-image";
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        std::filesystem::copy_file(TestBin() + L"linger.exe", folder / "Halvane.exe",
                                   std::filesystem::copy_options::overwrite_existing, ec);
        std::wstring line = L"\"" + (folder / "Halvane.exe").wstring() + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &si, &pi))
            return false;
        CloseHandle(pi.hThread);
        process_.Reset(pi.hProcess);
        return true;
    }
    ~CClientImage() {
        if (!process_) return;
        TerminateProcess(process_.Get(), 0);
        WaitForSingleObject(process_.Get(), 5000);
    }

private:
    CKernelHandle process_;
};

class NativeConnect : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world.Open(kNativeWorld));
        ASSERT_TRUE(clientImage.Start());
        // The machine as the installation leaves it: driver and helper service running.
        ASSERT_TRUE(StartService(L"brxnet"));
        ASSERT_TRUE(StartService(L"Corvane"));
        WriteScenario("tunnels=2\r\n");
        std::error_code ec;
        std::filesystem::remove(engineLog, ec);

        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        clientLog = std::filesystem::path(temp) / "velora-native-connect.log";
        std::filesystem::remove(clientLog, ec);
        LoadClient();
    }
    // Loads Velora.dll afresh (nothing of an earlier load's state left) and calls Init.
    void LoadClient() {
        if (veloraExit) veloraExit();
        dll.Reset();  // unloaded before the next load, so its state starts afresh
        dll.Reset(LoadLibraryW((kProgramFolder / "Velora.dll").c_str()));
        ASSERT_TRUE(dll) << GetLastError();
        init = Export<InitFn>("VeloraInit");
        veloraExit = Export<ExitFn>("VeloraExit");
        validateUser = Export<ValidateUserFn>("VeloraValidateUser");
        connect = Export<BufferFn>("VeloraConnect");
        disconnect = Export<BufferFn>("VeloraDisconnect");
        step = Export<StepFn>("VeloraGetConnectionStep");
        checkStatus = Export<CheckStatusFn>("VeloraCheckStatus");
        ASSERT_TRUE(init && veloraExit && validateUser && connect && disconnect && step && checkStatus);
        ASSERT_EQ(init(clientLog.c_str(), nullptr), 1);
    }
    void TearDown() override {
        if (step && step() != 0) {
            wchar_t message[256];
            disconnect(message, 256);
        }
        if (veloraExit) veloraExit();
        WriteScenario("tunnels=2\r\n");
        if (HasFailure()) {
            std::printf("--- ferronwin.log\n%s\n--- client log\n%s\n", ReadAll(engineLog).c_str(),
                        Narrow(ReadAll(clientLog)).c_str());
        }
    }

    template <typename F>
    F Export(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll.Get(), name)));
    }

    // A counter of what the tenant's orchestrator saw ("connects", "disconnects", ...).
    int OrchestratorCount(const char16_t* key) {
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        if (client.GetText(world.sim.TenantUrl("http", world.tenant) + u"/orch/_state", answer, status) !=
                0 ||
            status != 200)
            return -1;
        return GetIntField(platform::Utf8ToUtf16(answer), key, 0);
    }

    CSignInWorld world;
    CClientImage clientImage;
    platform::win32::CLibrary dll;
    std::filesystem::path clientLog;
    const std::filesystem::path engineLog = kProgramFolder / "ferronwin.log";
    InitFn init = nullptr;
    ExitFn veloraExit = nullptr;
    ValidateUserFn validateUser = nullptr;
    BufferFn connect = nullptr;
    BufferFn disconnect = nullptr;
    StepFn step = nullptr;
    CheckStatusFn checkStatus = nullptr;
};

TEST_F(NativeConnect, ConnectsCountsSurvivesAnEngineCrashAndDisconnects) {
    wchar_t message[256] = {};
    ASSERT_EQ(validateUser(L"12", L"nina", L"secret5", message, 256), 0u)
        << platform::Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(message)));

    // The first engine crashes a while after it started; it reads its scenario once, at start, so the
    // engine of the reconnect, started later, runs on.
    WriteScenario("tunnels=2\r\ncrashAfterMs=8000\r\n");
    const unsigned long connected = connect(message, 256);
    ASSERT_EQ(connected, 0u) << platform::Utf16ToUtf8(
        std::u16string(reinterpret_cast<const char16_t*>(message)));
    WriteScenario("tunnels=2\r\n");
    EXPECT_EQ(step(), 1);
    EXPECT_EQ(OrchestratorCount(u"connects"), 1);
    EXPECT_NE(ReadAll(engineLog).find("orchestrator: connected"), std::string::npos);

    long long sent = -1, received = -1;
    ASSERT_EQ(checkStatus(&sent, &received), 1);
    EXPECT_GT(sent, 0);
    EXPECT_GT(received, 0);
    Sleep(500);
    long long sentLater = 0, receivedLater = 0;
    ASSERT_EQ(checkStatus(&sentLater, &receivedLater), 1);
    EXPECT_GT(sentLater, sent);
    EXPECT_GT(receivedLater, received);

    // The crash, then the API's own reconnect: a second engine reaches the orchestrator and counts afresh.
    ASSERT_TRUE(WaitForText(engineLog, "scenario: crash", 20000));
    const std::size_t crash = ReadAll(engineLog).find("scenario: crash");
    bool reconnected = false;
    for (int i = 0; i < 600 && !reconnected; ++i) {
        reconnected = ReadAll(engineLog).find("orchestrator: connected", crash) != std::string::npos &&
                      step() == 1 && OrchestratorCount(u"connects") >= 2;
        if (!reconnected) Sleep(100);
    }
    ASSERT_TRUE(reconnected) << "step " << step();
    EXPECT_EQ(checkStatus(&sent, &received), 1);
    EXPECT_GT(received, 0);

    // The reconnect's own tear-down told the orchestrator too; Disconnect adds one notice.
    const int noticesBefore = OrchestratorCount(u"disconnects");
    ASSERT_EQ(disconnect(message, 256), 0u);
    EXPECT_EQ(step(), 0);
    const std::string said = ReadAll(engineLog);
    EXPECT_NE(said.find("pipe: stop", crash), std::string::npos) << said;
    EXPECT_TRUE(WaitForText(engineLog, "stop: ending", 5000));
    EXPECT_TRUE(WaitForCount(L"ferronwin.exe", 0, 5000));
    EXPECT_EQ(OrchestratorCount(u"disconnects"), noticesBefore + 1);
    EXPECT_EQ(world.sim.Last(world.Path(u"/api/mobile/v2/disconnect"), u"method"), "POST");
    sent = received = -1;
    EXPECT_EQ(checkStatus(&sent, &received), 0) << "no engine answers any more";
}

// Velora.dll reads the cached filter list beside itself, wherever the program that loaded it lies (this
// test program is elsewhere): a cached list that the settings vouch for and the orchestrator still
// announces is not downloaded again; one that differs is.
TEST_F(NativeConnect, CachedFilterListIsReadBesideVeloraDll) {
    // The list the tenant announces (site "site-1", version 1) and serves.
    const std::string announced = "{\"ipSetMode\":0,\"whiteIpSet\":[],\"blackIpSet\":[]}";
    struct Case {
        const char* name;
        std::string cached;  // the first line of "filterConfig.conf" beside Velora.dll
        int downloads;
    };
    const Case cases[] = {
        {"the announced list", announced, 0},
        {"another list", "{\"ipSetMode\":1,\"whiteIpSet\":[\"10.0.0.0/8\"],\"blackIpSet\":[]}", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(kProgramFolder / "filterConfig.conf", std::ios::binary | std::ios::trunc) << c.cached;
        SetSetting(u"FilterVerify", SaltedMd5Hex(announced));
        SetSetting(u"FilterVersion", u"/site-1/1");
        LoadClient();
        wchar_t message[256] = {};
        ASSERT_EQ(validateUser(L"12", L"nina", L"secret5", message, 256), 0u);
        const int before = OrchestratorCount(u"filterDownloads");
        ASSERT_EQ(connect(message, 256), 0u)
            << platform::Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(message)));
        EXPECT_EQ(OrchestratorCount(u"filterDownloads") - before, c.downloads);
        EXPECT_EQ(disconnect(message, 256), 0u);
    }
}

// The packet driver is checked before anything is started: with "brxnet" stopped the connect is refused
// with the driver's own code and text, no engine runs, and with the driver back the next connect works.
TEST_F(NativeConnect, StoppedPacketDriverRefusesTheConnect) {
    wchar_t message[256] = {};
    ASSERT_EQ(validateUser(L"12", L"nina", L"secret5", message, 256), 0u);
    ASSERT_TRUE(StopService(L"brxnet"));
    const unsigned long refused = connect(message, 256);
    const std::u16string text(reinterpret_cast<const char16_t*>(message));
    ASSERT_TRUE(StartService(L"brxnet"));
    EXPECT_EQ(refused, 30105u);
    EXPECT_EQ(text, u"2013 The driver is not running, reinstall and try again");
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(CountProcesses(L"ferronwin.exe"), 0);

    ASSERT_EQ(connect(message, 256), 0u)
        << platform::Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(message)));
    EXPECT_EQ(step(), 1);
    EXPECT_EQ(disconnect(message, 256), 0u);
}

// A Disconnect while the connect waits for a late engine, and an engine the orchestrator turns away: each
// connect ends unconnected (329, 30106) with the engine it started stopped, no heartbeat is sent, and the
// Disconnect after it finds nothing connected.
TEST_F(NativeConnect, UnconnectedEndsLeaveNoEngineRunning) {
    wchar_t message[256] = {};
    ASSERT_EQ(validateUser(L"12", L"nina", L"secret5", message, 256), 0u);

    WriteScenario("tunnels=2\r\nconnectDelayMs=600000\r\n");
    unsigned long cancelled = 999;
    std::u16string cancelledText;
    std::thread connecting([&] {
        wchar_t own[256] = {};
        cancelled = connect(own, 256);
        cancelledText = reinterpret_cast<const char16_t*>(own);
    });
    const bool started = WaitForText(engineLog, "start: serial", 20000) && WaitForCount(L"ferronwin.exe", 1, 20000);
    EXPECT_EQ(disconnect(message, 256), 0u);
    connecting.join();
    ASSERT_TRUE(started) << ReadAll(engineLog);
    EXPECT_EQ(cancelled, 329u);
    EXPECT_EQ(cancelledText, u"Stopped because of a disconnect command");
    EXPECT_EQ(step(), 0);
    EXPECT_NE(ReadAll(engineLog).find("pipe: stop"), std::string::npos) << ReadAll(engineLog);
    EXPECT_TRUE(WaitForCount(L"ferronwin.exe", 0, 10000));

    std::error_code ec;
    std::filesystem::remove(engineLog, ec);
    WriteScenario("tunnels=2\r\nrefuseToken=1\r\n");
    EXPECT_EQ(connect(message, 256), 30106u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(message)), u"2020 Invalid Token");
    EXPECT_NE(ReadAll(engineLog).find("orchestrator: token refused"), std::string::npos);
    EXPECT_TRUE(WaitForCount(L"ferronwin.exe", 0, 10000));
    EXPECT_EQ(disconnect(message, 256), 0u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(message)), u"Already disconnected");
    EXPECT_EQ(OrchestratorCount(u"heartbeats"), 0);
}

}  // namespace
}  // namespace velora::test
