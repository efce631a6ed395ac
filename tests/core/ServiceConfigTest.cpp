// Corvane's engine configuration: exact file bytes and registry values for valid input, refusal of
// injected or overlong arguments with nothing written, the failure paths, and the credentials read back.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "logic/ConfigFiles.h"
#include "logic/FileServiceStore.h"

using namespace corvane;

namespace {

constexpr char16_t kModulePath[] = u"C:\\Program Files\\Velora2\\Corvane.exe";
constexpr char16_t kOrchPath[] = u"C:\\Program Files\\Velora2\\cpeagent.conf";
constexpr char16_t kFilterPath[] = u"C:\\Program Files\\Velora2\\filterConfig.conf";

// UTF-16 little-endian bytes of a registry text value, terminator included.
std::string RegText(std::u16string_view text, bool terminated = true) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    if (terminated) bytes.append(2, '\0');
    return bytes;
}

// A store in memory whose every step can be made to fail, and which records what was written.
class CMemoryStore : public CServiceStore {
public:
    std::u16string modulePath = kModulePath;
    uint32_t modulePathError = 0;
    std::map<std::u16string, std::string> files;
    std::map<std::u16string, int> openErrors;  // path -> error number of the failed open
    int writeError = 0;                        // fails after the open, leaving part of the bytes
    bool keyExists = false;
    uint32_t openKeyError = 0;
    std::map<std::u16string, std::string> values;
    std::map<std::u16string, uint32_t> setErrors;
    std::vector<std::u16string> log;
    int keysOpen = 0;

    uint32_t GetModulePath(std::u16string& path) override {
        path = modulePath;
        return modulePathError;
    }
    int WriteWholeFile(std::u16string_view path, std::string_view bytes, bool& openFailed) override {
        const std::u16string key(path);
        openFailed = openErrors.count(key) != 0;
        if (openFailed) return openErrors[key];
        if (writeError != 0) {
            files[key] = std::string(bytes.substr(0, bytes.size() / 2));
            return writeError;
        }
        files[key] = std::string(bytes);
        return 0;
    }
    int ReadWholeFile(std::u16string_view path, std::string& bytes) override {
        auto found = files.find(std::u16string(path));
        if (found == files.end()) return 2;
        bytes = found->second;
        return 0;
    }
    uint32_t OpenParameters(bool create, std::unique_ptr<CParameterKey>& key) override {
        if (openKeyError != 0) return openKeyError;
        if (!keyExists && !create) return kErrorFileNotFound;
        keyExists = true;
        key = std::make_unique<CKey>(*this);
        return 0;
    }
    uint32_t CreatePrivateFolder(std::u16string_view) override { return 0; }
    int RemoveFile(std::u16string_view path) override {
        files.erase(std::u16string(path));
        return 0;
    }
    void WriteLog(std::u16string_view message) override { log.emplace_back(message); }
    std::u16string DescribeHResult(HResult) override { return u"text"; }

private:
    class CKey : public CParameterKey {
    public:
        explicit CKey(CMemoryStore& store) : store_(store) { ++store_.keysOpen; }
        ~CKey() override { --store_.keysOpen; }
        uint32_t SetText(std::u16string_view name, std::u16string_view value) override {
            auto error = store_.setErrors.find(std::u16string(name));
            if (error != store_.setErrors.end()) return error->second;
            store_.values[std::u16string(name)] = RegText(value);
            return 0;
        }
        uint32_t GetData(std::u16string_view name, std::string& bytes) override {
            auto found = store_.values.find(std::u16string(name));
            if (found == store_.values.end()) return kErrorFileNotFound;
            bytes = found->second;
            return 0;
        }

    private:
        CMemoryStore& store_;
    };
};

// Owns its texts, so that a table of cases can build them in place.
using Text = std::optional<std::u16string>;
struct OrchArgs {
    Text commuServer = u"10.1.1.1:8443";
    int32_t orchId = 1;
    int32_t cpeId = 2;
    int32_t customerId = 3;
    Text token = u"tok-123";
    Text sn = u"SN0001";
    Text backServer = u"";
};

InText View(const Text& text) {
    return text ? InText(*text) : std::nullopt;
}

HResult SaveOrch(CServiceStore& store, const OrchArgs& a) {
    return SaveOrchConfigToFile(store, View(a.commuServer), a.orchId, a.cpeId, a.customerId, View(a.token),
                                View(a.sn), View(a.backServer));
}

