// The HTTP transport: one session object that carries exchanges with the service, one exchange per
// call. Transport failures are reported with the WinINet error numbers on every platform, so callers
// compare and log the same codes on Windows and on the host.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SystemErrors.h"  // the WinINet numbers the exchanges report

namespace platform {

// Time-outs a new session gets (connect and receive, milliseconds).
constexpr uint32_t kHttpConnectTimeoutMs = 40000;
constexpr uint32_t kHttpReceiveTimeoutMs = 40000;

// Where an exchange stopped, so the caller can log the step that failed.
enum class HttpStage : int32_t {
    kDone = 0,   // the exchange completed (whatever the status)
    kUrl,        // the URL could not be split
    kSend,       // opening the connection or request, or sending it
    kReceive,    // reading the status, the headers or the answer
    kLocalFile,  // opening the file to upload, or creating or writing the downloaded file
};

struct HttpExchange {
    std::u16string_view method;  // "GET", "POST", "PUT"
    std::u16string_view url;     // scheme "http" is plain; any other scheme is sent over TLS
    std::string_view body;       // bytes sent as they are (POST)
    // Whole header lines without a line end ("Name:value"). Each is added only if the request does not
    // already carry a header of that name; so the first of two lines with one name wins.
    std::vector<std::u16string> headerLines;
    bool wantRawHeaders = false;
    // Text answers keep each 1024-byte block of the answer only up to its first NUL byte.
    bool textAnswer = true;
    std::u16string_view uploadFile;    // PUT: streamed as the body, its length announced up front
    std::u16string_view downloadFile;  // GET: the answer goes to this file, created only on status 200
};

struct HttpAnswer {
    uint32_t error = 0;  // 0, a WinINet number, or a file-system error number (stage kLocalFile)
    HttpStage stage = HttpStage::kDone;
    uint32_t status = 0;        // 0 until the status line was read
    std::string body;           // what was read so far (also after a failure); empty for downloads
    std::u16string rawHeaders;  // status line and header lines, each ending in CR LF (when wanted)
};

// One session with its agent text and time-outs; exchanges on one session run one after the other on
// the thread that owns it. Every exchange opens and closes its own connection and request objects.
class CHttpSession {
public:
    explicit CHttpSession(std::u16string_view agent);
    virtual ~CHttpSession();
    CHttpSession(const CHttpSession&) = delete;
    CHttpSession& operator=(const CHttpSession&) = delete;

    // False when the session itself could not be created; every exchange then fails.
    bool IsOpen() const;
    void Exchange(const HttpExchange& exchange, HttpAnswer& answer);
    // Frees connection and request objects that an exchange left open (none once Exchange returned).
    void CloseRequest();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Tests only: sessions created afterwards use this connect and receive time-out instead of the product's
// 40000 ms (0 restores the product's values).
void SetHttpTimeoutsForTest(uint32_t milliseconds);

// Tests only: trusts the certificate authority in this PEM file as a root for HTTPS, on top of the
// system's roots (Windows: the user's root store; host: the sessions created afterwards). False when the
// file cannot be read or the certificate cannot be added.
bool TrustRootCertificateForTest(std::u16string_view pemPath);

}  // namespace platform
