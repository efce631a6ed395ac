// The helper service's portable rules: argument checks, the result-code rule and texts, the service log
// format, and the methods' answers before their work lands.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "logic/ArgumentRules.h"
#include "logic/ControlHelperLogic.h"
#include "logic/FileServiceStore.h"
#include "logic/HResult.h"
#include "logic/RouteHelperLogic.h"
#include "logic/ServiceLog.h"
#include "logic/SimulatedNetwork.h"
#include "support/LogFiles.h"

using namespace corvane;

namespace {

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::u16string Units(std::size_t n, char16_t c = u'a') {
    return std::u16string(n, c);
}

// The service's folder: the files the methods write, and the registry parameters as files.
class CorvaneMethods : public testing::Test {
protected:
    bool NothingWritten() const {
        std::error_code ec;
        return std::filesystem::is_empty(std::filesystem::path(folder_.Path()), ec) && !ec;
    }
    velora::test::CScratchFolder folder_;
    CFileServiceStore store_{std::filesystem::path(folder_.Path())};
    CControlHelperLogic control{store_};
    CSimulatedNetwork network_;
    CRouteHelperLogic route_{network_, store_};
};

}  // namespace

TEST(CorvaneHresult, SystemErrorRule) {
    EXPECT_EQ(HResultFromSystemError(5), static_cast<HResult>(0x80070005));
    EXPECT_EQ(HResultFromSystemError(0x12345), static_cast<HResult>(0x80072345));  // low 16 bits only
    EXPECT_EQ(HResultFromSystemError(0), 0);
    EXPECT_EQ(HResultFromSystemError(-5), -5);
    EXPECT_EQ(HResultFromSystemError(static_cast<int32_t>(0x80004005)), static_cast<HResult>(0x80004005));
}

TEST(CorvaneHresult, TextStripsOneLineFeedThenOneCarriageReturn) {
    EXPECT_EQ(FormatHresultText(kE_ACCESSDENIED, u"Access is denied.\r\n"), u"Access is denied.");
    EXPECT_EQ(FormatHresultText(kE_ACCESSDENIED, u"Two\n\n"), u"Two\n");
    EXPECT_EQ(FormatHresultText(kE_ACCESSDENIED, u"Mid\rtext"), u"Mid\rtext");
}

TEST(CorvaneHresult, TextWithoutSystemMessage) {
    EXPECT_EQ(FormatHresultText(static_cast<HResult>(0x80040201), u""), u"IDispatch error #1");
    EXPECT_EQ(FormatHresultText(static_cast<HResult>(0x8004FFFF), u""), u"IDispatch error #65023");
    EXPECT_EQ(FormatHresultText(static_cast<HResult>(0x80040200), u""), u"Unknown error 0x80040200");
    EXPECT_EQ(FormatHresultText(static_cast<HResult>(0x80090011), u"\r\n"), u"Unknown error 0x80090011");
    EXPECT_EQ(HresultSuffix(kE_FAIL, u"Unspecified error"), u"(0x80004005): Unspecified error");
}

TEST(CorvaneHresult, TextFromTheInstalledSource) {
    EXPECT_EQ(HresultText(static_cast<HResult>(0x80040205)), u"IDispatch error #5");
    SetSystemMessageSource([](HResult) { return std::u16string(u"Access is denied.\r\n"); });
    EXPECT_EQ(HresultText(kE_ACCESSDENIED), u"Access is denied.");
    SetSystemMessageSource(nullptr);
}

TEST(CorvaneArguments, RulesTable) {
    struct Case {
        std::u16string text;
        bool singleLine, token, path;
    };
    const std::vector<Case> cases = {
        {u"", true, true, true},
        {u"vpn.example.test:443", true, true, true},
        {u"a,b,,c", true, true, true},
        {u"a\nb", false, false, false},
        {u"a\rb", false, false, false},
        {std::u16string(u"a\0b", 3), false, false, false},
        {u"a b", true, false, true},
        {u"a\tb", true, false, false},
        {u"-T x", true, false, true},
        {u"a\"b", true, false, false},
        {u"a'b", true, false, true},
        {u"a\x7f"
         u"b",
         true, false, false},
        {u"C:\\Program Files\\Velora\\x.log", true, false, true},
        {u"\u4e2d\u6587", true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text.size() << " units");
        EXPECT_EQ(IsSingleLineText(c.text), c.singleLine);
        EXPECT_EQ(IsCommandToken(c.text), c.token);
        EXPECT_EQ(IsPathText(c.text), c.path);
    }
}

