// Corvane's engine lifecycle, monitor cycle, sharing decisions and diagnosis children, against the
// simulated process table and sharing answers (the same logic the Windows service runs on the real ones).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>
#include <fstream>
#include <iterator>

#include "logic/ControlHelperLogic.h"
#include "logic/DataPath.h"
#include "logic/DataPathMessages.h"
#include "logic/Diagnostics.h"
#include "logic/EngineCommandLine.h"
#include "logic/EngineWatch.h"
#include "logic/FileServiceStore.h"
#include "logic/GuidText.h"
#include "logic/HotspotNotify.h"
#include "logic/SimProcessControl.h"
#include "logic/ProgramRights.h"
#include "logic/Sha256.h"
#include "logic/ServiceState.h"
#include "logic/SimSharing.h"
#include "logic/SimulatedNetwork.h"
#include "logic/RouteHelperLogic.h"
#include "support/LogFiles.h"

using namespace corvane;

namespace {

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CorvaneEngine : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CControlHelperLogic(store_).SaveOrchConfigToFile(u"h", 1, 2, 3, u"tok-1", u"SN42", u""),
                  kS_OK);
        processes_.SetFileRoot(std::filesystem::path(folder_.Path()));
        log_.clear();
    }
    std::u16string Folder() const { return std::filesystem::path(folder_.Path()).u16string(); }
    bool Logged(std::u16string_view text) const {
        for (const auto& line : log_)
            if (line.find(text) != std::u16string::npos) return true;
        return false;
    }
    CDataPath DataPath(CallerIdentity caller = {}) { return CDataPath(store_, processes_, sharing_, caller); }
    // Starts the engine for `caller`; the engine's id is EngineId().
    void Start(CallerIdentity caller = {}) {
        int32_t isErr = 0, isIcs = 0;
        std::optional<std::u16string> msg;
        ASSERT_EQ(DataPath(caller).StartDataPath(u"orch.test", 0, isErr, 1033, msg, &isIcs), kS_OK);
    }
    // The id of the engine the service remembers, 0 when none.
    uint32_t EngineId() {
        CServiceState state(store_);
        state.Load();
        return state.engine ? state.engine->id : 0;
    }
    std::u16string EnginePath() const { return Folder() + u"\\ferronwin.exe"; }

    velora::test::CScratchFolder folder_;
    std::vector<std::u16string> log_;
    CFileServiceStore store_{std::filesystem::path(folder_.Path()), u"Corvane.exe",
                             [this](std::u16string_view m) { log_.emplace_back(m); }};
    CSimProcessControl processes_;
    CSimSharing sharing_;
};

TEST(CorvaneEngineRules, ValuesThatCouldBecomeSwitchesOrQuotesAreRefused) {
    struct Case {
        std::u16string text;
        bool token, serial, host;
    };
    const Case cases[] = {
        {u"eyJhbGciOi.J9-x_y~z+/=", true, false, false},
        {u"7A1C0F22D3B94E1F8C5D6E7F8091A2B3", true, true, true},
        {u"orch.example.test:8443", true, true, true},
        {u"orch.example.test,hb.example.test", false, false, true},  // the client's list of hosts
        {u"[::1]", false, false, true},
        {u"[fd00::1]:8443,hb.test", false, false, true},
        {u"xn--caf-dma.example", true, true, true},  // an international name in its punycode form
        {u",hb.test", false, false, true},
        {u"[::1", false, false, false},
        {u"[g::1]", false, false, false},
        {u"[::1]x", false, false, false},
        {u"a:b:c", true, true, false},
        {u"host:99999x", true, true, false},
        {u"[]", false, false, false},
        {u"-T", false, false, false},
        {u"/S", false, false, false},
        {u"a b", false, false, false},
        {u"a\"b", false, false, false},
        {u"a\uFF02b", false, false, false},  // full-width quote: '"' in a best-fit conversion
        {u"a\uFF3Cb", false, false, false},  // full-width backslash
        {u"a\u2010b", false, false, false},  // hyphen: '-' in a best-fit conversion
        {u"a\\b", false, false, false},
        {u"caf\u00e9", false, false, false},
        {u"a\tb", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text.size() << " units");
        EXPECT_EQ(IsEngineToken(c.text), c.token);
        EXPECT_EQ(IsEngineSerial(c.text), c.serial);
        EXPECT_EQ(IsEngineHostName(c.text), c.host);
    }
}

TEST(CorvaneEngineRules, CommandLineFitsOrIsRefusedNeverCut) {
    EXPECT_EQ(BuildEngineCommandLine(u"t", u"s", u""), u" -T t -S s");
    EXPECT_EQ(BuildEngineCommandLine(u"t", u"s", u"d.test"), u" -T t -S s -d d.test");
    // " -T t -S s -d " is 14 units: a domain of 245 makes 259, one more does not fit.
    EXPECT_TRUE(BuildEngineCommandLine(u"t", u"s", std::u16string(245, u'd')).has_value());
    EXPECT_FALSE(BuildEngineCommandLine(u"t", u"s", std::u16string(246, u'd')).has_value());
    std::u16string line = *BuildEngineCommandLine(u"t", u"s", std::u16string(240, u'd'));
    EXPECT_FALSE(AppendSharingSwitch(line, 12345));
    EXPECT_EQ(line.size(), 254u);
    EXPECT_TRUE(AppendSharingSwitch(line, 7));
    EXPECT_TRUE(line.ends_with(u" -I 7"));
}

TEST(CorvaneEngineRules, MessagesChineseFor2052EnglishOtherwise) {
    EXPECT_EQ(FormatInterfaceMessage(DataPathMessage::HotspotOn, 2052, u"Wi-Fi(Adapter)", 12),
              u"侦测到移动热点已开启\uFF0C通知DP设置共享接口:Wi-Fi(Adapter),接口索引:12");
    EXPECT_EQ(FormatInterfaceMessage(DataPathMessage::SharingOn, 1033, u"E(x)", 3),
              u"The internet connection sharing is enabled and notify DP to set the sharing interface:E(x), "
              u"interface index:3");
    EXPECT_EQ(DataPathMessageText(DataPathMessage::HotspotNotStarted, 0), u"Mobile hotspot not started");
    EXPECT_EQ(FormatInterfaceMessage(DataPathMessage::HotspotOn, 1033, std::u16string(2000, u'x'), 1).size(),
              1023u);
}

