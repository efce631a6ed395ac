// The HTTP transport over WinINet: one internet session per object, and per exchange a connection and a
// request object with keep-connection, reload and no-cache-write (and the secure flags when the scheme
// is not "http"). Only certificate revocation problems are ignored; any other certificate error fails.
#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "platform/HttpUrl.h"
#include "platform/Http.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

using platform::win32::WideString;

constexpr DWORD kReadBlock = 1024;
constexpr DWORD kIgnoreRevocation = 0x80;  // SECURITY_FLAG_IGNORE_REVOCATION
constexpr DWORD kRawHeadersCrlf = 22;      // HTTP_QUERY_RAW_HEADERS_CRLF

std::atomic<uint32_t> g_testTimeoutMs{0};

uint32_t LastError(uint32_t fallback) {
    const DWORD error = GetLastError();
    return error != 0 ? error : fallback;
}

using win32::CFileHandle;
using win32::CInternetHandle;

std::wstring NulFree(std::u16string_view text) {
    const auto nul = text.find(u'\0');
    return WideString(nul == std::u16string_view::npos ? text : text.substr(0, nul));
}

std::wstring RawHeaders(HINTERNET request) {
    DWORD size = 0;
    HttpQueryInfoW(request, kRawHeadersCrlf, nullptr, &size, nullptr);
    if (size == 0) return {};
    std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
    DWORD rawSize = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
    if (!HttpQueryInfoW(request, kRawHeadersCrlf, raw.data(), &rawSize, nullptr)) return {};
    raw.resize(rawSize / sizeof(wchar_t));
    return raw;
}

// Whether the answer has a header line after its status line.
// Bytes without a status line come back with a status made up by the transport: "HTTP/1.0 200 OK" and not
// one header line. A server's own status line, even one followed by no header line, is an answer. (A
// server that itself answers exactly "HTTP/1.0 200 OK" with no header cannot be told from the made-up
// form and is refused with it.)
bool HasMadeUpStatus(HINTERNET request) {
    const std::wstring raw = RawHeaders(request);
    const auto first = raw.find(L"\r\n");
    if (first != std::wstring::npos && raw.find(L':', first) != std::wstring::npos) return false;
    return raw.empty() || raw.compare(0, first, L"HTTP/1.0 200 OK") == 0;
}

}  // namespace

struct CHttpSession::Impl {
    CInternetHandle session;
    CInternetHandle connection;
    CInternetHandle request;
    DWORD connectTimeoutMs = kHttpConnectTimeoutMs;
    DWORD receiveTimeoutMs = kHttpReceiveTimeoutMs;

