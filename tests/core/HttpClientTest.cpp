// CHttpClient against the running cloud stand-in, over HTTP and HTTPS on loopback: what goes on the
// wire (through the stand-in's record), how answers come back (NUL cut, large bodies, raw headers), the
// file operations, and the transport error numbers of broken servers, bad URLs and bad certificates.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "core/HttpClient.h"
#include "core/Log.h"
#include "platform/Files.h"
#include "platform/Http.h"
#include "platform/Text.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"

namespace {

using velora::CHttpClient;
using velora::test::CCloudSimAccess;
using velora::test::CScratchFolder;

constexpr std::string_view kPostAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/75.0.3770.80 "
    "Safari/537.36";
constexpr std::string_view kSessionAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727)";

std::u16string U(std::string_view s) {
    return platform::Utf8ToUtf16(s);
}

std::string Base64(std::string_view in) {
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (const unsigned char c : in) {
        bits = (bits << 8) | c;
        count += 8;
        while (count >= 6) {
            count -= 6;
            out += table[(bits >> count) & 63];
        }
    }
    if (count > 0) out += table[(bits << (6 - count)) & 63];
    while (out.size() % 4) out += '=';
    return out;
}

std::string Hex(std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

struct HeaderLine {
    std::string name;
    std::string value;
};

std::vector<HeaderLine> ParseHeaderLines(const std::string& block) {
    std::vector<HeaderLine> lines;
    std::size_t start = 0;
    while (start < block.size()) {
        auto end = block.find("\r\n", start);
        if (end == std::string::npos) end = block.size();
        const std::string line = block.substr(start, end - start);
        const auto colon = line.find(':');
        if (colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            lines.push_back({line.substr(0, colon), value});
        }
        start = end + 2;
    }
    return lines;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Values of every header line with that name (any case), in order.
std::vector<std::string> Values(const std::vector<HeaderLine>& lines, std::string_view name) {
    std::vector<std::string> values;
    for (const auto& line : lines) {
        if (Lower(line.name) == Lower(std::string(name))) values.push_back(line.value);
    }
    return values;
}

// Header names the transport itself manages; everything else on a request was asked for by the caller
// or is the agent.
bool IsTransportHeader(const std::string& name) {
    static const char* names[] = {"host",   "content-length",  "connection",      "cache-control", "pragma",
                                  "accept", "accept-encoding", "accept-language", "cookie"};
    const std::string lower = Lower(name);
    return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return lower == n; });
}

std::string Answer200(const std::u16string& path, std::string_view body, std::string_view extraHeaders = "") {
    return "{\"path\":\"" + platform::Utf16ToUtf8(path) + "\",\"status\":200,\"bodyBase64\":\"" +
           Base64(body) + "\",\"headers\":{" + std::string(extraHeaders) + "}}";
}

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Open());
        ASSERT_TRUE(platform::TrustRootCertificateForTest(CCloudSimAccess::CaFile()));
    }
    CCloudSimAccess sim_;
};

class HttpClientSchemes : public HttpClientTest, public ::testing::WithParamInterface<const char*> {};

// The body leaves as UTF-8, the caller's header lines arrive once each, an existing name is never added
// twice, and the answer, its status and raw headers come back, over both schemes.
TEST_P(HttpClientSchemes, PostCarriesBodyAndHeadersAndReturnsAnswer) {
    const std::string listener = GetParam();
    const std::u16string path = CCloudSimAccess::UniquePath(u"post");
    const std::string answerBody = "{\"resultCode\":0,\"text\":\"\xE4\xBD\xA0\xE5\xA5\xBD\"}";
    sim_.Answer(U(Answer200(path, answerBody, "\"orch-logfile\":\"upload-now\"")));

    CHttpClient client;
    std::string answer = "stale";
    uint32_t status = 7;
    std::u16string raw = u"stale";
    const std::u16string body = u"{\"customerId\":\"客户 1\",\"password\":\"p&s=w\"}";
    const uint32_t error = client.PostText(sim_.Url(listener) + path + u"?q=1", body, answer, status, 1,
                                           u"sn:ABC-123", u"type:windows", u"Type:other", &raw);
    ASSERT_EQ(error, 0u);
    EXPECT_EQ(status, 200u);
    EXPECT_EQ(answer, answerBody);
    const std::string rawHeaders = platform::Utf16ToUtf8(raw);
    EXPECT_EQ(rawHeaders.rfind("HTTP/1.1 200", 0), 0u) << rawHeaders;
    EXPECT_NE(rawHeaders.find("orch-logfile: upload-now\r\n"), std::string::npos) << rawHeaders;

    EXPECT_EQ(sim_.Last(path, u"method"), "POST");
    EXPECT_EQ(sim_.Last(path, u"target"), platform::Utf16ToUtf8(path) + "?q=1");
    EXPECT_EQ(sim_.Last(path, u"tls"), listener.starts_with("https") ? "1" : "0");
    EXPECT_EQ(sim_.Last(path, u"bodyhex"), Hex(platform::Utf16ToUtf8(body)));
    const auto headers = ParseHeaderLines(sim_.Last(path, u"headers"));
    EXPECT_EQ(Values(headers, "Content-Type"), std::vector<std::string>{"application/json"});
    EXPECT_EQ(Values(headers, "sn"), std::vector<std::string>{"ABC-123"});
    EXPECT_EQ(Values(headers, "type"), std::vector<std::string>{"windows"})
        << "the first line of a name wins";
    std::vector<std::string> ours;
    for (const auto& h : headers) {
        if (!IsTransportHeader(h.name)) ours.push_back(Lower(h.name));
    }
    EXPECT_EQ(ours, (std::vector<std::string>{"user-agent", "content-type", "sn", "type"}))
        << "in the order added";
    const auto agents = Values(headers, "User-Agent");
    ASSERT_EQ(agents.size(), 1u);
    EXPECT_TRUE(agents[0] == kPostAgent || agents[0] == kSessionAgent) << agents[0];
}