TEST_F(CorvaneEngine, SharingDecisionTable) {
    const HotspotState failed{false, false, false, {}};
    const HotspotState unavailable{false, false, true, {}};
    const HotspotState off{true, false, false, u"{A}"};
    const HotspotState on{true, true, false, u"{A}"};
    const SharingInterface none{};
    const SharingInterface wifi{11, u"Wi-Fi(W)"};
    const SharingInterface ics{22, u"Eth(E)"};
    struct Case {
        const char* what;
        int enable;
        HotspotState hotspot;
        SharingInterface hotspotIf, icsIf;
        int32_t isErr, isIcs, index;
        std::optional<std::u16string> msg;
    };
    const std::u16string sharing22 = FormatInterfaceMessage(DataPathMessage::SharingOn, 1033, u"Eth(E)", 22);
    const Case cases[] = {
        {"detection off", 0, on, wifi, ics, 1, 0, -1, std::nullopt},
        {"state failed, no ICS", 1, failed, none, none, 1, 0, -1,
         std::u16string(DataPathMessageText(DataPathMessage::HotspotStateFailed, 1033))},
        {"service unavailable, no ICS", 1, unavailable, none, none, 0, 0, -1, u"Mobile hotspot not started"},
        {"hotspot off, no ICS", 1, off, wifi, none, 0, 0, -1, u"Mobile hotspot not started"},
        {"hotspot on, interface found", 1, on, wifi, ics, 0, 0, 11,
         FormatInterfaceMessage(DataPathMessage::HotspotOn, 1033, u"Wi-Fi(W)", 11)},
        {"hotspot on, interface missing, no ICS", 1, on, none, none, 1, 0, -1,
         std::u16string(DataPathMessageText(DataPathMessage::HotspotInterfaceFailed, 1033))},
        {"hotspot on, interface missing, ICS found", 1, on, none, ics, 0, 1, 22, sharing22},
        {"hotspot off, ICS found", 1, off, wifi, ics, 0, 1, 22, sharing22},
        {"state failed, ICS found", 1, failed, none, ics, 0, 1, 22, sharing22},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sharing_.Set({c.hotspot, c.hotspotIf, c.icsIf});
        int32_t isErr = 5, isIcs = 5;
        std::optional<std::u16string> msg;
        const auto before = processes_.Launches().size();
        ASSERT_EQ(DataPath().StartDataPath(u"orch.test", c.enable, isErr, 1033, msg, &isIcs), kS_OK);
        EXPECT_EQ(isErr, c.isErr);
        EXPECT_EQ(isIcs, c.isIcs);
        EXPECT_EQ(msg, c.msg);
        EXPECT_EQ(SharingInterfaceIndex(), c.index);
        const auto launches = processes_.Launches();
        ASSERT_EQ(launches.size(), before + 1);
        const std::u16string expected = u" -T tok-1 -S SN42 -d orch.test" +
                                        (c.index == -1 ? std::u16string() : u" -I " + Decimal(c.index));
        EXPECT_EQ(launches.back().commandLine, expected);
        EXPECT_EQ(launches.back().program, Folder() + u"\\ferronwin.exe");
        EXPECT_EQ(launches.back().workingFolder, Folder());
    }
    EXPECT_EQ(sharing_.LastAdapterId(), u"{A}");
}

TEST_F(CorvaneEngine, StartReplacesARunningEngineAndGivesUpOnOneThatStays) {
    int32_t isErr = 0, isIcs = 0;
    std::optional<std::u16string> msg;
    ASSERT_EQ(DataPath().StartDataPath(u"", 0, isErr, 1033, msg, &isIcs), kS_OK);
    const uint32_t old = EngineId();
    EXPECT_EQ(DataPath().StartDataPath(u"", 0, isErr, 1033, msg, &isIcs), kS_OK);
    EXPECT_FALSE(processes_.IsRunning(old));
    EXPECT_TRUE(processes_.IsRunning(EngineId()));
    EXPECT_EQ(processes_.Launches().back().commandLine, u" -T tok-1 -S SN42");
    EXPECT_EQ(isErr, 1);
    EXPECT_FALSE(msg.has_value());

    processes_.SetUnkillable(u"ferronwin.exe", true);
    const auto launches = processes_.Launches().size();
    EXPECT_EQ(DataPath().StartDataPath(u"", 0, isErr, 1033, msg, &isIcs), kResult8010000A);
    EXPECT_EQ(msg, u"Timeout waiting for datapath process to terminate");
    EXPECT_EQ(processes_.Launches().size(), launches) << "nothing started while the old engine stays";
    processes_.SetUnkillable(u"ferronwin.exe", false);
}

TEST_F(CorvaneEngine, StartFailuresAndRefusals) {
    int32_t isErr = 0, isIcs = 0;
    std::optional<std::u16string> msg;
    processes_.SetStartError(2);
    EXPECT_EQ(DataPath().StartDataPath(u"", 0, isErr, 1033, msg, &isIcs), static_cast<HResult>(0x80070002u));
    EXPECT_EQ(msg, u"Failed to start data path: " + Folder() + u"\\ferronwin.exe");
    processes_.SetStartError(0);

    // Values that the old rule let through, stored before the stricter rule: refused, nothing started.
    const std::filesystem::path tokenFile = std::filesystem::path(folder_.Path()) / "Parameters" / "Token";
    const std::u16string probe = u"-d\uFF02x";
    std::ofstream(tokenFile, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(probe.c_str()),
               static_cast<std::streamsize>((probe.size() + 1) * 2));
    const auto launches = processes_.Launches().size();
    msg.reset();
    EXPECT_EQ(DataPath().StartDataPath(u"", 0, isErr, 1033, msg, &isIcs), kE_INVALIDARG);
    EXPECT_EQ(processes_.Launches().size(), launches);
    EXPECT_TRUE(Logged(u"StartDataPath refused"));
    EXPECT_FALSE(Logged(probe));

    // A refusal hands back the failure values, never what the caller passed in.
    isErr = 7;
    isIcs = 7;
    msg.reset();
    EXPECT_EQ(DataPath().StartDataPath(u"a\uFF02b", 0, isErr, 1033, msg, &isIcs), kE_INVALIDARG);
    EXPECT_EQ(isErr, 1);
    EXPECT_EQ(isIcs, 0);
    EXPECT_FALSE(msg.has_value());
}

// A store whose module path can fail or lack a folder.
class CModulePathStore : public CFileServiceStore {
public:
    using CFileServiceStore::CFileServiceStore;
    uint32_t GetModulePath(std::u16string& path) override {
        if (error != 0) return error;
        path = modulePath;
        return 0;
    }
    uint32_t error = 0;
    std::u16string modulePath;
};