// ---- Valid input gives exactly the files and values callers expect -------------------------------------

struct OrchCase {
    const char* name;
    OrchArgs args;
    std::string file;
};

TEST(ServiceConfig, OrchConfigFileIsExact) {
    const std::string head = "orchid=1\r\ncpeid=2\r\ncustomerid=3\r\n";
    const std::vector<OrchCase> cases = {
        {"plain", {}, head + "commaddr=10.1.1.1:8443\r\n"},
        {"backup list in order",
         {.backServer = u"b1.example:443,b2.example:443"},
         head + "commaddr=10.1.1.1:8443\r\nbakcommaddr=b1.example:443\r\nbakcommaddr=b2.example:443\r\n"},
        {"empty pieces give no line",
         {.backServer = u"a,,b,"},
         head + "commaddr=10.1.1.1:8443\r\nbakcommaddr=a\r\nbakcommaddr=b\r\n"},
        {"leading comma", {.backServer = u",a"}, head + "commaddr=10.1.1.1:8443\r\nbakcommaddr=a\r\n"},
        {"only commas", {.backServer = u",,,"}, head + "commaddr=10.1.1.1:8443\r\n"},
        {"blanks kept",
         {.backServer = u" a, b"},
         head + "commaddr=10.1.1.1:8443\r\nbakcommaddr= a\r\nbakcommaddr= b\r\n"},
        {"null backup list", {.backServer = std::nullopt}, head + "commaddr=10.1.1.1:8443\r\n"},
        {"null address", {.commuServer = std::nullopt}, head + "commaddr=(null)\r\n"},
        {"empty address", {.commuServer = u""}, head + "commaddr=\r\n"},
        {"percent signs", {.commuServer = u"%s%d%n"}, head + "commaddr=%s%d%n\r\n"},
        {"one-byte characters", {.commuServer = u"h\u00e9te"}, head + "commaddr=h\xe9te\r\n"},
        {"negative and extreme ids",
         {.orchId = -1, .cpeId = INT_MIN, .customerId = INT_MAX},
         "orchid=-1\r\ncpeid=-2147483648\r\ncustomerid=2147483647\r\ncommaddr=10.1.1.1:8443\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoryStore store;
        ASSERT_EQ(SaveOrch(store, c.args), kS_OK);
        ASSERT_EQ(store.files.size(), 1u);
        EXPECT_EQ(store.files[kOrchPath], c.file);
        const std::string logged =
            "CustomerId " + std::to_string(c.args.customerId) + " CpeId " + std::to_string(c.args.cpeId);
        ASSERT_FALSE(store.log.empty());
        EXPECT_EQ(store.log.front(), std::u16string(logged.begin(), logged.end()));
        EXPECT_EQ(store.keysOpen, 0);
    }
}

TEST(ServiceConfig, CredentialsStoredAsTextWithTerminator) {
    struct Case {
        Text token, sn;
        std::u16string storedToken, storedSn;
    };
    const std::vector<Case> cases = {
        {u"tok-123", u"SN0001", u"tok-123", u"SN0001"},
        {std::nullopt, std::nullopt, u"", u""},
        {u"", u"", u"", u""},
        {u"\u4e2d\u6587", u"x", u"\u4e2d\u6587", u"x"},  // the registry holds UTF-16, wide text is fine there
    };
    for (const auto& c : cases) {
        CMemoryStore store;
        ASSERT_EQ(SaveOrch(store, {.token = c.token, .sn = c.sn}), kS_OK);
        EXPECT_EQ(store.values[u"Token"], RegText(c.storedToken));
        EXPECT_EQ(store.values[u"Sn"], RegText(c.storedSn));
    }
}

TEST(ServiceConfig, FilterFileIsTheTextAndOneLineFeed) {
    struct Case {
        const char* name;
        InText content;
        std::string file;
    };
    const std::vector<Case> cases = {
        {"json", u"{\"ipSetMode\":1,\"whiteIpSet\":[\"10.0.0.0/8\"]}",
         "{\"ipSetMode\":1,\"whiteIpSet\":[\"10.0.0.0/8\"]}\r\n"},
        {"percent signs", u"%s %d %% %n", "%s %d %% %n\r\n"},
        {"line feeds become CR LF", u"a\nb", "a\r\nb\r\n"},
        {"a CR before the LF is kept as it came", u"a\r\nb", "a\r\r\nb\r\n"},
        {"empty", u"", "\r\n"},
        {"null", std::nullopt, "\r\n"},
        {"backslashes unchanged", u"\\n\\t", "\\n\\t\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoryStore store;
        ASSERT_EQ(SaveFilterConfigToFile(store, c.content), kS_OK);
        EXPECT_EQ(store.files[kFilterPath], c.file);
        EXPECT_TRUE(store.values.empty());
    }
}

TEST(ServiceConfig, LongFilterListIsWrittenWhole) {
    std::u16string content(100000, u'x');
    content[50000] = u'\n';
    CMemoryStore store;
    ASSERT_EQ(SaveFilterConfigToFile(store, content), kS_OK);
    EXPECT_EQ(store.files[kFilterPath].size(), 100000u + 3u);
}

// ---- Refused input: E_INVALIDARG and nothing written ----------------------------------------------------

struct RefusedCase {
    const char* name;
    OrchArgs args;
};

TEST(ServiceConfig, InjectedOrOverlongOrchArgumentsAreRefused) {
    const std::u16string nul(1, u'\0');
    const std::vector<RefusedCase> cases = {
        {"address with LF", {.commuServer = u"a\ncpeid=9"}},
        {"address with CR", {.commuServer = u"a\rb"}},
        {"address with NUL", {.commuServer = u"a" + nul + u"b"}},
        {"address of 260 units", {.commuServer = std::u16string(260, u'a')}},
        {"address of 100,000 units", {.commuServer = std::u16string(100000, u'a')}},
        {"address beyond one byte", {.commuServer = u"\u0100"}},
        {"backup with LF", {.backServer = u"a,b\norchid=7"}},
        {"backup with CR", {.backServer = u"a\r"}},
        {"backup with NUL", {.backServer = u"a," + nul}},
        {"backup of 1,024 units", {.backServer = std::u16string(1024, u'b')}},
        {"token with blank", {.token = u"tok -d evil"}},
        {"token with tab", {.token = u"tok\t-d"}},
        {"token with double quote", {.token = u"tok\""}},
        {"token with single quote", {.token = u"'tok'"}},
        {"token with LF", {.token = u"tok\n"}},
        {"token with NUL", {.token = u"tok" + nul}},
        {"token with DEL", {.token = u"tok\x7f"}},
        {"token with C1 control", {.token = u"tok\u0085"}},
        {"token with no-break space", {.token = u"tok\u00a0x"}},
        {"token with ideographic space", {.token = u"tok\u3000x"}},
        {"token of 260 units", {.token = std::u16string(260, u't')}},
        {"token of 100,000 units", {.token = std::u16string(100000, u't')}},
        {"sn with blank", {.sn = u"SN 1"}},
        {"sn with quote", {.sn = u"\"SN"}},
        {"sn with control", {.sn = u"SN\x1b"}},
        {"sn of 300 units", {.sn = std::u16string(300, u's')}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoryStore store;
        store.files[kOrchPath] = "old";
        store.keyExists = true;
        store.values[u"Token"] = RegText(u"old-token");
        ASSERT_EQ(SaveOrch(store, c.args), kE_INVALIDARG);
        EXPECT_EQ(store.files.size(), 1u);
        EXPECT_EQ(store.files[kOrchPath], "old");
        EXPECT_EQ(store.values.size(), 1u);
        EXPECT_EQ(store.values[u"Token"], RegText(u"old-token"));
        // The log names the argument but never carries the refused value.
        ASSERT_FALSE(store.log.empty());
        for (const auto& line : store.log) {
            EXPECT_EQ(line.find_first_of(u"\r\n"), std::u16string::npos);
            EXPECT_EQ(line.find(u"evil"), std::u16string::npos);
        }
    }
}

TEST(ServiceConfig, LongestAcceptedOrchArguments) {
    CMemoryStore store;
    const OrchArgs args{.commuServer = std::u16string(259, u'a'),
                        .token = std::u16string(259, u't'),
                        .sn = std::u16string(259, u's'),
                        .backServer = std::u16string(1023, u'b')};
    ASSERT_EQ(SaveOrch(store, args), kS_OK);
    EXPECT_EQ(store.values[u"Token"], RegText(std::u16string(259, u't')));
    EXPECT_NE(store.files[kOrchPath].find("bakcommaddr=" + std::string(1023, 'b') + "\r\n"),
              std::string::npos);
}

TEST(ServiceConfig, FilterContentThatCannotBeWrittenAsOneByteTextIsRefused) {
    const std::vector<std::u16string> cases = {
        std::u16string(u"a\0b", 3),
        u"\u4e2d",
        u"\xd83d\xde00",
        std::u16string(kMaxFilterUnits + 1, u'x'),
    };
    for (const auto& content : cases) {
        CMemoryStore store;
        store.files[kFilterPath] = "old";
        EXPECT_EQ(SaveFilterConfigToFile(store, content), kE_INVALIDARG);
        EXPECT_EQ(store.files[kFilterPath], "old");
    }
}

// ---- Failures of the file system and the registry --------------------------------------------------------

TEST(ServiceConfig, ModulePathFailures) {
    {
        CMemoryStore store;
        store.modulePathError = 5;
        EXPECT_EQ(SaveOrch(store, {}), static_cast<HResult>(0x80070005u));
        EXPECT_EQ(store.log.back(), u"Failed to call GetModuleFileName (0x80070005): text");
        EXPECT_EQ(SaveFilterConfigToFile(store, u"x"), static_cast<HResult>(0x80070005u));
        EXPECT_TRUE(store.files.empty());
        EXPECT_TRUE(store.values.empty());
    }
    {
        // No folder separator at all: only logged, as callers have always seen it.
        CMemoryStore store;
        store.modulePath = u"Corvane.exe";
        EXPECT_EQ(SaveOrch(store, {}), kS_OK);
        EXPECT_EQ(store.log.back(),
                  u"Can't find backslash from the result(Corvane.exe) of GetModuleFileName");
        EXPECT_EQ(SaveFilterConfigToFile(store, u"x"), kS_OK);
        EXPECT_TRUE(store.files.empty());
        EXPECT_TRUE(store.values.empty());
    }
    {
        // A module path that fills the whole 260-unit buffer was cut by the system.
        CMemoryStore store;
        store.modulePath = u"C:\\" + std::u16string(257, u'd');
        EXPECT_EQ(SaveOrch(store, {}), static_cast<HResult>(0x8007007Au));
        EXPECT_TRUE(store.files.empty());
    }
    {
        // The folder fits, the file name after it does not: refused rather than cut.
        CMemoryStore store;
        store.modulePath = u"C:\\" + std::u16string(243, u'd') + u"\\Corvane.exe";
        EXPECT_EQ(SaveOrch(store, {}), static_cast<HResult>(0x800700CEu));
        EXPECT_EQ(SaveFilterConfigToFile(store, u"x"), static_cast<HResult>(0x800700CEu));
        EXPECT_TRUE(store.files.empty());
        EXPECT_TRUE(store.values.empty());
    }
}

TEST(ServiceConfig, OrchFileThatCannotBeOpenedLeavesTheRegistryAlone) {
    CMemoryStore store;
    store.openErrors[kOrchPath] = 13;
    store.keyExists = true;
    store.values[u"Token"] = RegText(u"previous");
    EXPECT_EQ(SaveOrch(store, {}), kS_OK);
    EXPECT_EQ(store.log.back(),
              u"Can't open configuration file C:\\Program Files\\Velora2\\cpeagent.conf to write(13)");
    EXPECT_EQ(store.values.size(), 1u);
    EXPECT_EQ(store.values[u"Token"], RegText(u"previous"));
}

TEST(ServiceConfig, FilterFileThatCannotBeOpenedIsOnlyLogged) {
    CMemoryStore store;
    store.openErrors[kFilterPath] = 13;
    EXPECT_EQ(SaveFilterConfigToFile(store, u"x"), kS_OK);
    EXPECT_EQ(store.log.back(),
              u"Can't open configuration file C:\\Program Files\\Velora2\\filterConfig.conf to write");
}

TEST(ServiceConfig, FileCutShortIsAFailureAndStopsBeforeTheRegistry) {
    CMemoryStore store;
    store.writeError = 28;
    EXPECT_EQ(SaveOrch(store, {}), kE_FAIL);
    EXPECT_TRUE(store.values.empty());
    EXPECT_EQ(SaveFilterConfigToFile(store, u"x"), kE_FAIL);
}

TEST(ServiceConfig, RegistryFailuresKeepTheFileAndStopAtTheFailingValue) {
    {
        CMemoryStore store;
        store.openKeyError = 5;
        EXPECT_EQ(SaveOrch(store, {}), static_cast<HResult>(0x80070005u));
        EXPECT_EQ(store.log.back(), u"Can't open registry to write (0x80070005): text");
        EXPECT_EQ(store.files.count(kOrchPath), 1u);
    }
    {
        CMemoryStore store;
        store.setErrors[u"Token"] = 1018;
        EXPECT_EQ(SaveOrch(store, {}), static_cast<HResult>(0x800703FAu));
        EXPECT_EQ(store.log.back(), u"Can't open registry to write token(0x800703fa): text");
        EXPECT_TRUE(store.values.empty());  // "Sn" is not written after a failed "Token"
        EXPECT_EQ(store.keysOpen, 0);
    }
    {
        CMemoryStore store;
        store.setErrors[u"Sn"] = 5;
        EXPECT_EQ(SaveOrch(store, {}), static_cast<HResult>(0x80070005u));
        EXPECT_EQ(store.log.back(), u"Can't open registry to write sn(0x80070005): text");
        EXPECT_EQ(store.values.count(u"Token"), 1u);
        EXPECT_EQ(store.files.count(kOrchPath), 1u);
        EXPECT_EQ(store.keysOpen, 0);
    }
}

// ---- Credentials read back for the engine start
// ------------------------------------------------------------

TEST(ServiceConfig, CredentialsRoundTripUpTo127Units) {
    CMemoryStore store;
    const std::u16string token(127, u't');
    ASSERT_EQ(SaveOrch(store, {.token = token, .sn = u"SN0001"}), kS_OK);
    EngineCredentials credentials;
    std::u16string message;
    ASSERT_EQ(ReadEngineCredentials(store, credentials, message), kS_OK);
    EXPECT_EQ(credentials.token, token);
    EXPECT_EQ(credentials.sn, u"SN0001");
    EXPECT_TRUE(message.empty());
    EXPECT_EQ(store.keysOpen, 0);
}

TEST(ServiceConfig, CredentialReadFailures) {
    struct Case {
        const char* name;
        bool keyExists;
        std::map<std::u16string, std::string> values;
        HResult result;
        std::u16string clientMessage;
    };
    const std::string sn = RegText(u"SN0001");
    const std::vector<Case> cases = {
        {"no key", false, {}, static_cast<HResult>(0x80070002u), u"Can't open registry to read"},
        {"no token",
         true,
         {{u"Sn", sn}},
         static_cast<HResult>(0x80070002u),
         u"Can't open registry to read token"},
        {"no sn",
         true,
         {{u"Token", RegText(u"t")}},
         static_cast<HResult>(0x80070002u),
         u"Can't open registry to read sn"},
        {"token of 128 units",
         true,
         {{u"Token", RegText(std::u16string(128, u't'))}, {u"Sn", sn}},
         static_cast<HResult>(0x800700EAu),
         u"Can't open registry to read token"},
        {"unterminated token filling 256 bytes",
         true,
         {{u"Token", RegText(std::u16string(128, u't'), false)}, {u"Sn", sn}},
         static_cast<HResult>(0x800700EAu),
         u"Can't open registry to read token"},
        {"odd byte count",
         true,
         {{u"Token", std::string("abc")}, {u"Sn", sn}},
         static_cast<HResult>(0x8007000Du),
         u"Can't open registry to read token"},
        {"token that would add a switch",
         true,
         {{u"Token", RegText(u"t -d evil")}, {u"Sn", sn}},
         static_cast<HResult>(0x8007000Du),
         u"Can't open registry to read token"},
        {"sn with a quote",
         true,
         {{u"Token", RegText(u"t")}, {u"Sn", RegText(u"S\"N")}},
         static_cast<HResult>(0x8007000Du),
         u"Can't open registry to read sn"},
        {"sn of 128 units",
         true,
         {{u"Token", RegText(u"t")}, {u"Sn", RegText(std::u16string(128, u's'))}},
         static_cast<HResult>(0x800700EAu),
         u"Can't open registry to read sn"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoryStore store;
        store.keyExists = c.keyExists;
        store.values = c.values;
        EngineCredentials credentials{u"before", u"before"};
        std::u16string message;
        EXPECT_EQ(ReadEngineCredentials(store, credentials, message), c.result);
        EXPECT_EQ(message, c.clientMessage);
        EXPECT_EQ(credentials.token, u"before");
        EXPECT_EQ(store.keysOpen, 0);
        ASSERT_FALSE(store.log.empty());
        EXPECT_EQ(store.log.back().rfind(c.clientMessage + u"(0x", 0), 0u);
    }
}

TEST(ServiceConfig, CredentialEndsAtItsFirstNull) {
    CMemoryStore store;
    store.keyExists = true;
    store.values[u"Token"] = RegText(u"tok") + RegText(u"junk");
    store.values[u"Sn"] = RegText(u"SN");
    EngineCredentials credentials;
    std::u16string message;
    ASSERT_EQ(ReadEngineCredentials(store, credentials, message), kS_OK);
    EXPECT_EQ(credentials.token, u"tok");
}

TEST(ServiceConfig, HResultRule) {
    EXPECT_EQ(HResultFromSystemError(5), static_cast<HResult>(0x80070005u));
    EXPECT_EQ(HResultFromSystemError(0x12345), static_cast<HResult>(0x80072345u));
    EXPECT_EQ(HResultFromSystemError(0), 0);
    EXPECT_EQ(HResultFromSystemError(0x80004005u), static_cast<HResult>(0x80004005u));
    EXPECT_EQ(FallbackHResultText(static_cast<HResult>(0x80040201u)), u"IDispatch error #1");
    EXPECT_EQ(FallbackHResultText(static_cast<HResult>(0x80070005u)), u"Unknown error 0x80070005");
    EXPECT_EQ(FallbackHResultText(0x12), u"Unknown error 0x12");
}

// ---- The store under a folder, on the real file system ----------------------------------------------------

class FileServiceStoreTest : public testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        folder_ = std::filesystem::temp_directory_path() / ("corvane-store-" + std::to_string(random()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string ReadDisk(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::path folder_;
};

TEST_F(FileServiceStoreTest, WritesTheFilesAndParametersBesideTheModule) {
    std::vector<std::u16string> log;
    CFileServiceStore store(folder_, u"Corvane.exe",
                            [&](std::u16string_view line) { log.emplace_back(line); });
    ASSERT_EQ(SaveOrchConfigToFile(store, u"10.1.1.1:8443", 7, -1, 42, u"tok", u"SN1", u"a,,b"), kS_OK);
    ASSERT_EQ(SaveFilterConfigToFile(store, u"{\"ipSetMode\":1}"), kS_OK);
    EXPECT_EQ(ReadDisk(folder_ / "cpeagent.conf"),
              "orchid=7\r\ncpeid=-1\r\ncustomerid=42\r\ncommaddr=10.1.1.1:8443\r\nbakcommaddr="
              "a\r\nbakcommaddr=b\r\n");
    EXPECT_EQ(ReadDisk(folder_ / "filterConfig.conf"), "{\"ipSetMode\":1}\r\n");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], u"CustomerId 42 CpeId -1");

    // A second write replaces the whole file.
    ASSERT_EQ(SaveFilterConfigToFile(store, u"x"), kS_OK);
    EXPECT_EQ(ReadDisk(folder_ / "filterConfig.conf"), "x\r\n");

    EngineCredentials credentials;
    std::u16string message;
    ASSERT_EQ(ReadEngineCredentials(store, credentials, message), kS_OK);
    EXPECT_EQ(credentials.token, u"tok");
    EXPECT_EQ(credentials.sn, u"SN1");

    std::string bytes;
    ASSERT_EQ(store.ReadWholeFile((folder_ / "cpeagent.conf").u16string(), bytes), 0);
    EXPECT_EQ(bytes.substr(0, 10), "orchid=7\r\n");
}

TEST_F(FileServiceStoreTest, NoParametersYet) {
    CFileServiceStore store(folder_);
    EngineCredentials credentials;
    std::u16string message;
    EXPECT_EQ(ReadEngineCredentials(store, credentials, message), static_cast<HResult>(0x80070002u));
    EXPECT_EQ(message, u"Can't open registry to read");
}

TEST_F(FileServiceStoreTest, FolderThatDoesNotExistCannotBeWritten) {
    std::vector<std::u16string> log;
    CFileServiceStore store(folder_ / "missing", u"Corvane.exe",
                            [&](std::u16string_view line) { log.emplace_back(line); });
    EXPECT_EQ(SaveFilterConfigToFile(store, u"x"), kS_OK);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind(u"Can't open configuration file ", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "missing"));
}

}  // namespace