    void SetTimeouts(HINTERNET h) const {
        DWORD connect = connectTimeoutMs;
        DWORD receive = receiveTimeoutMs;
        InternetSetOptionW(h, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
        InternetSetOptionW(h, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
    }

    // Some WinINet builds report a receive time-out as an aborted connection; a read that failed so
    // after waiting at least the receive time-out is the time-out callers compare with.
    uint32_t ReadError(ULONGLONG startedMs) const {
        const uint32_t error = LastError(kHttpErrorInternal);
        if (error == kHttpErrorConnectionAborted && GetTickCount64() - startedMs + 50 >= receiveTimeoutMs) {
            return kHttpErrorTimeout;
        }
        return error;
    }

    void CloseRequest() {
        request.Close();
        connection.Close();
    }
};

CHttpSession::CHttpSession(std::u16string_view agent) : impl_(std::make_unique<Impl>()) {
    if (const uint32_t test = g_testTimeoutMs.load()) {
        impl_->connectTimeoutMs = test;
        impl_->receiveTimeoutMs = test;
    }
    const std::wstring name = NulFree(agent);
    impl_->session.Reset(InternetOpenW(name.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (impl_->session.Get()) impl_->SetTimeouts(impl_->session.Get());
}

CHttpSession::~CHttpSession() {
    CloseRequest();
    impl_->session.Close();
}

bool CHttpSession::IsOpen() const {
    return impl_->session.Get() != nullptr;
}

void CHttpSession::CloseRequest() {
    impl_->CloseRequest();
}

void CHttpSession::Exchange(const HttpExchange& exchange, HttpAnswer& answer) {
    Impl& s = *impl_;
    answer = HttpAnswer{};
    auto fail = [&](uint32_t error, HttpStage stage) {
        answer.error = error;
        answer.stage = stage;
        s.CloseRequest();
    };
    if (!s.session.Get()) return fail(kHttpErrorInternal, HttpStage::kSend);

    // The file to upload is opened first: when it cannot be, nothing is sent.
    CFileHandle upload;
    LARGE_INTEGER uploadSize{};
    if (!exchange.uploadFile.empty()) {
        const std::wstring path = NulFree(exchange.uploadFile);
        upload.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!upload.IsValid() || !GetFileSizeEx(upload.Get(), &uploadSize)) {
            return fail(LastError(0xFFFFFFFFu), HttpStage::kLocalFile);
        }
    }

    const std::wstring url = NulFree(exchange.url);
    // What the URL parser lets through but no request can use is refused by the rule both transports share.
    platform::HttpUrlParts checked;
    if (const uint32_t error = platform::SplitHttpUrl(
            std::u16string_view(reinterpret_cast<const char16_t*>(url.data()), url.size()), checked)) {
        return fail(error, HttpStage::kUrl);
    }
    wchar_t scheme[32] = {}, host[256] = {}, path[4096] = {}, extra[4096] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = scheme;
    parts.dwSchemeLength = ARRAYSIZE(scheme);
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = ARRAYSIZE(path);
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = ARRAYSIZE(extra);
    if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        return fail(LastError(kHttpErrorInvalidUrl), HttpStage::kUrl);
    }
    if (host[0] == L'\0') return fail(kHttpErrorInvalidUrl, HttpStage::kUrl);
    const bool secure = _wcsicmp(scheme, L"http") != 0;
    std::wstring object = std::wstring(path) + extra;
    if (const auto hash = object.find(L'#'); hash != std::wstring::npos) object.erase(hash);
    if (object.empty()) object = L"/";
    // The connection wants an IPv6 literal without its brackets.
    std::wstring server = host;
    if (server.size() > 2 && server.front() == L'[' && server.back() == L']')
        server = server.substr(1, server.size() - 2);

    s.connection.Reset(InternetConnectW(
        s.session.Get(), server.c_str(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP,
        INTERNET_FLAG_KEEP_CONNECTION | (secure ? INTERNET_FLAG_SECURE : 0), 1));
    if (!s.connection.Get()) return fail(LastError(kHttpErrorInternal), HttpStage::kSend);
    s.SetTimeouts(s.connection.Get());

    const std::wstring method = NulFree(exchange.method);
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
    if (secure) flags |= INTERNET_FLAG_SECURE;
    s.request.Reset(HttpOpenRequestW(s.connection.Get(), method.c_str(), object.c_str(), nullptr, nullptr,
                                     nullptr, flags, 1));
    if (!s.request.Get()) return fail(LastError(kHttpErrorInternal), HttpStage::kSend);
    HINTERNET request = s.request.Get();
    s.SetTimeouts(request);
    if (secure) {
        DWORD security = 0;
        DWORD size = sizeof security;
        InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &security, &size);
        security |= kIgnoreRevocation;
        InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security);
    }
    for (const std::u16string& line : exchange.headerLines) {
        const std::wstring wide = NulFree(line);
        if (!wide.empty()) {
            HttpAddRequestHeadersW(request, wide.c_str(), static_cast<DWORD>(wide.size()),
                                   HTTP_ADDREQ_FLAG_ADD_IF_NEW);
        }
    }

    ULONGLONG started = GetTickCount64();
    if (upload.IsValid()) {
        INTERNET_BUFFERSW buffers{};
        buffers.dwStructSize = sizeof buffers;
        buffers.dwBufferTotal = static_cast<DWORD>(uploadSize.QuadPart);
        if (!HttpSendRequestExW(request, &buffers, nullptr, 0, 1)) {
            return fail(s.ReadError(started), HttpStage::kSend);
        }
        char chunk[kReadBlock];
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(upload.Get(), chunk, sizeof chunk, &got, nullptr)) {
                return fail(LastError(0xFFFFFFFFu), HttpStage::kLocalFile);
            }
            if (got == 0) break;
            DWORD written = 0;
            if (!InternetWriteFile(request, chunk, got, &written))
                return fail(s.ReadError(started), HttpStage::kSend);
        }
        upload.Close();
        started = GetTickCount64();
        if (!HttpEndRequestW(request, nullptr, 0, 1)) return fail(s.ReadError(started), HttpStage::kSend);
    } else {
        void* body = exchange.body.empty() ? nullptr : const_cast<char*>(exchange.body.data());
        if (!HttpSendRequestW(request, nullptr, 0, body, static_cast<DWORD>(exchange.body.size()))) {
            return fail(s.ReadError(started), HttpStage::kSend);
        }
    }

    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize,
                        nullptr)) {
        return fail(LastError(kHttpErrorInvalidServerResponse), HttpStage::kReceive);
    }
    // A connection that closed without a word, or bytes without a status line, are not answers, even
    // where the transport makes up a status for them (status 0, or "HTTP/1.0 200 OK" and no header); a
    // status line without header lines is.
    if (status < 100 || status > 599 || HasMadeUpStatus(request)) {
        return fail(kHttpErrorInvalidServerResponse, HttpStage::kReceive);
    }
    answer.status = status;

    const bool download = !exchange.downloadFile.empty();
    if (download && status != 200) {
        s.CloseRequest();  // any other status leaves the file alone
        return;
    }
    CFileHandle file;
    std::wstring filePath;
    if (download) {
        filePath = NulFree(exchange.downloadFile);
        file.Reset(CreateFileW(filePath.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsValid()) return fail(LastError(0xFFFFFFFFu), HttpStage::kLocalFile);
    }
    // A file that did not become whole is removed, so no caller trusts half of it.
    auto failDownload = [&](uint32_t error, HttpStage stage) {
        if (file.IsValid()) {
            file.Close();
            DeleteFileW(filePath.c_str());
        }
        fail(error, stage);
    };

    uint64_t total = 0;
    char block[kReadBlock];
    for (;;) {
        // Blocks are filled whole (reads may return less), so a NUL cuts the same text everywhere.
        DWORD fill = 0;
        for (;;) {
            DWORD got = 0;
            started = GetTickCount64();
            if (!InternetReadFile(request, block + fill, kReadBlock - fill, &got)) {
                const uint32_t error = s.ReadError(started);
                if (!download) {  // what arrived so far stays in the answer
                    const char* end =
                        exchange.textAnswer ? std::find(block, block + fill, '\0') : block + fill;
                    answer.body.append(block, static_cast<std::size_t>(end - block));
                }
                return failDownload(error, HttpStage::kReceive);
            }
            fill += got;
            if (got == 0 || fill == kReadBlock) break;
        }
        if (fill == 0) break;
        total += fill;
        if (download) {
            DWORD written = 0;
            if (!WriteFile(file.Get(), block, fill, &written, nullptr) || written != fill) {
                return failDownload(LastError(0xFFFFFFFFu), HttpStage::kLocalFile);
            }
        } else {
            const char* end = exchange.textAnswer ? std::find(block, block + fill, '\0') : block + fill;
            answer.body.append(block, static_cast<std::size_t>(end - block));
        }
        if (fill < kReadBlock) break;
    }

    // A connection that closed before the announced length arrived is a failure, not a short answer.
    wchar_t lengthText[32] = {};
    DWORD lengthSize = sizeof lengthText;
    if (HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, nullptr)) {
        const uint64_t announced = std::wcstoull(lengthText, nullptr, 10);
        if (total < announced) return failDownload(kHttpErrorConnectionAborted, HttpStage::kReceive);
    }
    if (file.IsValid() && !file.Close()) {
        const uint32_t error = LastError(0xFFFFFFFFu);
        DeleteFileW(filePath.c_str());
        return fail(error, HttpStage::kLocalFile);
    }

    if (exchange.wantRawHeaders) {
        const std::wstring raw = RawHeaders(request);
        answer.rawHeaders.assign(raw.begin(), raw.end());
    }
    s.CloseRequest();
}

void SetHttpTimeoutsForTest(uint32_t milliseconds) {
    g_testTimeoutMs.store(milliseconds);
}

bool TrustRootCertificateForTest(std::u16string_view pemPath) {
    const std::wstring path = NulFree(pemPath);
    CFileHandle file;
    file.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return false;
    std::string pem(64 * 1024, '\0');
    DWORD got = 0;
    if (!ReadFile(file.Get(), pem.data(), static_cast<DWORD>(pem.size()), &got, nullptr)) return false;
    pem.resize(got);
    DWORD derSize = 0;
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &derSize, nullptr, nullptr)) {
        return false;
    }
    std::string der(derSize, '\0');
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              reinterpret_cast<BYTE*>(der.data()), &derSize, nullptr, nullptr)) {
        return false;
    }
    const win32::CCertStore store(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
    if (!store) return false;
    const BOOL added = CertAddEncodedCertificateToStore(store.Get(), X509_ASN_ENCODING,
                                                        reinterpret_cast<const BYTE*>(der.data()), derSize,
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    return added != FALSE;
}

}  // namespace platform