TEST_F(CorvaneEngine, ModulePathFailureRows) {
    CModulePathStore store(std::filesystem::path(folder_.Path()));
    int32_t isErr = 0, isIcs = 0;
    std::optional<std::u16string> msg;
    store.error = 122;
    EXPECT_EQ(CDataPath(store, processes_, sharing_).StartDataPath(u"", 0, isErr, 1033, msg, &isIcs),
              static_cast<HResult>(0x8007007Au));
    EXPECT_EQ(msg, u"Failed to call GetModuleFileName");
    EXPECT_EQ(CDiagnostics(store, processes_).FixErrAuto(711), static_cast<HResult>(0x8007007Au));
    store.error = 0;
    store.modulePath = u"Corvane.exe";
    EXPECT_EQ(CDataPath(store, processes_, sharing_).StartDataPath(u"", 0, isErr, 1033, msg, &isIcs),
              kResult80004018);
    EXPECT_EQ(msg, u"Can't find backslash from the result(Corvane.exe) of GetModuleFileName");
    EXPECT_EQ(CDiagnostics(store, processes_).FixErrAuto(619), kE_FAIL);
    EXPECT_EQ(CDiagnostics(store, processes_).FixErrAuto(720), kS_OK) << "codes outside the table: nothing";
    EXPECT_TRUE(processes_.Launches().empty());
}

TEST_F(CorvaneEngine, StopEndsTheEngineOrSaysThereIsNone) {
    std::optional<std::u16string> msg;
    EXPECT_EQ(DataPath().StopDataPath(msg), kNothingToStop);
    EXPECT_EQ(msg, u"Data path process has stopped");
    Start();
    const uint32_t engine = EngineId();
    msg.reset();
    EXPECT_EQ(DataPath().StopDataPath(msg), kS_OK);
    EXPECT_FALSE(processes_.IsRunning(engine));
    EXPECT_TRUE(Logged(u"Call TerminateProcess to stop data path"));
    EXPECT_FALSE(msg.has_value());
    Start();
    processes_.SetTerminateError(5);
    EXPECT_EQ(DataPath().StopDataPath(msg), static_cast<HResult>(0x80070005u));
    EXPECT_EQ(msg, u"Failed to stop data path");
    processes_.SetTerminateError(0);
}

TEST_F(CorvaneEngine, MonitorEndsAnEngineSeenTwiceWithoutAClient) {
    CEngineWatch watch(store_, processes_);
    Start();
    const uint32_t engine = EngineId();
    EXPECT_FALSE(watch.RunCycle());
    EXPECT_TRUE(processes_.IsRunning(engine));
    EXPECT_TRUE(watch.RunCycle());
    EXPECT_FALSE(processes_.IsRunning(engine));
    EXPECT_TRUE(Logged(u"Find DP but not find UI, DP stopped"));

    // A client keeps the engine; the flag set by an earlier lone sighting survives in between.
    Start();
    const uint32_t second = EngineId();
    EXPECT_FALSE(watch.RunCycle());
    processes_.SetAdministratorOwned(u"C:\\Program Files\\Velora2", true);
    const uint32_t client = processes_.AddProcess(u"VELORA.exe", u"C:\\Program Files\\Velora2\\VELORA.exe");
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(watch.RunCycle());
    EXPECT_TRUE(processes_.IsRunning(second));
    std::unique_ptr<CRunningProcess> handle;
    ASSERT_EQ(processes_.Open(client, handle), 0u);
    handle->Terminate(0);
    EXPECT_TRUE(watch.RunCycle()) << "the flag was set before the client came";
    EXPECT_FALSE(processes_.IsRunning(second));

    for (const char16_t* image : {u"Ferron.exe", u"Halvane.exe", u"Dravenic.exe", u"Qelmar.exe",
                                  u"Istrava.exe", u"Pomwick.exe", u"Trovik.exe", u"velora.EXE"})
        EXPECT_TRUE(IsClientImage(image));
    EXPECT_FALSE(IsClientImage(u"ferronwin.exe"));
}