INSTANTIATE_TEST_SUITE_P(Schemes, HttpClientSchemes, ::testing::Values("http", "https", "http6", "https6"));

// The caller's lines reach the wire in the one form WinINet gives them ("Name: value"), on every
// transport, so a check of the exact bytes holds on both builds.
TEST_F(HttpClientTest, ExtraLinesGoOutInOneFormOnEveryTransport) {
    const std::u16string path = CCloudSimAccess::UniquePath(u"exact");
    sim_.Answer(U(Answer200(path, "{}")));
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    ASSERT_EQ(client.PostText(sim_.Url("http") + path, u"{}", answer, status, 1, u"sn:ABC-123",
                              u"type:windows", u"X-KX-AUTH-HEADER:tok  1"),
              0u);
    const std::string headers = sim_.Last(path, u"headers");
    for (const char* line : {"\r\nsn: ABC-123\r\n", "\r\ntype: windows\r\n",
                             "\r\nX-KX-AUTH-HEADER: tok  1\r\n", "\r\nContent-Type: application/json\r\n"}) {
        EXPECT_NE(("\r\n" + headers).find(line), std::string::npos) << line << " in\n" << headers;
    }
}

// A status line followed by no header line is a whole answer: its status and the body up to the close.
TEST_F(HttpClientTest, StatusLineWithoutHeaderLinesIsAnAnswer) {
    for (const char* listener : {"http", "https"}) {
        SCOPED_TRACE(listener);
        const std::u16string path = CCloudSimAccess::UniquePath(u"bare");
        sim_.Fault(U("{\"path\":\"" + platform::Utf16ToUtf8(path) + "\",\"kind\":\"status-line-only\"}"));
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        EXPECT_EQ(client.PostText(sim_.Url(listener) + path, u"{}", answer, status, 1), 0u);
        EXPECT_EQ(status, 200u);
        EXPECT_EQ(answer, "hello");
    }
}

