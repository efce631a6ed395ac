// The diagnosis run's files: the connection summary, the ping log (UTF-16 with its FF FE 00 00 start), the
// bundle's entries and their order, the masked copy of the client log, the clean-up, and the ping targets
// read from the settings (every test pings loopback only).
#include <gtest/gtest.h>

#include <algorithm>

#include "core/Settings.h"
#include "diagnosis/Diagnosis.h"
#include "platform/Files.h"
#include "platform/ProfileStore.h"
#include "platform/Text.h"
#include "support/LogFiles.h"
#include "support/ZipEntries.h"

namespace {

using namespace velora;
using velora::test::CLogCapture;
using velora::test::CScratchFolder;
using velora::test::FromUtf16Le;
using velora::test::ReadBytes;
using velora::test::Utf16Le;
using velora::test::WriteBytes;

// A host name no resolver puts into a query (a label over 63 bytes): it fails without leaving the machine.
const std::u16string kUnresolvable = std::u16string(70, u'x') + u".test";

class DiagnosisTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::ClearProfileForTest());
        SetSettingText(u"DiagnosisPingTargets", u"127.0.0.1, localhost");
        folders_.diagnosis = scratch_.Path(u"diagnosis");
        folders_.program = scratch_.Path(u"program") + platform::kPathSeparator;
        ASSERT_TRUE(platform::CreateOneDirectory(folders_.diagnosis));
        ASSERT_TRUE(platform::CreateOneDirectory(scratch_.Path(u"program")));
    }
    void TearDown() override { platform::ClearProfileForTest(); }

    std::u16string InDiagnosis(std::u16string_view name) const {
        return folders_.diagnosis + platform::kPathSeparator + std::u16string(name);
    }
    std::u16string InProgram(std::u16string_view name) const {
        return folders_.program + std::u16string(name);
    }

    CLogCapture log_;
    CScratchFolder scratch_;
    DiagnosisFolders folders_;
};

TEST_F(DiagnosisTest, ConnectionSummaryByStateAndMode) {
    struct Case {
        const char* name;
        bool connected;
        uint32_t mode;
        std::u16string gateway;
        std::u16string expected;
        bool capture;
    };
    const Case cases[] = {
        {"not connected", false, NATIVE, u"10.0.0.1", u"Connection Status: Not connected\n", false},
        {"native", true, NATIVE, u"10.0.0.1", u"Connection Mode : NATIVE\nConnection Status: Connected\n",
         true},
        {"vcpe without gateway", true, VCPE, u"",
         u"Connection Mode : VCPE\nConnection Status: Connected\nServer IP:", false},
        {"dcpe", true, DCPE, u"10.9.8.7",
         u"Connection Mode : DCPE\nConnection Status: Connected\nServer IP:10.9.8.7\n", false},
        {"other mode", true, MOBILE_DETECT, u"", u"\nConnection Status: Connected\nServer IP:", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetSetting(u"GatewayIp", c.gateway);
        platform::DeleteOneFile(InDiagnosis(u"connection.log"));
        EXPECT_EQ(WriteConnectionSummary(folders_, c.connected, c.mode), c.capture);
        EXPECT_EQ(ReadBytes(InDiagnosis(u"connection.log")), Utf16Le(c.expected))
            << "UTF-16, no byte-order mark";
    }
    // Appended to, as the run relies on its clean-up to start afresh.
    EXPECT_TRUE(WriteConnectionSummary(folders_, true, NATIVE));
    EXPECT_EQ(FromUtf16Le(ReadBytes(InDiagnosis(u"connection.log"))),
              u"\nConnection Status: Connected\nServer IP:Connection Mode : NATIVE\nConnection Status: "
              u"Connected\n");
}

TEST_F(DiagnosisTest, NetworkLogPingsTheConfiguredLoopbackTargets) {
    RunNetworkTests(folders_);
    EXPECT_TRUE(NetworkReachable());
    const std::string bytes = ReadBytes(InDiagnosis(u"network.log"));
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE\x00\x00", 4));
    const std::u16string text = FromUtf16Le(bytes, 4);
    const std::u16string byAddress = u"\nPinging 127.0.0.1 with 32 bytes of data:\n";
    const std::u16string byName = u"\nPinging localhost [127.0.0.1] with 32 bytes of data:\n";
    ASSERT_EQ(text.rfind(byAddress, 0), 0u) << platform::Utf16ToUtf8(text);
    const std::size_t second = text.find(byName);
    ASSERT_NE(second, std::u16string::npos) << platform::Utf16ToUtf8(text);
    // Three replies per target, each line "Reply from 127.0.0.1: bytes=32 time=N ms".
    for (const std::u16string& block :
         {text.substr(byAddress.size(), second - byAddress.size()), text.substr(second + byName.size())}) {
        std::size_t count = 0;
        std::size_t at = 0;
        while (at < block.size()) {
            const std::size_t end = block.find(u'\n', at);
            ASSERT_NE(end, std::u16string::npos);
            const std::u16string line = block.substr(at, end - at);
            EXPECT_EQ(line.rfind(u"Reply from 127.0.0.1: bytes=32 time=", 0), 0u)
                << platform::Utf16ToUtf8(line);
            EXPECT_EQ(line.substr(line.size() - 3), u" ms");
            ++count;
            at = end + 1;
        }
        EXPECT_EQ(count, 3u);
    }
}

TEST_F(DiagnosisTest, PingFailuresAreWrittenIntoTheLog) {
    struct Case {
        std::u16string target;
        bool resolve;
        std::u16string expected;
    };
    const Case cases[] = {
        {kUnresolvable, true, u"\nCan not resolve domain " + kUnresolvable + u"\n"},
        {u"0.0.0.0", false, u"\nInvalid IP addr 0.0.0.0 in diagnosis\n"},
        {u"not-an-address", false, u"\nInvalid IP addr not-an-address in diagnosis\n"},
    };
    const std::u16string path = InDiagnosis(u"network.log");
    std::u16string expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::Utf16ToUtf8(c.target));
        EXPECT_FALSE(PingTarget(c.target, c.resolve, path));
        expected += c.expected;
    }
    EXPECT_EQ(ReadBytes(path), std::string("\xFF\xFE\x00\x00", 4) + Utf16Le(expected))
        << "one start, then blocks";
    // A log that cannot be opened: nothing pinged, false.
    EXPECT_FALSE(PingTarget(u"127.0.0.1", false, scratch_.Path(u"no-such-folder") + u"/network.log"));
}