TEST_F(CorvaneEngine, HotspotNotificationReportsOnlyChanges) {
    const HotspotState failed{false, false, false, {}};
    const HotspotState unavailable{false, false, true, {}};
    const HotspotState off{true, false, false, u"{A}"};
    const HotspotState on{true, true, false, u"{A}"};
    const SharingInterface none{};
    const SharingInterface wifi{11, u"Wi-Fi(W)"};
    const SharingInterface other{12, u"Wi-Fi 2(W2)"};
    struct Case {
        const char* what;
        int32_t before;
        HotspotState state;
        SharingInterface found;
        int32_t langId;
        int32_t ifIndex, after;  // ifIndex 99: untouched
        std::optional<std::u16string> msg;
    };
    const std::u16string on11 =
        FormatInterfaceMessage(DataPathMessage::HotspotOnUpdate, 1033, u"Wi-Fi(W)", 11);
    const Case cases[] = {
        {"off after on", 11, off, none, 1033, -1, -1, u"Mobile hotspot is off, notify DP to update status"},
        {"off again", -1, off, none, 1033, 99, -1, std::nullopt},
        {"off after on, Chinese", 11, off, none, 2052, -1, -1, u"侦测到移动热点已关闭\uFF0C通知DP更新状态"},
        {"on, new interface", -1, on, wifi, 1033, 11, 11, on11},
        {"on, unchanged", 11, on, wifi, 1033, 99, 11, std::nullopt},
        {"on, another interface", 11, on, other, 1033, 12, 12,
         FormatInterfaceMessage(DataPathMessage::HotspotOnUpdate, 1033, u"Wi-Fi 2(W2)", 12)},
        {"on, interface not found", 11, on, none, 1033, 99, 11,
         std::u16string(DataPathMessageText(DataPathMessage::HotspotInterfaceProblem, 1033))},
        {"service unavailable", 11, unavailable, none, 1033, 99, 11, u"Mobile hotspot not started"},
        {"no internet profile", 11, failed, none, 1033, 99, 11,
         u"There may be a problem with the acceleration hotspot device due to the failure to obtain the "
         u"Wi-Fi "
         u"hotspot status"},
        {"no internet profile, Chinese", 11, failed, none, 2052, 99, 11,
         u"由于获取Wi-Fi移动热点状态失败,加速热点设备可能存在问题"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetSharingInterfaceIndex(c.before);
        sharing_.Set({c.state, c.found, none});
        int32_t ifIndex = 99;
        std::optional<std::u16string> msg;
        EXPECT_EQ(NotifyHotspotChange(store_, sharing_, ifIndex, c.langId, msg), kS_OK);
        EXPECT_EQ(ifIndex, c.ifIndex);
        EXPECT_EQ(SharingInterfaceIndex(), c.after);
        EXPECT_EQ(msg, c.msg);
    }
    SetSharingInterfaceIndex(-1);
}

TEST(CorvaneSharing, GuidTextForms) {
    const GuidFields guid{0x0A1B2C3Du, 0x4E5F, 0xABCD, {0xEF, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD}};
    EXPECT_EQ(FormatGuidText(guid), u"{0A1B2C3D-4E5F-ABCD-EF01-23456789ABCD}");
    EXPECT_EQ(FormatAdapterIdText(guid), u"{0A1B2C3D-4E5F-abcd-EF01-23456789ABCD}");
    const std::array<uint8_t, 16> stored{0x3D, 0x2C, 0x1B, 0x0A, 0x5F, 0x4E, 0xCD, 0xAB,
                                         0xEF, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD};
    EXPECT_EQ(FormatStoredGuidText(stored), FormatGuidText(guid));
    EXPECT_TRUE(SameGuidText(FormatAdapterIdText(guid), FormatGuidText(guid)));
}

TEST(CorvaneDiagnosis, CaptureTurnsCarriageReturnsIntoBlanksAndKeepsPercentSigns) {
    EXPECT_EQ(CaptureBlock("a\r\nb 100%\nc\r"), "a \r\nb 100%\r\nc ");
}

TEST(CorvaneDiagnosis, OutputPathsTheServiceAccepts) {
    struct Case {
        std::u16string path;
        bool ok;
    };
    const Case cases[] = {
        {u"C:\\Users\\u\\AppData\\Roaming\\Halvane\\device.log", true},
        {u"c:\\velora\\DEVICE.LOG", true},
        {u"C:\\Users\\o'brien\\AppData\\Roaming\\Halvane\\device.log", true},
        // What a profile folder may be called passes: the path reaches no command line.
        {u"C:\\Users\\x (2)\\device.log", true},
        {u"C:\\Users\\Tom & Jerry\\AppData\\Roaming\\Halvane\\device.log", true},
        {u"C:\\Users\\a!b [1] {2},;=@$^`#+~\\device.log", true},
        {u"C:\\velora\\%TEMP%\\device.log", true},
        // Full-width quote, ampersand, pipe and angle brackets: a single-byte conversion makes them real.
        {u"C:\\Users\\a\uFF02b\\device.log", false},
        {u"C:\\Users\\a\uFF06b\\device.log", false},
        {u"C:\\Users\\a\uFF5Cb\\device.log", false},
        {u"C:\\Users\\a\uFF1Cb\\device.log", false},
        {u"C:\\Users\\a\uFF1Eb\\device.log", false},
        {u"C:\\velora\\a<b\\device.log", false},
        {u"C:\\velora\\a>b\\device.log", false},
        {u"C:\\velora\\a*\\device.log", false},
        {u"C:\\velora\\a?\\device.log", false},
        {u"C:\\velora/a\\device.log", false},
        {u"C:\\velora\\device.log & calc", false},
        {u"C:\\velora\\a|b\\device.log", false},
        {u"C:\\velora\\\"\\device.log", false},
        {u"C:\\velora\\..\\Windows\\device.log", false},
        {u"C:\\velora\\.\\device.log", false},
        {u"\\\\server\\share\\device.log", false},
        {u"\\\\?\\C:\\velora\\device.log", false},
        {u"\\\\.\\pipe\\device.log", false},
        {u"C:\\velora\\nul\\device.log", false},
        {u"C:\\velora\\COM1.txt\\device.log", false},
        {u"C:\\velora\\other.log", false},
        {u"C:\\velora\\device.log:stream", false},
        {u"velora\\device.log", false},
        {u"C:device.log", false},
        {u"C:\\device.log", false},
        {u"C:\\" + std::u16string(250, u'a') + u"\\device.log", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsCallerOutputPath(c.path, u"device.log"), c.ok) << c.path.size();
}

TEST_F(CorvaneEngine, DiagnosisRunsOnlyTheServicesOwnScriptsAndTool) {
    CDiagnostics diagnostics(store_, processes_);
    const std::u16string folder = Folder();
    const std::u16string out = u"C:\\device.log.d\\device.log";
    std::filesystem::create_directories(std::filesystem::path(folder_.Path()) / "device.log.d");
    const std::u16string client = u"cmd.exe /C \"\"" + folder + u"\\diagnosis.bat\" \"" + out + u"\"\"";
    processes_.SetScriptWrites(u"diagnosis.bat", "report of the system\r\n");
    EXPECT_EQ(diagnostics.GetSystemInfo(std::nullopt, client), kS_OK);
    EXPECT_EQ(processes_.Launches().back().program, u"C:\\Windows\\system32\\cmd.exe");
    // The script, run as the system account, writes into a file of the service's own folder; it never
    // sees the caller's path. The service copies the report into the file it opened for the caller.
    const std::u16string line = processes_.Launches().back().commandLine;
    const std::u16string sep = folder.find(u'\\') == std::u16string::npos ? u"/" : u"\\";
    const std::u16string prefix = u"\"C:\\Windows\\system32\\cmd.exe\" /d /c \"\"" + folder +
                                  u"\\diagnosis.bat\" \"" + folder + sep + u"reports" + sep + u"device-";
    EXPECT_EQ(line.substr(0, prefix.size()), prefix);
    EXPECT_TRUE(line.ends_with(u".log\"\""));
    EXPECT_EQ(line.find(out), std::u16string::npos);
    EXPECT_EQ(ReadAll(std::filesystem::path(folder_.Path()) / "device.log.d" / "device.log"),
              "report of the system\r\n");
    const std::filesystem::path reports = std::filesystem::path(folder_.Path()) / "reports";
    EXPECT_TRUE(std::filesystem::is_directory(reports));
    EXPECT_TRUE(std::filesystem::is_empty(reports)) << "the service's copy is removed";

    // A caller path whose folder was re-pointed after the check leads elsewhere: refused, nothing run.
    processes_.SetRepointedPath(u"C:\\device.log.d\\");
    const auto before = processes_.Launches().size();
    EXPECT_EQ(diagnostics.GetSystemInfo(std::nullopt, client), kE_ACCESSDENIED);
    EXPECT_EQ(diagnostics.ProduceNsCtlLog(folder + u"\\nsCtl.exe", u"C:\\device.log.d\\nsctl.log"),
              kE_ACCESSDENIED);
    EXPECT_EQ(processes_.Launches().size(), before);
    EXPECT_TRUE(Logged(u"GetSystemInfo refused: the output path leads elsewhere"));
    processes_.SetRepointedPath(u"");

    const auto launches = processes_.Launches().size();
    const std::u16string refused[] = {
        u"",
        u"calc.exe",
        u"cmd.exe /C \"\"C:\\evil\\diagnosis.bat\" \"" + out + u"\"\"",
        u"cmd.exe /C \"\"" + folder + u"\\diagnosis.bat\" \"C:\\x\\device.log\" & calc\"",
        u"cmd.exe /C \"\"" + folder + u"\\diagnosis.bat\" \"\\\\host\\s\\device.log\"\"",
        u"cmd.exe /C \"\"" + folder + u"\\diagnosis.bat\" \"C:\\x\\..\\device.log\"\"",
        u"cmd.exe /C \"\"" + folder + u"\\diagnosis.bat\" \"C:\\x\\con\\device.log\"\"",
        u"cmd.exe /C \"\"" + folder + u"\\..\\diagnosis.bat\" \"" + out + u"\"\"",
    };
    for (const auto& line : refused) {
        log_.clear();
        EXPECT_EQ(diagnostics.GetSystemInfo(std::nullopt, line), kE_ACCESSDENIED) << line.size();
        EXPECT_TRUE(Logged(u"GetSystemInfo refused"));
        if (!line.empty()) {
            EXPECT_FALSE(Logged(line));
        }
    }
    for (const auto& [tool, name] : std::initializer_list<std::pair<std::u16string, std::u16string>>{
             {u"C:\\Windows\\system32\\calc.exe", u"C:\\x\\nsctl.log"},
             {folder + u"\\nsCtl.exe", u"C:\\x\\..\\nsctl.log"},
             {folder + u"\\nsCtl.exe", u"\\\\host\\share\\nsctl.log"},
             {folder + u"\\nsCtl.exe", u"C:\\x\\service.log"},
             {folder + u"\\nsCtl.exe", u"C:\\x\\nsctl.log|calc"}}) {
        EXPECT_EQ(diagnostics.ProduceNsCtlLog(tool, name), kE_ACCESSDENIED);
    }
    EXPECT_EQ(processes_.Launches().size(), launches) << "nothing started for a refused call";

    processes_.SetToolOutput("state: ok\r\nload 100%\nend");
    std::filesystem::create_directories(std::filesystem::path(folder_.Path()) / "diag");
    EXPECT_EQ(diagnostics.ProduceNsCtlLog(folder + u"\\nsCtl.exe", u"C:\\diag\\nsctl.log"), kS_OK);
    EXPECT_EQ(ReadAll(std::filesystem::path(folder_.Path()) / "diag" / "nsctl.log"),
              "state: ok \r\nload 100%\r\nend");
    EXPECT_EQ(diagnostics.ProduceNsCtlLog(folder + u"\\nsCtl.exe", u"C:\\missing\\nsctl.log"), kS_FALSE);
    // The folder is missing (the system's 3): the C runtime's errno for that is ENOENT, 2.
    EXPECT_TRUE(Logged(u"Can't open C:\\missing\\nsctl.log to write, errno_t: 2"));
}

TEST_F(CorvaneEngine, RepairsRunTheirScriptAndEveryWaitIsBounded) {
    CDiagnostics diagnostics(store_, processes_);
    const auto launches = processes_.Launches().size();
    EXPECT_EQ(diagnostics.FixErrAuto(720), kS_OK);
    EXPECT_EQ(processes_.Launches().size(), launches);
    const std::u16string folder = Folder();
    struct Case {
        uint32_t code;
        const char16_t* script;
    };
    for (const Case& c : {Case{619, u"fix692.bat"}, Case{692, u"fix692.bat"}, Case{711, u"fixservice.bat"},
                          Case{1062, u"fixservice.bat"}}) {
        EXPECT_EQ(diagnostics.FixErrAuto(c.code), kS_OK);
        EXPECT_EQ(processes_.Launches().back().commandLine,
                  u"\"C:\\Windows\\system32\\cmd.exe\" /d /c \"\"" + folder + u"\\" + c.script + u"\"\"");
    }
    processes_.SetHangingChild(u"fixservice.bat");
    EXPECT_EQ(diagnostics.FixErrAuto(711), kTimeoutResult);
    EXPECT_TRUE(Logged(u"The repair script fixservice.bat did not end within 300 s and was stopped"));
    processes_.SetHangingChild(u"diagnosis.bat");
    std::filesystem::create_directories(std::filesystem::path(folder_.Path()) / "d");
    EXPECT_EQ(diagnostics.GetSystemInfo(
                  std::nullopt, u"cmd.exe /C \"\"" + folder + u"\\diagnosis.bat\" \"C:\\d\\device.log\"\""),
              kTimeoutResult);
    for (const auto& image : processes_.RunningImages()) {
        EXPECT_NE(image, u"cmd.exe") << "the hung child was ended";
    }
    processes_.SetHangingChild(u"");
}

TEST(CorvaneDiagnosis, OpenFailuresAreLoggedWithTheCRuntimesErrno) {
    struct Case {
        uint32_t system;
        int errnoValue;
    };
    for (const Case& c : {Case{2, 2}, Case{3, 2}, Case{5, 13}, Case{32, 13}, Case{80, 17}, Case{112, 28},
                          Case{206, 2}, Case{4, 24}, Case{193, 8}, Case{1234, 22}})
        EXPECT_EQ(CRuntimeErrno(c.system), c.errnoValue) << c.system;
}

TEST_F(CorvaneEngine, ToolOutputHeldOpenAfterTheToolEndedOrPastTheLimitEndsTheCopy) {
    DiagnosisLimits limits;
    limits.toolMs = 400;
    limits.toolOutputGraceMs = 20;
    CDiagnostics diagnostics(store_, processes_, limits);
    const std::u16string tool = Folder() + u"\\nsCtl.exe";
    std::filesystem::create_directories(std::filesystem::path(folder_.Path()) / "n");
    processes_.SetToolOutput("state: ok\n");
    processes_.SetToolOutputStaysOpen(true);
    // The tool ended but something it started holds the pipe: the copy ends after the grace, not never.
    EXPECT_EQ(diagnostics.ProduceNsCtlLog(tool, u"C:\\n\\nsctl.log"), kS_OK);
    EXPECT_EQ(ReadAll(std::filesystem::path(folder_.Path()) / "n" / "nsctl.log"), "state: ok\r\n");
    EXPECT_TRUE(Logged(u"nsCtl.exe ended but what it started kept its output open; that was stopped"));
    // The tool itself never ends: the copy ends at the limit and the tool is ended.
    processes_.SetHangingChild(u"nsCtl.exe");
    EXPECT_EQ(diagnostics.ProduceNsCtlLog(tool, u"C:\\n\\nsctl.log"), kTimeoutResult);
    for (const auto& image : processes_.RunningImages()) EXPECT_NE(image, u"nsCtl.exe");
    processes_.SetHangingChild(u"");
    processes_.SetToolOutputStaysOpen(false);
}

TEST(CorvaneSecrets, TheLogNamesASecretByLengthAndDigestPrefix) {
    const std::array<uint8_t, 32> abc = Sha256("abc");
    EXPECT_EQ(abc[0], 0xba);
    EXPECT_EQ(abc[1], 0x78);
    EXPECT_EQ(abc[31], 0xad);
    const std::array<uint8_t, 32> empty = Sha256("");
    EXPECT_EQ(empty[0], 0xe3);
    EXPECT_EQ(empty[31], 0x55);
    const std::array<uint8_t, 32> long56 = Sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq");
    EXPECT_EQ(long56[0], 0x24);
    EXPECT_EQ(long56[31], 0xc1);
    const std::u16string shown = SecretForLog(u"tok-1");
    EXPECT_TRUE(shown.starts_with(u"<secret: 5 characters, sha256 "))
        << std::string(shown.begin(), shown.end());
    EXPECT_EQ(shown.size(), std::u16string(u"<secret: 5 characters, sha256 12345678>").size());
    EXPECT_EQ(shown.find(u"tok-1"), std::u16string::npos);
}

TEST_F(CorvaneEngine, AFailedEngineStartLogsNoToken) {
    int32_t isErr = 0, isIcs = 0;
    std::optional<std::u16string> msg;
    processes_.SetStartError(2);
    EXPECT_EQ(DataPath().StartDataPath(u"orch.test", 0, isErr, 1033, msg, &isIcs),
              static_cast<HResult>(0x80070002u));
    processes_.SetStartError(0);
    EXPECT_TRUE(Logged(u"with param  -T " + SecretForLog(u"tok-1") + u" -S SN42 -d orch.test in path"));
    for (const auto& line : log_)
        EXPECT_EQ(line.find(u"tok-1"), std::u16string::npos) << "the token is never logged";
#ifndef _WIN32
    // The stored token is the service account's alone.
    const auto perms =
        std::filesystem::status(std::filesystem::path(folder_.Path()) / "Parameters").permissions();
    EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none);
#endif
}

TEST(CorvaneProgramRights, OnlyTheSystemAdministratorsAndTrustedInstallerMayChangeWhatRunsAsSystem) {
    const std::u16string sy = u"S-1-5-18", ba = u"S-1-5-32-544", users = u"S-1-5-32-545",
                         ti = u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                         everyone = u"S-1-1-0";
    struct Case {
        const char* name;
        ObjectRights rights;
        bool safe;
    };
    const Case cases[] = {
        {"system and administrators, users read",
         {sy, true, {{sy, 0x1F01FF}, {ba, 0x1F01FF}, {users, 0x1200A9}}},
         true},
        {"TrustedInstaller owns, users read and execute",
         {ti, true, {{ti, 0x1F01FF}, {users, 0x1200A9}}},
         true},
        {"users may write data", {sy, true, {{sy, 0x1F01FF}, {users, 0x1200A9 | 0x2}}}, false},
        {"users may append (add a folder)", {sy, true, {{users, 0x4}}}, false},
        {"everyone generic write", {sy, true, {{everyone, 0x40000000}}}, false},
        {"users generic all", {sy, true, {{users, 0x10000000}}}, false},
        {"users may delete", {sy, true, {{users, 0x10000}}}, false},
        {"users may change the permissions", {sy, true, {{users, 0x40000}}}, false},
        {"users may take ownership", {sy, true, {{users, 0x80000}}}, false},
        {"users may delete a child", {sy, true, {{users, 0x40}}}, false},
        {"a user owns it", {u"S-1-5-21-1-2-3-1000", true, {{sy, 0x1F01FF}}}, false},
        {"no access list", {sy, false, {}}, false},
        {"a deny entry takes away only", {sy, true, {{users, 0x1F01FF, false}}}, true},
        {"an inherit-only entry applies to what is made inside",
         {sy, true, {{u"S-1-3-0", 0x1F01FF, true, true}}},
         true},
        {"an entry not read apart", {sy, true, {{u"?", 0x10000000}}}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(WhoElseMayChange(c.rights).empty(), c.safe) << c.name;
    // The account the service itself runs as counts as its own (it can do all the service does).
    const ObjectRights own{
        u"S-1-5-21-0-0-0-1000", true, {{u"S-1-5-21-0-0-0-1000", 0x1F01FF}, {everyone, 0x1200A9}}};
    EXPECT_TRUE(WhoElseMayChange(own, u"S-1-5-21-0-0-0-1000").empty());
    EXPECT_FALSE(WhoElseMayChange(own).empty());
}

TEST_F(CorvaneEngine, NothingRunsAsSystemFromAFolderOrProgramUsersMayChange) {
    processes_.SetRunsAsSystem(true);
    const std::u16string folder = Folder();
    CDiagnostics diagnostics(store_, processes_);
    std::filesystem::create_directories(std::filesystem::path(folder_.Path()) / "r");
    const std::u16string report = u"cmd.exe /C \"\"" + folder + u"\\diagnosis.bat\" \"C:\\r\\device.log\"\"";
    // Protected (the default rights): everything runs.
    EXPECT_EQ(diagnostics.FixErrAuto(711), kS_OK);
    const auto launches = processes_.Launches().size();
    const ObjectRights writable{u"S-1-5-18", true, {{u"S-1-5-32-545", 0x1301BF}}};
    for (const std::u16string& path : std::vector<std::u16string>{folder, folder + u"\\fixservice.bat",
                                                                  u"C:\\Windows\\system32\\cmd.exe"}) {
        processes_.SetRights(path, writable);
        log_.clear();
        EXPECT_EQ(diagnostics.FixErrAuto(711), kE_ACCESSDENIED);
        EXPECT_TRUE(Logged(u"FixErrAuto refused: "));
        processes_.SetRights(path, ObjectRights{u"S-1-5-18", true, {}});
    }
    processes_.SetRights(folder, writable);
    int32_t isErr = 0, isIcs = 0;
    std::optional<std::u16string> msg;
    EXPECT_EQ(diagnostics.GetSystemInfo(std::nullopt, report), kE_ACCESSDENIED);
    EXPECT_EQ(diagnostics.ProduceNsCtlLog(folder + u"\\nsCtl.exe", u"C:\\r\\nsctl.log"), kE_ACCESSDENIED);
    EXPECT_EQ(DataPath().StartDataPath(u"", 0, isErr, 1033, msg, &isIcs), kE_ACCESSDENIED);
    EXPECT_TRUE(
        Logged(u"StartDataPath refused: the service's folder is not safe to run as the system account"));
    EXPECT_EQ(processes_.Launches().size(), launches) << "nothing started";
    // The plain local server runs things as its own user: the rule is for the system account's runs.
    processes_.SetRunsAsSystem(false);
    EXPECT_EQ(diagnostics.FixErrAuto(711), kS_OK);
}

// The engine is the process the service started, recognised by id, creation time and path: a program of
// the engine's name elsewhere is never ended, never blocks a start, and an id that a new process got is
// never taken for the engine.
TEST_F(CorvaneEngine, OnlyTheEngineTheServiceStartedIsEverEnded) {
    const uint32_t decoy = processes_.AddProcess(u"ferronwin.exe", u"C:\\Users\\mallory\\ferronwin.exe");
    processes_.SetUnkillable(u"ferronwin.exe", false);
    std::optional<std::u16string> msg;
    EXPECT_EQ(DataPath().StopDataPath(msg), kNothingToStop) << "the decoy is not the engine";
    Start();
    const uint32_t engine = EngineId();
    ASSERT_NE(engine, 0u);
    Start();  // replaces the service's engine, not the decoy
    EXPECT_FALSE(processes_.IsRunning(engine));
    EXPECT_TRUE(processes_.IsRunning(decoy));
    // The same name and even the same folder, but not the process the service started.
    const uint32_t copy = processes_.AddProcess(u"ferronwin.exe", EnginePath());
    msg.reset();
    EXPECT_EQ(DataPath().StopDataPath(msg), kS_OK);
    EXPECT_TRUE(processes_.IsRunning(copy));
    EXPECT_TRUE(processes_.IsRunning(decoy));
    EXPECT_EQ(DataPath().StopDataPath(msg), kNothingToStop);

    // The engine's id reused by another process between the record and the look-up.
    Start();
    const uint32_t reused = EngineId();
    processes_.ReuseId(reused, u"ferronwin.exe", EnginePath());
    EXPECT_EQ(DataPath().StopDataPath(msg), kNothingToStop);
    EXPECT_TRUE(processes_.IsRunning(reused)) << "the process that got the id later is left alone";

    CEngineWatch watch(store_, processes_);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(watch.RunCycle()) << "no engine of the service runs";
    EXPECT_TRUE(processes_.IsRunning(decoy));
    EXPECT_TRUE(processes_.IsRunning(copy));

    // A decoy that survives every termination no longer blocks a start.
    processes_.SetUnkillable(u"ferronwin.exe", true);
    const auto launches = processes_.Launches().size();
    Start();
    EXPECT_EQ(processes_.Launches().size(), launches + 1);
    processes_.SetUnkillable(u"ferronwin.exe", false);
}

TEST_F(CorvaneEngine, ClientOutsideAnAdministratorsFolderKeepsNoEngineAlive) {
    CEngineWatch watch(store_, processes_);
    Start();
    const uint32_t engine = EngineId();
    processes_.AddProcess(u"Velora.exe", u"C:\\Users\\mallory\\Velora.exe");
    EXPECT_FALSE(watch.RunCycle());
    EXPECT_TRUE(watch.RunCycle()) << "a client copy in a user's folder does not count";
    EXPECT_FALSE(processes_.IsRunning(engine));
}

// Everything is checked before the old engine is touched: a refused start leaves it running.
TEST_F(CorvaneEngine, RefusedStartLeavesTheRunningEngineAlone) {
    Start();
    const uint32_t engine = EngineId();
    const std::filesystem::path parameters = std::filesystem::path(folder_.Path()) / "Parameters";
    auto store = [&](const char* name, std::u16string value) {
        std::ofstream(parameters / name, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(value.c_str()),
                   static_cast<std::streamsize>((value.size() + 1) * 2));
    };
    struct Case {
        const char* what;
        std::u16string domain, token, sn;
        HResult result;
    };
    const Case cases[] = {
        {"command line too long", std::u16string(250, u'd'), u"tok-1", u"SN42",
         HResultFromSystemError(kErrorFilenameTooLong)},
        {"refused token", u"", u"-d\uFF02x", u"SN42", kE_INVALIDARG},
        {"refused serial", u"", u"tok-1", u"a\uFF3Cb", kE_INVALIDARG},
        {"serial refused as it is read back", u"", u"tok-1", u"a b", static_cast<HResult>(0x8007000Du)},
        {"empty token", u"", u"", u"SN42", kE_INVALIDARG},
        {"empty serial", u"", u"tok-1", u"", kE_INVALIDARG},
        {"refused domain", u"a\uFF02b", u"tok-1", u"SN42", kE_INVALIDARG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        store("Token", c.token);
        store("Sn", c.sn);
        int32_t isErr = 0, isIcs = 0;
        std::optional<std::u16string> msg;
        const auto launches = processes_.Launches().size();
        EXPECT_EQ(DataPath().StartDataPath(c.domain, 0, isErr, 1033, msg, &isIcs), c.result);
        EXPECT_TRUE(processes_.IsRunning(engine));
        EXPECT_EQ(EngineId(), engine);
        EXPECT_EQ(processes_.Launches().size(), launches);
        EXPECT_EQ(isErr, 1);
        EXPECT_FALSE(Logged(u"-T  -S")) << "never a start with an empty value";
    }
}

TEST_F(CorvaneEngine, ConcurrentStartsLeaveOneEngine) {
    constexpr int kRounds = 40;
    auto starts = [this] {
        for (int i = 0; i < kRounds; ++i) {
            int32_t isErr = 0, isIcs = 0;
            std::optional<std::u16string> msg;
            (void)DataPath().StartDataPath(u"", 0, isErr, 1033, msg, &isIcs);
        }
    };
    std::thread a(starts), b(starts);
    a.join();
    b.join();
    int engines = 0;
    for (const auto& image : processes_.RunningImages())
        if (image == u"ferronwin.exe") ++engines;
    EXPECT_EQ(engines, 1);
}

// The engine belongs to the caller that started it: another standard caller (another session, or
// another user in the same session) may not stop, replace or reconfigure it, nor change its routes;
// an administrator and the owner may.
TEST_F(CorvaneEngine, AnotherSessionsCallerCannotTouchTheEngineOrItsRoutes) {
    const CallerIdentity owner{true, 1, u"S-1-5-21-1-2-3-1001", false};
    const CallerIdentity otherSession{true, 2, u"S-1-5-21-1-2-3-1002", false};
    const CallerIdentity otherUser{true, 1, u"S-1-5-21-1-2-3-1003", false};
    const CallerIdentity unknown{};
    const CallerIdentity admin{true, 3, u"S-1-5-21-1-2-3-500", true};
    CSimulatedNetwork network;
    network.SetAdapters({{u"Hal-Vane", 7, {}}});
    RouteRow gateway;
    gateway.nextHop = 0x0100000Au;
    gateway.interfaceIndex = 2;
    gateway.metric1 = 10;
    network.AppendRow(gateway);
    Start(owner);
    const uint32_t engine = EngineId();
    ASSERT_EQ(CRouteHelperLogic(network, store_, owner, &processes_).AddRouterToGW(u"20.1.2.3"), kS_OK);
    const auto rows = network.Rows().size();
    const std::string config = ReadAll(std::filesystem::path(folder_.Path()) / "cpeagent.conf");

    using Call = std::function<HResult(const CallerIdentity&)>;
    const std::pair<const char*, Call> calls[] = {
        {"StopDataPath",
         [&](const CallerIdentity& c) {
             std::optional<std::u16string> msg;
             return CControlHelperLogic(store_, processes_, sharing_, c).StopDataPath(msg);
         }},
        {"StartDataPath",
         [&](const CallerIdentity& c) {
             int32_t isErr = 0, isIcs = 0;
             std::optional<std::u16string> msg;
             return CControlHelperLogic(store_, processes_, sharing_, c).StartDataPath(u"", 0, isErr, 1033, msg, isIcs);
         }},
        {"SaveOrchConfigToFile",
         [&](const CallerIdentity& c) {
             return CControlHelperLogic(store_, processes_, sharing_, c)
                 .SaveOrchConfigToFile(u"evil", 9, 9, 9, u"tok-9", u"SN9", u"");
         }},
        {"SaveFilterConfigToFile",
         [&](const CallerIdentity& c) {
             return CControlHelperLogic(store_, processes_, sharing_, c).SaveFilterConfigToFile(u"{}");
         }},
        {"FixErrAuto",
         [&](const CallerIdentity& c) { return CControlHelperLogic(store_, processes_, sharing_, c).FixErrAuto(711); }},
        {"AddRouterToGW",
         [&](const CallerIdentity& c) { return CRouteHelperLogic(network, store_, c, &processes_).AddRouterToGW(u"30.1.2.3"); }},
        {"AddRoute",
         [&](const CallerIdentity& c) {
             return CRouteHelperLogic(network, store_, c, &processes_).AddRoute(u"", u"31.0.0.0/8", u"Hal-Vane", 1);
         }},
        {"RemoveRoute",
         [&](const CallerIdentity& c) { return CRouteHelperLogic(network, store_, c, &processes_).RemoveRoute(u"20.1.2.3"); }},
    };
    for (const CallerIdentity* caller : {&otherSession, &otherUser, &unknown}) {
        for (const auto& [name, call] : calls) {
            SCOPED_TRACE(testing::Message() << name << " by " << std::string(caller->user.begin(), caller->user.end()));
            log_.clear();
            const auto launches = processes_.Launches().size();
            EXPECT_EQ(call(*caller), kE_ACCESSDENIED);
            EXPECT_TRUE(Logged(u" refused: the ")) << "logged";
            EXPECT_TRUE(processes_.IsRunning(engine));
            EXPECT_EQ(EngineId(), engine);
            EXPECT_EQ(processes_.Launches().size(), launches);
            EXPECT_EQ(network.Rows().size(), rows);
            EXPECT_EQ(ReadAll(std::filesystem::path(folder_.Path()) / "cpeagent.conf"), config);
        }
    }
    // The owner's routes may go; an administrator may stop the engine.
    EXPECT_EQ(CRouteHelperLogic(network, store_, owner, &processes_).RemoveRoute(u"20.1.2.3"), kS_OK);
    EXPECT_EQ(network.Rows().size(), rows - 1);
    std::optional<std::u16string> msg;
    EXPECT_EQ(CControlHelperLogic(store_, processes_, sharing_, admin).StopDataPath(msg), kS_OK);
    EXPECT_FALSE(processes_.IsRunning(engine));
    // With no engine running, anyone may start one (and then owns it).
    Start(otherSession);
    EXPECT_EQ(CRouteHelperLogic(network, store_, otherSession, &processes_).AddRouterToGW(u"30.1.2.3"), kS_OK);
    EXPECT_EQ(CRouteHelperLogic(network, store_, owner, &processes_).AddRouterToGW(u"32.1.2.3"), kE_ACCESSDENIED);
}

TEST(CorvaneState, TextFormRoundTripsAndSkipsMalformedLines) {
    const std::optional<EngineRecord> engine = EngineRecord{1234, 133500000000000000ull, {true, 2, u"S-1-5-21-9", false}};
    const std::vector<RouteRecord> routes = {{0x0100000Au, 0xFFFFFFFFu, 0x0101A8C0u, 7, {false, 0, u"", false}}};
    const std::string text = FormatServiceState(engine, routes);
    std::optional<EngineRecord> readEngine;
    std::vector<RouteRecord> readRoutes;
    ParseServiceState(text + "engine x y\nroute 1 2 3\nroute 1 2 3 4 1 1 S-1\"x\nengine 5 0 0 0 -\n", readEngine,
                      readRoutes);
    ASSERT_TRUE(readEngine.has_value());
    EXPECT_EQ(readEngine->id, 1234u);
    EXPECT_EQ(readEngine->creationTime, 133500000000000000ull);
    EXPECT_EQ(readEngine->owner.user, u"S-1-5-21-9");
    EXPECT_EQ(readEngine->owner.session, 2u);
    ASSERT_EQ(readRoutes.size(), 1u);
    EXPECT_EQ(readRoutes[0].nextHop, 0x0101A8C0u);
    EXPECT_FALSE(readRoutes[0].owner.known);
}

}  // namespace
