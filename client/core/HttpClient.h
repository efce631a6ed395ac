// The client's one way to the service: a thin synchronous wrapper over the platform's HTTP session.
// It never interprets statuses or answers and never retries; it returns the transport result (0 or
// the WinINet error number, or a file-system error number for the local file) and the HTTP status
// separately, and each caller decides what they mean. One object per exchange, on one thread.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class CHttpSession;
}

namespace velora {

inline constexpr std::u16string_view kHttpSessionAgent =
    u"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727)";
inline constexpr uint32_t kHttpConnectTimeout = 40000;  // ms
inline constexpr uint32_t kHttpReceiveTimeout = 40000;  // ms
inline constexpr std::u16string_view kPostUserAgentHeader =
    u"User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    u"Chrome/75.0.3770.80 Safari/537.36\r\n";
inline constexpr std::u16string_view kJsonContentTypeHeader = u"Content-Type:application/json\r\n";
inline constexpr std::u16string_view kFormContentTypeHeader =
    u"Content-Type:application/x-www-form-urlencoded\r\n";
inline constexpr std::u16string_view kZipContentTypeHeader = u"Content-Type: application/zip\r\n";
inline constexpr std::u16string_view kZipDispositionHeader =
    u"Content-Disposition: attachment; filename=\"windows_diagnosis.zip\"\r\n";
inline constexpr std::size_t kHttpReadChunk = 1024;

class CHttpClient {
public:
    CHttpClient();
    virtual ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // POST of a UTF-8 body with the JSON (json != 0) or form content type and up to three extra header
    // lines (empty ones skipped). The answer is cut at a NUL within each 1024-byte block.
    uint32_t PostText(std::u16string_view url, std::u16string_view body, std::string& answer,
                      uint32_t& status, int json, std::u16string_view extra1 = {},
                      std::u16string_view extra2 = {}, std::u16string_view extra3 = {},
                      std::u16string* rawHeaders = nullptr);
    // The same with any number of extra lines, in their order (empty ones skipped).
    uint32_t PostLines(std::u16string_view url, std::u16string_view body, std::string& answer,
                       uint32_t& status, int json, const std::vector<std::u16string>& lines,
                       std::u16string* rawHeaders = nullptr);
    uint32_t GetText(std::u16string_view url, std::string& answer, uint32_t& status,
                     std::u16string_view extra = {});
    // Saves a 200 answer to the file (created or replaced); any other status leaves the file alone.
    uint32_t DownloadFile(std::u16string_view url, std::u16string_view path, uint32_t& status);
    // Streams the ZIP file as the body of a PUT; a file that cannot be opened sends nothing.
    uint32_t PutZipFile(std::u16string_view url, std::u16string_view path, std::string& answer,
                        uint32_t& status);
    void CloseRequest();

private:
    std::unique_ptr<platform::CHttpSession> session_;
};

}  // namespace velora