TEST(CorvaneArguments, BufferLimitsCountTheTerminator) {
    EXPECT_EQ(CheckCommandToken(Units(259), kPathBufferUnits), kS_OK);
    EXPECT_EQ(CheckCommandToken(Units(260), kPathBufferUnits), kE_INVALIDARG);
    EXPECT_EQ(CheckSingleLine(Units(1023), kMessageBufferUnits), kS_OK);
    EXPECT_EQ(CheckSingleLine(Units(1024), kMessageBufferUnits), kE_INVALIDARG);
    EXPECT_EQ(CheckPath(Units(300), kPathBufferUnits), kE_INVALIDARG);
    EXPECT_EQ(CheckNoNull(Units(100000)), kS_OK);
}

TEST_F(CorvaneMethods, InjectionsAndOverlongTextsAreRefusedBeforeAnyWork) {
    const std::u16string big(100000, u'x');
    struct Case {
        const char* what;
        HResult result;
    };
    std::optional<std::u16string> msg;
    int32_t a = 7, b = 8;
    const Case cases[] = {
        {"config line injected through the server",
         control.SaveOrchConfigToFile(u"h\r\norchid=9", 1, 2, 3, u"t", u"s", u"")},
        {"config line injected through a backup server",
         control.SaveOrchConfigToFile(u"h", 1, 2, 3, u"t", u"s", u"b1,b2\ncommaddr=evil")},
        {"engine switch injected through the token",
         control.SaveOrchConfigToFile(u"h", 1, 2, 3, u"t -d x", u"s", u"")},
        {"quote in the serial", control.SaveOrchConfigToFile(u"h", 1, 2, 3, u"t", u"s\"", u"")},
        {"overlong server", control.SaveOrchConfigToFile(big, 1, 2, 3, u"t", u"s", u"")},
        {"overlong token", control.SaveOrchConfigToFile(u"h", 1, 2, 3, Units(300), u"s", u"")},
        {"null inside the filter", control.SaveFilterConfigToFile(std::u16string(u"a\0b", 3))},
        {"switch injected through the domain", control.StartDataPath(u"d -I 3", 0, a, 0, msg, b)},
        {"overlong domain", control.StartDataPath(Units(300), 0, a, 0, msg, b)},
        {"overlong output path", control.GetSystemInfo(u"C:\\x", Units(300))},
        {"quote in a log name", control.ProduceNsCtlLog(u"C:\\x", u"a\" & calc")},
        {"line break in a route", route_.AddRouterToGW(u"1.2.3.4\n5.6.7.8")},
        {"overlong interface name", route_.FindMinMetricInfOfDefaultGW(0, 0, Units(300), a)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, kE_INVALIDARG) << c.what;
    EXPECT_TRUE(NothingWritten());
    EXPECT_FALSE(msg.has_value());
    // Refusals hand back the failure values (IsErr 1, IsIcsEnable 0, Index -1), not what came in.
    EXPECT_EQ(a, -1);
    EXPECT_EQ(b, 0);
}

TEST_F(CorvaneMethods, ValidCallsReachTheirWork) {
    std::optional<std::u16string> msg;
    int32_t a = 0, b = 0;
    const std::filesystem::path folder(folder_.Path());
    EXPECT_EQ(control.SaveOrchConfigToFile(std::nullopt, 0, 0, 0, std::nullopt, std::nullopt, std::nullopt),
              kS_OK);
    EXPECT_EQ(ReadAll(folder / "cpeagent.conf"),
              "orchid=0\r\ncpeid=0\r\ncustomerid=0\r\ncommaddr=(null)\r\n");
    EXPECT_EQ(control.SaveOrchConfigToFile(u"10.0.0.1:443", 1, 2, 3, u"tok-123", u"SN42", u"b1,,b2,"), kS_OK);
    EXPECT_EQ(ReadAll(folder / "cpeagent.conf"),
              "orchid=1\r\ncpeid=2\r\ncustomerid=3\r\ncommaddr=10.0.0.1:443\r\nbakcommaddr=b1\r\n"
              "bakcommaddr=b2\r\n");
    EXPECT_EQ(ReadAll(folder / "Parameters" / "Sn"), std::string("S\0N\0"
                                                                 "4\0"
                                                                 "2\0"
                                                                 "\0\0",
                                                                 10));
    const std::u16string filter = u"line1\nline2\n" + std::u16string(100000, u'f');
    EXPECT_EQ(control.SaveFilterConfigToFile(filter), kS_OK);
    EXPECT_EQ(ReadAll(folder / "filterConfig.conf"),
              "line1\r\nline2\r\n" + std::string(100000, 'f') + "\r\n");
    EXPECT_EQ(control.StartDataPath(u"orch.example.test", 1, a, 2052, msg, b), kS_OK);
    EXPECT_EQ(control.StopDataPath(msg), kS_OK);
    // Not the client's diagnosis line: refused (CorvaneEngineTest covers what is accepted).
    EXPECT_EQ(control.GetSystemInfo(u"C:\\a b\\x.bat", u"C:\\out.txt"), kE_ACCESSDENIED);
    EXPECT_EQ(control.FixErrAuto(0xFFFFFFFFu), kS_OK);
    EXPECT_EQ(control.WifiSpotHotNotify(a, 1033, msg), kS_OK);
    EXPECT_EQ(control.ProduceNsCtlLog(u"C:\\logs", u"nsctl.log"), kE_ACCESSDENIED);
}

TEST(CorvaneServiceLog, LineFormat) {
    const LogTime t{2024, 3, 5, 14, 7, 9};
    EXPECT_EQ(ServiceLogLine(u"Data Path begin to start.", t),
              "2024-03-05 14:07:09 Data Path begin to start.\r\n");
    EXPECT_EQ(ServiceLogLine(u"a\nb", t), "2024-03-05 14:07:09 a\r\nb\r\n");
    EXPECT_EQ(ServiceLogLine(u"\u4e2d\U0001F600", t), "2024-03-05 14:07:09 \xE4\xB8\xAD\xF0\x9F\x98\x80\r\n");
    EXPECT_EQ(ServiceLogLine(std::u16string(1, char16_t(0xD800)), t), "2024-03-05 14:07:09 \xEF\xBF\xBD\r\n");
}

TEST(CorvaneServiceLog, ByteOrderMarkOnlyAtTheStartOfANewFile) {
    velora::test::CScratchFolder folder;
    const std::filesystem::path file = std::filesystem::path(folder.Path()) / u"service.log";
    const LogTime t{2025, 12, 31, 23, 59, 58};
    int error = 0;
    ASSERT_TRUE(AppendServiceLogLine(file, u"one", t, error));
    ASSERT_TRUE(AppendServiceLogLine(file, std::u16string(2000, u'w'), t, error));
    EXPECT_EQ(ReadAll(file),
              "\xEF\xBB\xBF"
              "2025-12-31 23:59:58 one\r\n2025-12-31 23:59:58 " +
                  std::string(2000, 'w') + "\r\n");
    EXPECT_FALSE(AppendServiceLogLine(std::filesystem::path(folder.Path()) / u"missing" / u"service.log",
                                      u"x", t, error));
    EXPECT_NE(error, 0);
}

TEST(CorvaneServiceLog, ConcurrentFirstWritersShareOneFileWithWholeLines) {
    velora::test::CScratchFolder folder;
    SetServiceLogFolder(folder.Path(u"\u65e5\u5fd7"));
    std::filesystem::create_directories(std::filesystem::path(folder.Path(u"\u65e5\u5fd7")));
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([] {
            for (int n = 0; n < 50; ++n) WriteServiceLog(u"line from a pool thread");
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(ServiceLogPath(), std::filesystem::path(folder.Path(u"\u65e5\u5fd7")) / u"service.log");
    const std::string bytes = ReadAll(ServiceLogPath());
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    std::size_t lines = 0;
    for (std::size_t at = 3; at < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(bytes.substr(at + 20, end - at - 20), "line from a pool thread");
        at = end + 2;
        ++lines;
    }
    EXPECT_EQ(lines, 200u);
}
