// The connect worker under Wine with the real system: the service-state query against the services of
// the prefix, and a whole connect request through WinINet to the cloud stand-in, the filter list through
// a COM-activated Corvane, up to the native bring-up's service checks (the prefix has no packet driver).
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/DeviceInfo.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/EngineEvents.h"
#include "engine/EngineState.h"
#include "engine/ConnectWorker.h"
#include "engine/EngineWorkers.h"
#include "platform/Http.h"
#include "platform/Messenger.h"
#include "platform/Services.h"
#include "support/CloudSim.h"
#include "support/CorvaneProcess.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"

using namespace velora;

namespace {

// The services of the prefix in one state, as the service manager lists them.
std::vector<std::wstring> ServicesInState(DWORD wanted) {
    std::vector<std::wstring> names;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager) return names;
    DWORD needed = 0, count = 0, resume = 0;
    EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0,
                          &needed, &count, &resume, nullptr);
    std::vector<BYTE> buffer(needed + 1024);
    resume = 0;
    if (EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
                              static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr)) {
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            if (entries[i].ServiceStatusProcess.dwCurrentState == wanted)
                names.emplace_back(entries[i].lpServiceName);
    }
    CloseServiceHandle(manager);
    return names;
}

std::u16string U16(const std::wstring& w) {
    return std::u16string(w.begin(), w.end());
}

}  // namespace

TEST(ServiceStateWin, RunningStoppedAndMissingServices) {
    const std::vector<std::wstring> running = ServicesInState(SERVICE_RUNNING);
    ASSERT_FALSE(running.empty()) << "the prefix runs services of its own";
    platform::ServiceState s = platform::QueryServiceState(U16(running.front()));
    EXPECT_EQ(s.state, platform::ServiceRunState::kRunning) << running.front().size();
    EXPECT_EQ(s.failedStep, platform::ServiceQueryStep::kNone);
    EXPECT_EQ(s.currentState, static_cast<uint32_t>(SERVICE_RUNNING));

    const std::vector<std::wstring> stopped = ServicesInState(SERVICE_STOPPED);
    if (!stopped.empty()) {
        s = platform::QueryServiceState(U16(stopped.front()));
        EXPECT_EQ(s.state, platform::ServiceRunState::kNotRunning);
        EXPECT_EQ(s.currentState, static_cast<uint32_t>(SERVICE_STOPPED));
    }

    s = platform::QueryServiceState(u"VeloraNoSuchService");
    EXPECT_EQ(s.state, platform::ServiceRunState::kUnreadable);
    EXPECT_EQ(s.failedStep, platform::ServiceQueryStep::kOpenService);
    EXPECT_EQ(s.error, platform::kErrorServiceDoesNotExist);
}

TEST(ConnectWin, NativeConnectReachesTheServiceChecks) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    test::CCloudSimAccess sim;
    ASSERT_TRUE(sim.Open());
    ASSERT_TRUE(platform::TrustRootCertificateForTest(test::CCloudSimAccess::CaFile()));
    ASSERT_EQ(test::RunCorvane(L"/UnregServer"), 0);
    ASSERT_TRUE(test::WaitUntilCorvaneEnds(10000));
    ASSERT_EQ(test::RunCorvane(L"/RegServer"), 0);
    ASSERT_TRUE(CreateEngineEvents());
    test::CScratchFolder scratch;
    StartLog(nullptr);
    const std::u16string log = scratch.Path(u"client.log");
    test::WriteBytes(log, test::kLogHeader);
    SetLogFilePath(log);

    const std::u16string tenant = sim.Tenant(
        u"connectwin", uR"({"orch":{"tokens":["tok-w1"],"filter":{"siteTemplateId":"w","version":1}}})");
    SetSetting(u"AuthUrl", sim.TenantUrl("https", tenant) + u"/api/mobile/v2/auth");
    SetSetting(u"AuthToken", u"tok-w1");
    EngineState& state = GetEngineState();
    state.filterText.clear();
    state.stopRequested = false;
    SetSetting(u"FilterVersion", u"");

    test::CRecordingWindow window;
    platform::SetMainWindow(window.Handle());
    uint32_t mode = VCPE;
    ConnectContext context;
    context.mode = &mode;
    ValidateUserAndConnectThread(context);
    platform::SetMainWindow(nullptr);

    EXPECT_EQ(mode, NATIVE);
    EXPECT_EQ(context.result, 30105);
    EXPECT_EQ(context.message, u"2013 The driver is not running, reinstall and try again");
    std::vector<test::RecordedMessage> results;
    for (const auto& m : window.Take())
        if (m.message == UM_CONNECT_RESULT) results.push_back(m);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].wParam, 30105u);
    EXPECT_FALSE(results[0].sent);

    // The request went out as the service expects it; the prefix has no firewall base service either,
    // which is logged and passed over.
    const std::u16string path = u"/t/" + tenant + u"/api/mobile/v2/connect";
    const std::string headers = sim.Last(path, u"headers");
    EXPECT_LT(headers.find("X-KX-AUTH-HEADER: tok-w1"),
              headers.find("sn: " + Utf16ToUtf8(GetInstallationSerial())));
    EXPECT_NE(sim.Last(path, u"body").find("\"sn\":\"" + Utf16ToUtf8(GetInstallationSerial()) + "\""),
              std::string::npos);
    FlushPendingLogLines();
    const std::u16string text = test::FromUtf16Le(test::ReadBytes(log), test::kLogHeader.size());
    EXPECT_NE(text.find(FormatText(MessageText(299), u"BFE", 1060)), std::u16string::npos)
        << Utf16ToUtf8(text);
    EXPECT_NE(text.find(FormatText(MessageText(299), u"brxnet", 1060)), std::u16string::npos);

    EXPECT_EQ(test::RunCorvane(L"/UnregServer"), 0);
    test::WaitUntilCorvaneEnds(10000);
    DeleteFileW((test::BinFolder() + L"filterConfig.conf").c_str());
    CoUninitialize();
}