TEST_F(HttpClientTest, EmptyExtrasSendOnlyAgentAndFormContentType) {
    const std::u16string path = CCloudSimAccess::UniquePath(u"form");
    sim_.Answer(U(Answer200(path, "ok")));
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    ASSERT_EQ(client.PostText(sim_.Url("http") + path, u"customerId=c1&sn=s&model=windows", answer, status, 0,
                              u"", u"", u""),
              0u);
    EXPECT_EQ(status, 200u);
    std::vector<std::string> names;
    for (const auto& h : ParseHeaderLines(sim_.Last(path, u"headers"))) {
        if (!IsTransportHeader(h.name)) names.push_back(Lower(h.name));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"content-type", "user-agent"}));
    EXPECT_EQ(sim_.Last(path, u"header&name=Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(sim_.Last(path, u"body"), "customerId=c1&sn=s&model=windows");
}

// Answers are text: within each 1024-byte block, what follows a NUL is dropped, and the next block
// starts afresh. Binary downloads keep every byte.
TEST_F(HttpClientTest, TextAnswersAreCutAtNulWithinEachBlockDownloadsAreNot) {
    const std::u16string path = CCloudSimAccess::UniquePath(u"nul");
    std::string body(1000, 'A');
    body += std::string("\0", 1) + std::string(23, 'B');  // fills the first block exactly
    body += std::string(10, 'C') + std::string("\0", 1) + "DDDDD";
    sim_.Answer(U(Answer200(path, body)));

    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    ASSERT_EQ(client.GetText(sim_.Url("https") + path, answer, status), 0u);
    EXPECT_EQ(status, 200u);
    EXPECT_EQ(answer, std::string(1000, 'A') + std::string(10, 'C'));
    ASSERT_EQ(client.PostText(sim_.Url("http") + path, u"x", answer, status, 1), 0u);
    EXPECT_EQ(answer, std::string(1000, 'A') + std::string(10, 'C'));

    CScratchFolder scratch;
    const std::u16string file = scratch.Path(u"answer.bin");
    ASSERT_EQ(client.DownloadFile(sim_.Url("http") + path, file, status), 0u);
    EXPECT_EQ(status, 200u);
    std::string bytes;
    ASSERT_TRUE(platform::ReadWholeFile(file, bytes));
    EXPECT_EQ(bytes, body);
}

TEST_F(HttpClientTest, DownloadWritesOnlyOn200) {
    const std::u16string path = CCloudSimAccess::UniquePath(u"download");
    sim_.Answer(U("{\"path\":\"" + platform::Utf16ToUtf8(path) + "\",\"status\":404,\"body\":\"missing\"}"));
    CScratchFolder scratch;
    const std::u16string absent = scratch.Path(u"absent.bin");
    const std::u16string existing = scratch.Path(u"existing.bin");
    ASSERT_TRUE(platform::ReplaceFileContent(existing, "old", 3));

    CHttpClient client;
    uint32_t status = 0;
    EXPECT_EQ(client.DownloadFile(sim_.Url("https") + path, absent, status), 0u);
    EXPECT_EQ(status, 404u);
    EXPECT_FALSE(platform::FileExists(absent));
    EXPECT_EQ(client.DownloadFile(sim_.Url("http") + path, existing, status), 0u);
    std::string bytes;
    ASSERT_TRUE(platform::ReadWholeFile(existing, bytes));
    EXPECT_EQ(bytes, "old");

    // An empty 200 answer is an empty file; a folder that does not exist is the file system's error.
    sim_.Answer(U(Answer200(path, "")));
    EXPECT_EQ(client.DownloadFile(sim_.Url("http") + path, existing, status), 0u);
    ASSERT_TRUE(platform::ReadWholeFile(existing, bytes));
    EXPECT_EQ(bytes, "");
    const std::u16string inMissingFolder = scratch.Path(u"no-folder") + platform::kPathSeparator + u"f.bin";
    EXPECT_EQ(client.DownloadFile(sim_.Url("http") + path, inMissingFolder, status),
              3u);  // ERROR_PATH_NOT_FOUND
    EXPECT_EQ(status, 200u);
}

// A download cut short by the server reports the failure and leaves no partial file to be trusted.
TEST_F(HttpClientTest, DownloadCutShortLeavesNoFile) {
    const std::u16string path = CCloudSimAccess::UniquePath(u"cut");
    sim_.Fault(U("{\"path\":\"" + platform::Utf16ToUtf8(path) + "\",\"kind\":\"close-mid-answer\"}"));
    CScratchFolder scratch;
    const std::u16string file = scratch.Path(u"setup.exe");
    CHttpClient client;
    uint32_t status = 0;
    EXPECT_EQ(client.DownloadFile(sim_.Url("http") + path, file, status),
              platform::kHttpErrorConnectionAborted);
    EXPECT_FALSE(platform::FileExists(file));
}

TEST_F(HttpClientTest, PutStreamsTheZipFileWithItsHeaders) {
    const std::u16string path = CCloudSimAccess::UniquePath(u"put");
    sim_.Answer(U(Answer200(path, "{\"code\":0}")));
    CScratchFolder scratch;
    const std::u16string file = scratch.Path(u"windows_diagnosis.zip");
    std::string zip("PK\x03\x04", 4);
    for (int i = 0; i < 5000; ++i) zip += static_cast<char>(i * 7);  // NUL bytes included, > one block
    ASSERT_TRUE(platform::ReplaceFileContent(file, zip.data(), zip.size()));

    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    ASSERT_EQ(client.PutZipFile(sim_.Url("https") + path, file, answer, status), 0u);
    EXPECT_EQ(status, 200u);
    EXPECT_EQ(answer, "{\"code\":0}");
    EXPECT_EQ(sim_.Last(path, u"method"), "PUT");
    EXPECT_EQ(sim_.Last(path, u"bodyhex"), Hex(zip));
    EXPECT_EQ(sim_.Last(path, u"header&name=Content-Type"), "application/zip");
    EXPECT_EQ(sim_.Last(path, u"header&name=Content-Disposition"),
              "attachment; filename=\"windows_diagnosis.zip\"");
    EXPECT_EQ(sim_.Last(path, u"header&name=Content-Length"), std::to_string(zip.size()));
}

TEST_F(HttpClientTest, PutOfMissingFileSendsNothing) {
    const std::u16string path = CCloudSimAccess::UniquePath(u"putmissing");
    CScratchFolder scratch;
    CHttpClient client;
    std::string answer = "stale";
    uint32_t status = 9;
    EXPECT_EQ(client.PutZipFile(sim_.Url("http") + path, scratch.Path(u"none.zip"), answer, status),
              platform::kErrorFileNotFound);
    EXPECT_EQ(status, 0u);
    EXPECT_TRUE(answer.empty());
    EXPECT_EQ(sim_.Last(path, u"count"), "0");
}

TEST_F(HttpClientTest, HttpErrorStatusIsNotATransportFailure) {
    const std::u16string path = CCloudSimAccess::UniquePath(u"fail");
    sim_.Fault(U("{\"path\":\"" + platform::Utf16ToUtf8(path) +
                 "\",\"kind\":\"fail\",\"status\":401,"
                 "\"body\":\"{\\\"invalidReasonCode\\\":3}\"}"));
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    EXPECT_EQ(client.PostText(sim_.Url("http") + path, u"{}", answer, status, 1), 0u);
    EXPECT_EQ(status, 401u);
    EXPECT_EQ(answer, "{\"invalidReasonCode\":3}");
}

TEST_F(HttpClientTest, TwentyMegabyteAnswerArrivesWhole) {
    const std::u16string path = CCloudSimAccess::UniquePath(u"huge");
    sim_.Fault(U("{\"path\":\"" + platform::Utf16ToUtf8(path) + "\",\"kind\":\"huge-body\"}"));
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    ASSERT_EQ(client.GetText(sim_.Url("https") + path, answer, status), 0u);
    EXPECT_EQ(status, 200u);
    ASSERT_EQ(answer.size(), 20u * 1024 * 1024);
    EXPECT_EQ(answer.front(), 'a');
    EXPECT_EQ(answer.back(), 'z');
}

struct BrokenServerCase {
    const char* kind;
    uint32_t error;
    friend void PrintTo(const BrokenServerCase& c, std::ostream* os) { *os << c.kind; }
};

class HttpClientBrokenServers : public HttpClientTest,
                                public ::testing::WithParamInterface<BrokenServerCase> {};

// Each broken server gives the caller a transport error, never a success with a half answer. The
// receive time-out is shortened for the test only.
TEST_P(HttpClientBrokenServers, ReportTheTransportError) {
    const BrokenServerCase& c = GetParam();
    platform::SetHttpTimeoutsForTest(1500);
    for (const char* listener : {"http", "https"}) {
        SCOPED_TRACE(listener);
        const std::u16string path = CCloudSimAccess::UniquePath(U(c.kind));
        sim_.Answer(U(Answer200(path, "{\"never\":\"seen\"}")));
        sim_.Fault(U("{\"path\":\"" + platform::Utf16ToUtf8(path) + "\",\"kind\":\"" + c.kind + "\"}"));
        CHttpClient client;
        std::string answer;
        uint32_t status = 0;
        EXPECT_EQ(client.PostText(sim_.Url(listener) + path, u"{}", answer, status, 1), c.error);
        EXPECT_EQ(answer.find("seen"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, HttpClientBrokenServers,
    ::testing::Values(BrokenServerCase{"close-mid-answer", platform::kHttpErrorConnectionAborted},
                      BrokenServerCase{"drop", platform::kHttpErrorInvalidServerResponse},
                      BrokenServerCase{"no-status-line", platform::kHttpErrorInvalidServerResponse},
                      BrokenServerCase{"never-answer", platform::kHttpErrorTimeout}),
    [](const auto& info) {
        std::string name = info.param.kind;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

struct BadUrlCase {
    const char* name;
    const char* url;  // {port} is the plain listener's port
    uint32_t error;
    friend void PrintTo(const BadUrlCase& c, std::ostream* os) { *os << c.url; }
};

class HttpClientBadUrls : public HttpClientTest, public ::testing::WithParamInterface<BadUrlCase> {};

TEST_P(HttpClientBadUrls, FailWithoutSending) {
    const BadUrlCase& c = GetParam();
    std::u16string url = U(c.url);
    if (const auto at = url.find(u"{port}"); at != std::u16string::npos)
        url.replace(at, 6, sim_.Port("http"));
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    EXPECT_EQ(client.PostText(url, u"{}", answer, status, 1), c.error) << platform::Utf16ToUtf8(url);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(client.GetText(url, answer, status), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpClientBadUrls,
    ::testing::Values(
        BadUrlCase{"NoScheme", "127.0.0.1:{port}/t/x", platform::kHttpErrorUnrecognizedScheme},
        BadUrlCase{"PortAbove65535", "http://127.0.0.1:99999/t/x", platform::kHttpErrorInvalidUrl},
        BadUrlCase{"PortNotANumber", "http://127.0.0.1:8o/t/x", platform::kHttpErrorInvalidUrl},
        BadUrlCase{"NoHost", "http:///t/x", platform::kHttpErrorInvalidUrl},
        BadUrlCase{"ClosedPort", "http://127.0.0.1:1/t/x", platform::kHttpErrorCannotConnect},
        // A label longer than 63 bytes cannot be written into a DNS query, so the resolver
        // fails without asking any server: nothing leaves the machine.
        BadUrlCase{"NameNotResolved",
                   "http://velora-test-name-that-no-resolver-can-ask-for-because-its-label-is-too-"
                   "long.invalid:{port}/t/x",
                   platform::kHttpErrorNameNotResolved}),
    [](const auto& info) { return std::string(info.param.name); });

struct CertificateCase {
    const char* listener;
    uint32_t error;
    friend void PrintTo(const CertificateCase& c, std::ostream* os) { *os << c.listener; }
};

class HttpClientCertificates : public HttpClientTest,
                               public ::testing::WithParamInterface<CertificateCase> {};

// Only revocation problems are ignored: a server nobody vouches for, one whose certificate names another
// host and one whose certificate has expired are all refused before anything is sent.
TEST_P(HttpClientCertificates, AreRefused) {
    const CertificateCase& c = GetParam();
    const std::u16string path = CCloudSimAccess::UniquePath(u"cert");
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    EXPECT_EQ(client.PostText(sim_.Url(c.listener) + path, u"{\"secret\":1}", answer, status, 1), c.error);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(sim_.Last(path, u"count"), "0");
}

INSTANTIATE_TEST_SUITE_P(Cases, HttpClientCertificates,
                         ::testing::Values(CertificateCase{"self", platform::kHttpErrorCertificateAuthority},
                                           CertificateCase{"wrongname", platform::kHttpErrorCertificateName},
                                           CertificateCase{"expired", platform::kHttpErrorCertificateDate}),
                         [](const auto& info) { return std::string(info.param.listener); });

TEST_F(HttpClientTest, OneClientRunsSeveralExchangesOnItsSession) {
    const std::u16string path = CCloudSimAccess::UniquePath(u"reuse");
    sim_.Answer(U(Answer200(path, "again")));
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(client.PostText(sim_.Url(i % 2 ? "https" : "http") + path, u"x", answer, status, 1), 0u);
        EXPECT_EQ(answer, "again");
    }
    ASSERT_EQ(client.GetText(sim_.Url("http") + path, answer, status, u"X-KX-AUTH-HEADER:token-1"), 0u);
    EXPECT_EQ(sim_.Last(path, u"header&name=X-KX-AUTH-HEADER"), "token-1");
    EXPECT_EQ(sim_.Last(path, u"count"), "4");
}

// The stand-in serves a hundred clients at once without an error.
TEST_F(HttpClientTest, StandInServesHundredConcurrentClients) {
    const std::u16string path = CCloudSimAccess::UniquePath(u"many");
    sim_.Answer(U(Answer200(path, "{\"resultCode\":0}")));
    constexpr int kClients = 100;
    std::vector<uint32_t> errors(kClients, 1), statuses(kClients, 0);
    std::vector<std::thread> threads;
    const std::u16string url = sim_.Url("http") + path;
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
            CHttpClient client;
            std::string answer;
            errors[i] =
                client.PostText(url, u"{\"n\":" + U(std::to_string(i)) + u"}", answer, statuses[i], 1);
            if (answer != "{\"resultCode\":0}") statuses[i] = 0;
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < kClients; ++i) {
        EXPECT_EQ(errors[i], 0u) << i;
        EXPECT_EQ(statuses[i], 200u) << i;
    }
    EXPECT_EQ(sim_.Last(path, u"count"), std::to_string(kClients));
}

}  // namespace
