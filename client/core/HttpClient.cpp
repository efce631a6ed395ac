// CHttpClient over the platform's HTTP session: the header rules of each operation and the log lines
// of a failed download.
#include "core/HttpClient.h"

#include <vector>

#include "core/Log.h"
#include "core/TextHelpers.h"
#include "platform/Http.h"

namespace velora {
namespace {

void AddIfNotEmpty(std::vector<std::u16string>& lines, std::u16string_view line) {
    if (!line.empty()) lines.emplace_back(line);
}

}  // namespace

CHttpClient::CHttpClient() : session_(std::make_unique<platform::CHttpSession>(kHttpSessionAgent)) {}

CHttpClient::~CHttpClient() {
    CloseRequest();
    session_.reset();
}

void CHttpClient::CloseRequest() {
    session_->CloseRequest();
}

uint32_t CHttpClient::PostText(std::u16string_view url, std::u16string_view body, std::string& answer,
                               uint32_t& status, int json, std::u16string_view extra1,
                               std::u16string_view extra2, std::u16string_view extra3,
                               std::u16string* rawHeaders) {
    std::vector<std::u16string> lines;
    for (const std::u16string_view line : {extra1, extra2, extra3}) AddIfNotEmpty(lines, line);
    return PostLines(url, body, answer, status, json, lines, rawHeaders);
}

uint32_t CHttpClient::PostLines(std::u16string_view url, std::u16string_view body, std::string& answer,
                                uint32_t& status, int json, const std::vector<std::u16string>& lines,
                                std::u16string* rawHeaders) {
    answer.clear();
    status = 0;
    if (rawHeaders) rawHeaders->clear();
    const std::string utf8 = Utf16ToUtf8(body);
    platform::HttpExchange exchange;
    exchange.method = u"POST";
    exchange.url = url;
    exchange.body = utf8;
    exchange.headerLines.emplace_back(kPostUserAgentHeader);
    exchange.headerLines.emplace_back(json ? kJsonContentTypeHeader : kFormContentTypeHeader);
    for (const std::u16string& line : lines) AddIfNotEmpty(exchange.headerLines, line);
    exchange.wantRawHeaders = rawHeaders != nullptr;
    platform::HttpAnswer result;
    session_->Exchange(exchange, result);
    answer = std::move(result.body);
    status = result.status;
    if (rawHeaders && result.error == 0) *rawHeaders = std::move(result.rawHeaders);
    CloseRequest();
    return result.error;
}

uint32_t CHttpClient::GetText(std::u16string_view url, std::string& answer, uint32_t& status,
                              std::u16string_view extra) {
    answer.clear();
    status = 0;
    platform::HttpExchange exchange;
    exchange.method = u"GET";
    exchange.url = url;
    AddIfNotEmpty(exchange.headerLines, extra);
    platform::HttpAnswer result;
    session_->Exchange(exchange, result);
    answer = std::move(result.body);
    status = result.status;
    CloseRequest();
    return result.error;
}

uint32_t CHttpClient::DownloadFile(std::u16string_view url, std::u16string_view path, uint32_t& status) {
    status = 0;
    platform::HttpExchange exchange;
    exchange.method = u"GET";
    exchange.url = url;
    exchange.textAnswer = false;
    exchange.downloadFile = path;
    platform::HttpAnswer result;
    session_->Exchange(exchange, result);
    status = result.status;
    CloseRequest();
    switch (result.stage) {
        case platform::HttpStage::kUrl:
        case platform::HttpStage::kSend:
            LogFormat(u"Failed to send request error code %d", static_cast<int32_t>(result.error));
            break;
        case platform::HttpStage::kLocalFile:
            LogFormat(u"Failed to create file error code %d", static_cast<int32_t>(result.error));
            break;
        default:
            break;
    }
    return result.error;
}

uint32_t CHttpClient::PutZipFile(std::u16string_view url, std::u16string_view path, std::string& answer,
                                 uint32_t& status) {
    answer.clear();
    status = 0;
    platform::HttpExchange exchange;
    exchange.method = u"PUT";
    exchange.url = url;
    exchange.uploadFile = path;
    exchange.headerLines.emplace_back(kZipContentTypeHeader);
    exchange.headerLines.emplace_back(kZipDispositionHeader);
    platform::HttpAnswer result;
    session_->Exchange(exchange, result);
    answer = std::move(result.body);
    status = result.status;
    CloseRequest();
    return result.error;
}

}  // namespace velora