TEST_F(DiagnosisTest, PingTargetsComeFromTheSettingWithProductDefaults) {
    SetSettingText(u"DiagnosisPingTargets", u" 127.0.0.1 ,localhost,, ::1x ");
    std::vector<DiagnosisPingTarget> targets = DiagnosisPingTargets();
    ASSERT_EQ(targets.size(), 3u);
    EXPECT_EQ(targets[0].target, u"127.0.0.1");
    EXPECT_FALSE(targets[0].resolve);
    EXPECT_EQ(targets[1].target, u"localhost");
    EXPECT_TRUE(targets[1].resolve);
    EXPECT_TRUE(targets[2].resolve);
    // Without the setting: the product's four targets, addresses as they are and names resolved.
    SetSettingText(u"DiagnosisPingTargets", u"");
    targets = DiagnosisPingTargets();
    ASSERT_EQ(targets.size(), 4u);
    EXPECT_EQ(targets[0].target, u"114.114.114.114");
    EXPECT_FALSE(targets[0].resolve);
    EXPECT_TRUE(targets[1].resolve);
    EXPECT_TRUE(targets[2].resolve);
    EXPECT_EQ(targets[3].target, u"8.8.8.8");
    EXPECT_FALSE(targets[3].resolve);
}

TEST_F(DiagnosisTest, BundleHoldsTheFilesInOrderWithTheClientLogMasked) {
    SetSetting(u"AuthToken", u"tok-SECRET-123456");
    SetSetting(u"Password", u"pw-Secret!");
    // Files the tools and this run leave in the diagnosis folder.
    for (std::u16string_view name :
         {u"nsctl.log", u"dispatch.log", u"network.log", u"connection.log", u"device.log"})
        WriteBytes(InDiagnosis(name), "content of " + platform::Utf16ToUtf8(name));
    // The engine's files beside the program, two dumps and a capture.
    for (std::u16string_view name : {u"kxconn.log", u"cpeagent.log.2", u"service.log"})
        WriteBytes(InProgram(name), "engine " + platform::Utf16ToUtf8(name));
    WriteBytes(InProgram(u"first.dmp"), "dump one");
    WriteBytes(InProgram(u"second.dmp"), "dump two");
    std::u16string capture = folders_.program;
    for (std::u16string_view part : {u"brenx", u"log", u"0"}) {
        capture += part;
        ASSERT_TRUE(platform::CreateOneDirectory(capture));
        capture += platform::kPathSeparator;
    }
    WriteBytes(capture + u"wan0.pcap", "pcap bytes");
    // The client log holds the secrets, as values and as the values of known keys.
    const std::string clientLog =
        velora::test::kLogHeader + Utf16Le(
                                       u"2026-12-10 10:00:00 [INFO] token tok-SECRET-123456 and pw-Secret!\n"
                                       u"2026-12-10 10:00:01 answer {\"psk\":\"psk-value\",\"x\":1}\n"
                                       u"2026-12-10 10:00:02 header X-KX-AUTH-HEADER:other-token\n");
    WriteBytes(LogFilePath(), clientLog);

    std::vector<std::u16string> dumps;
    ASSERT_TRUE(platform::FindFileNames(folders_.program, u"*.dmp", dumps));
    ASSERT_EQ(dumps.size(), 2u);
    const std::string lastDump = ReadBytes(InProgram(dumps.back()));

    for (const bool withCapture : {true, false}) {
        SCOPED_TRACE(withCapture ? "capture" : "no capture");
        BuildDiagnosisZip(folders_, withCapture);
        std::vector<velora::test::ZipEntry> entries;
        ASSERT_TRUE(velora::test::ReadZipEntries(ReadBytes(InDiagnosis(kDiagnosisZipName)), entries));
        std::vector<std::string> names;
        for (const auto& entry : entries) names.push_back(entry.name);
        std::vector<std::string> expected = {
            "diagnosis/device.log",   "diagnosis/connection.log", "diagnosis/network.log",
            "diagnosis/kxconn.log",   "diagnosis/cpeagent.log.2", "diagnosis/service.log",
            "diagnosis/dispatch.log", "diagnosis/ferronwin.dmp",  "diagnosis/wan0.pcap",
            "diagnosis/nsctl.log",    "diagnosis/ui.log"};
        if (!withCapture) {
            // The capture copied by the first build is still in the folder (the clean-up removes it).
            platform::DeleteOneFile(InDiagnosis(u"wan0.pcap"));
            BuildDiagnosisZip(folders_, false);
            ASSERT_TRUE(velora::test::ReadZipEntries(ReadBytes(InDiagnosis(kDiagnosisZipName)), entries));
            names.clear();
            for (const auto& entry : entries) names.push_back(entry.name);
            expected.erase(std::find(expected.begin(), expected.end(), "diagnosis/wan0.pcap"));
        }
        EXPECT_EQ(names, expected);
        for (const auto& entry : entries) {
            EXPECT_TRUE(entry.crcMatches) << entry.name;
            if (entry.name == "diagnosis/ferronwin.dmp") {
                EXPECT_EQ(entry.data, lastDump) << "the last match wins";
            }
            if (entry.name == "diagnosis/kxconn.log") {
                EXPECT_EQ(entry.data, "engine kxconn.log");
            }
            if (entry.name != "diagnosis/ui.log") continue;
            const std::string ui = platform::Utf16ToUtf8(FromUtf16Le(entry.data, 4));  // after FF FE 00 00
            ASSERT_NE(ui.find("[INFO] token"), std::string::npos) << ui;
            for (const char* secret : {"tok-SECRET-123456", "pw-Secret!", "psk-value", "other-token"})
                EXPECT_EQ(ui.find(secret), std::string::npos) << secret << " in " << ui;
            EXPECT_NE(ui.find("answer {\"psk\":\"***\",\"x\":1}"), std::string::npos) << ui;
            EXPECT_EQ(entry.data.substr(0, 2), "\xFF\xFE");
        }
        EXPECT_FALSE(platform::FileExists(InDiagnosis(u"ui.log")))
            << "the copy is deleted once in the bundle";
    }

    CleanDiagnosisFiles(folders_);
    for (std::u16string_view name :
         {u"device.log", u"connection.log", u"network.log", u"kxconn.log", u"cpeagent.log.2", u"service.log",
          u"dispatch.log", u"ferronwin.dmp", u"nsctl.log"})
        EXPECT_FALSE(platform::FileExists(InDiagnosis(name))) << platform::Utf16ToUtf8(name);
    EXPECT_TRUE(platform::FileExists(InDiagnosis(kDiagnosisZipName)))
        << "the bundle stays for a later upload";
}

TEST_F(DiagnosisTest, BundleThatCannotBeCreatedIsLogged) {
    DiagnosisFolders missing = folders_;
    missing.diagnosis = scratch_.Path(u"no-such-folder");
    BuildDiagnosisZip(missing, false);
    EXPECT_FALSE(platform::FileExists(missing.diagnosis));
    EXPECT_NE(log_.Text().find("Failed to create the diagnosis bundle"), std::string::npos) << log_.Text();
}

}  // namespace
