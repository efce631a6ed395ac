// The tunnel's Win32 dial-up code under Wine, as far as Wine's remote-access stubs go. Wine accepts the
// entry without writing a phonebook, refuses the pre-shared key with 635, fails every dial with 1 (also
// the dial with a notifier, which returns at once on Windows) and lists no connections; the VCPE bring-up against the cloud stand-in then reports that dial failure with
// its text and code, and no secret reaches the log or a phonebook file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/HttpClient.h"
#include "core/Log.h"
#include "core/TextHelpers.h"
#include "core/WindowMessages.h"
#include "engine/EngineEvents.h"
#include "engine/ConnectAnswer.h"
#include "engine/EngineState.h"
#include "engine/TunnelBringUp.h"
#include "engine/TunnelValues.h"
#include "platform/DialUp.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Messenger.h"
#include "support/BringUp.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"

using namespace velora;

namespace {

// Wine's answers (rasapi32 stubs).
constexpr uint32_t kWineKeyRefused = 635;  // ERROR_UNKNOWN
constexpr uint32_t kWineDialFailed = 1;

void NoPause(uint32_t) {}

bool FileExists(const std::u16string& path) {
    std::string bytes;
    return platform::ReadWholeFile(path, bytes);
}

}  // namespace

TEST(TunnelWin, DialUpCallsReachWinesStubs) {
    test::CScratchFolder scratch;
    const std::u16string phonebook = scratch.Path(u"ras.pbk");
    const platform::DialUpEntryResult written =
        platform::WriteDialUpEntry(phonebook, u"Hal-Vane", TunnelEntryFor(u"192.0.2.10", u""));
    EXPECT_EQ(written.step, platform::DialUpEntryStep::Done);
    EXPECT_EQ(written.error, 0u);
    EXPECT_FALSE(FileExists(phonebook)) << "Wine's stub accepts the entry and writes no phonebook";
    EXPECT_EQ(platform::SetDialUpPresharedKey(phonebook, u"Hal-Vane", u"stub-key-4d1"), kWineKeyRefused);

    // The dial with its notifier fails at once as Wine's stub answers, with no handle and nothing to wait
    // for.
    platform::DialUpHandle handle = reinterpret_cast<platform::DialUpHandle>(1);
    EXPECT_EQ(platform::BeginDialUpEntry(phonebook, u"Hal-Vane", u"user", u"pass", handle), kWineDialFailed);
    EXPECT_EQ(handle, nullptr);
    const platform::DialUpWaitResult waited = platform::WaitForDialUp(nullptr, 0, nullptr);
    EXPECT_EQ(waited.end, platform::DialUpWaitEnd::Failed);
    EXPECT_EQ(waited.error, 6u) << "no dial was begun on a null handle";

    uint32_t error = 99;
    EXPECT_TRUE(platform::ListDialUpConnections(error).empty());
    EXPECT_EQ(error, 0u);
    {
        test::CLogCapture log;
        HangUpLeftoverTunnel();  // nothing listed, nothing hung up
        EXPECT_EQ(log.Text().find("An earlier L2TP connection was hung up"), std::string::npos);
    }

    // Texts with the system's message table behind the dial-up layer's, without a line end.
    for (const uint32_t code : {kWineDialFailed, 1062u}) {
        const std::u16string text = platform::DialUpErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_TRUE(text.find(u'\n') == std::u16string::npos && text.find(u'\r') == std::u16string::npos);
    }
    // Fields longer than the system's structure holds are refused before the system sees them.
    EXPECT_EQ(platform::BeginDialUpEntry(phonebook, u"Hal-Vane", std::u16string(300, u'u'), u"p", handle),
              87u);
    platform::DialUpEntry longNumber = TunnelEntryFor(std::u16string(200, u'1'), u"");
    EXPECT_EQ(platform::WriteDialUpEntry(phonebook, u"Hal-Vane", longNumber).step,
              platform::DialUpEntryStep::Write);
}

TEST(TunnelWin, VcpeBringUpReportsTheDialFailure) {
    test::CCloudSimAccess cloud;
    ASSERT_TRUE(cloud.Open());
    test::CLogCapture log;
    ASSERT_TRUE(CreateEngineEvents());
    EngineState& state = GetEngineState();
    state.stopConnectEvent->Reset();
    state.ipSetMode = 99;
    state.dialTimedOut = false;
    platform::SetPauseFunction(&NoPause);
    test::CRecordingWindow window;
    platform::SetMainWindow(window.Handle());
    const std::u16string tenant = cloud.Tenant(
        u"tunnelwin",
        uR"({"orch":{"tokens":["tok-1"],"connect":{"mode":"VCPE","values":{"ipsecPassword":"pw-88e","psk":"key-61c"}}}})");
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    ASSERT_EQ(client.PostText(cloud.TenantUrl("http", tenant) + u"/api/mobile/v2/connect",
                              ConnectBody(false, false, u"None", u"1.0.0.1", u"SN", false), answer, status, 1,
                              u"X-KX-AUTH-HEADER:tok-1", u"sn:SN", u"type:windows"),
              0u);
    ASSERT_EQ(status, 200u) << answer;

    ConnectContext context;
    test::RunVcpeBringUp(Utf8ToUtf16(answer), context);
    platform::SetMainWindow(nullptr);
    platform::SetPauseFunction(nullptr);

    EXPECT_EQ(context.result, static_cast<int32_t>(kWineDialFailed));
    EXPECT_EQ(context.message, u"RasDial failed with error code 1");
    std::vector<uintptr_t> posted;
    for (const test::RecordedMessage& m : window.Take()) {
        if (m.message == UM_LOG_LINE) delete reinterpret_cast<std::u16string*>(m.lParam);
        if (m.message == UM_CONNECT_RESULT) posted.push_back(m.wParam);
    }
    EXPECT_EQ(posted, std::vector<uintptr_t>{kWineDialFailed});
    EXPECT_EQ(state.rasConnection, nullptr);

    const std::string text = log.Text();
    EXPECT_NE(text.find("[INFO] The VCPE gateway is active"), std::string::npos) << text;
    EXPECT_NE(text.find("[ERROR] Storing the pre-shared key failed with error 635"), std::string::npos)
        << text;
    EXPECT_NE(text.find("[ERROR] Dialling the L2TP connection failed with error 1: " +
                        Utf16ToUtf8(platform::DialUpErrorText(kWineDialFailed))),
              std::string::npos)
        << text;
    log.ExpectNone({"pw-88e", "key-61c"});
    EXPECT_FALSE(FileExists(TunnelPhonebookPath()));
}
