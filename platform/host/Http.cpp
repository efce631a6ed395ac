// The HTTP transport on the host, over libcurl. It behaves as the Windows transport does where callers
// can see it: the request starts with the session's agent and the host, header lines are added only
// when their name is new, redirects are followed, answers are cut per 1024-byte block at a NUL, and
// every failure comes back as the WinINet number Windows would report.
#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "ErrnoErrors.h"
#include "platform/HttpUrl.h"
#include "platform/Http.h"
#include "platform/Text.h"
#include "platform/host/UniqueFd.h"

namespace platform {
namespace {

constexpr std::size_t kReadBlock = 1024;

std::atomic<uint32_t> g_testTimeoutMs{0};

// Test roots as PEM texts; read by the TLS set-up of every exchange.
std::mutex g_rootsLock;
std::vector<std::string> g_testRoots;

std::once_flag g_curlInit;

// Kept-alive connections, TLS sessions and name lookups are shared by every session of the process, as
// the Windows transport keeps them process-wide, so one object per exchange does not pay a new handshake.
std::mutex g_shareLocks[CURL_LOCK_DATA_LAST];
CURLSH* g_share = nullptr;

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) {
    g_shareLocks[data].lock();
}
void UnlockShare(CURL*, curl_lock_data data, void*) {
    g_shareLocks[data].unlock();
}

void InitCurl() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    g_share = curl_share_init();
    if (!g_share) return;
    curl_share_setopt(g_share, CURLSHOPT_LOCKFUNC, &LockShare);
    curl_share_setopt(g_share, CURLSHOPT_UNLOCKFUNC, &UnlockShare);
    curl_share_setopt(g_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(g_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    curl_share_setopt(g_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
}

std::string NativePath(std::u16string_view path) {
    std::string out = Utf16ToUtf8(path);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

// The Windows number of a file error an exchange met; "nothing reported" when errno says none.
uint32_t FileError(int err, bool creating = false) {
    return err == 0 ? 0xFFFFFFFFu : host::WindowsErrorFromErrno(err, creating);
}

struct CurlSlist {
    curl_slist* list = nullptr;
    ~CurlSlist() { curl_slist_free_all(list); }
    void Add(const std::string& line) { list = curl_slist_append(list, line.c_str()); }
};

// A URL split the way the Windows URL parser splits it, as bytes for libcurl (see platform/HttpUrl.h).
struct SplitUrl {
    std::string scheme;
    std::string host;
    unsigned port = 0;
    std::string object;
};

uint32_t Split(std::u16string_view url16, SplitUrl& out) {
    platform::HttpUrlParts parts;
    if (const uint32_t error = platform::SplitHttpUrl(url16, parts)) return error;
    out.scheme = Utf16ToUtf8(parts.scheme);
    out.host = Utf16ToUtf8(parts.host);
    out.port = parts.port;
    out.object = Utf16ToUtf8(parts.object);
    return 0;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string Trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(b, e - b + 1));
}

// What libcurl reports, as the WinINet number Windows gives for the same failure.
uint32_t MapCurlError(CURLcode code, CURL* curl, const char* message) {
    switch (code) {
        case CURLE_OK:
            return 0;
        case CURLE_OPERATION_TIMEDOUT:
            return kHttpErrorTimeout;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return kHttpErrorNameNotResolved;
        case CURLE_COULDNT_CONNECT:
            return kHttpErrorCannotConnect;
        case CURLE_URL_MALFORMAT:
            return kHttpErrorInvalidUrl;
        case CURLE_PEER_FAILED_VERIFICATION: {
            long verify = 0;
            curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verify);
            // libcurl checks the name itself after the chain, and says so only in its message.
            if (std::strstr(message, "host name") || std::strstr(message, "subject name")) {
                return kHttpErrorCertificateName;
            }
            switch (verify) {
                case X509_V_ERR_HOSTNAME_MISMATCH:
                case X509_V_ERR_IP_ADDRESS_MISMATCH:
                    return kHttpErrorCertificateName;
                case X509_V_ERR_CERT_HAS_EXPIRED:
                case X509_V_ERR_CERT_NOT_YET_VALID:
                case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
                case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
                    return kHttpErrorCertificateDate;
                case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
                case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
                case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
                case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
                case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
                case X509_V_ERR_CERT_UNTRUSTED:
                    return kHttpErrorCertificateAuthority;
                case X509_V_ERR_CERT_REVOKED:
                    return kHttpErrorCertificateRevoked;
                default:
                    return kHttpErrorCertificateErrors;
            }
        }
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_SHUTDOWN_FAILED:
            return kHttpErrorSecureChannel;
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_UNSUPPORTED_PROTOCOL:  // an answer without a status line
        case CURLE_BAD_CONTENT_ENCODING:
            return kHttpErrorInvalidServerResponse;
        case CURLE_TOO_MANY_REDIRECTS:
            return 12156;  // ERROR_HTTP_REDIRECT_FAILED
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
            return kHttpErrorConnectionAborted;
        case CURLE_OUT_OF_MEMORY:
            return 8;  // ERROR_NOT_ENOUGH_MEMORY
        default:
            return kHttpErrorInternal;
    }
}

}  // namespace

struct CHttpSession::Impl {
    std::string agent;
    CURL* curl = nullptr;
    uint32_t connectTimeoutMs = kHttpConnectTimeoutMs;
    uint32_t receiveTimeoutMs = kHttpReceiveTimeoutMs;

    // State of the exchange that runs.
    HttpAnswer* answer = nullptr;
    bool textAnswer = true;
    std::size_t blockFill = 0;  // bytes of the current 1024-byte block seen so far
    bool blockCut = false;      // a NUL ended the current block's text
    std::string downloadPath;   // empty unless downloading
    host::CUniqueFd downloadFd;
    bool downloadCreated = false;
    int fileErrno = 0;
    bool fileFailed = false;
    host::CUniqueFd uploadFd;
    char errorText[CURL_ERROR_SIZE] = {};
    std::chrono::steady_clock::time_point lastMoved;
    curl_off_t lastCount = -1;
    bool timedOut = false;

    // Called while the exchange runs: a wait without any byte moving for longer than the receive
    // time-out ends the exchange (the connect time-out, which is as long, bounds connecting first).
    static int OnProgress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
        auto* self = static_cast<Impl*>(user);
        const auto now = std::chrono::steady_clock::now();
        if (down + up != self->lastCount) {
            self->lastCount = down + up;
            self->lastMoved = now;
            return 0;
        }
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - self->lastMoved).count();
        if (waited >= static_cast<long long>(self->receiveTimeoutMs)) {
            self->timedOut = true;
            return 1;
        }
        return 0;
    }

    void AppendText(const char* p, std::size_t n) {
        while (n > 0) {
            const std::size_t take = std::min(kReadBlock - blockFill, n);
            if (!blockCut) {
                const void* nul = textAnswer ? std::memchr(p, 0, take) : nullptr;
                const std::size_t keep =
                    nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - p) : take;
                answer->body.append(p, keep);
                blockCut = nul != nullptr;
            }
            blockFill += take;
            p += take;
            n -= take;
            if (blockFill == kReadBlock) {
                blockFill = 0;
                blockCut = false;
            }
        }
    }

    long Status() const {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        return status;
    }

    bool CreateDownload() {
        downloadCreated = true;
        downloadFd.Reset(::open(downloadPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (downloadFd.Get() < 0) {
            fileErrno = errno;
            fileFailed = true;
            return false;
        }
        return true;
    }

    bool WriteDownload(const char* p, std::size_t n) {
        if (!downloadCreated && !CreateDownload()) return false;
        while (n > 0) {
            const ssize_t written = ::write(downloadFd.Get(), p, n);
            if (written < 0) {
                if (errno == EINTR) continue;
                fileErrno = errno;
                fileFailed = true;
                return false;
            }
            p += written;
            n -= static_cast<std::size_t>(written);
        }
        return true;
    }

    static size_t OnBody(char* p, size_t size, size_t count, void* user) {
        auto* self = static_cast<Impl*>(user);
        const std::size_t n = size * count;
        if (!self->downloadPath.empty()) {
            // Only a 200 answer becomes the file; any other answer is read and dropped.
            if (self->Status() != 200) return n;
            return self->WriteDownload(p, n) ? n : 0;
        }
        self->AppendText(p, n);
        return n;
    }

    static size_t OnHeader(char* p, size_t size, size_t count, void* user) {
        auto* self = static_cast<Impl*>(user);
        const std::size_t n = size * count;
        const std::string_view line(p, n);
        // A new status line starts a new answer (after an interim answer or a redirect).
        if (line.starts_with("HTTP/")) {
            self->answer->rawHeaders.clear();
            self->blockFill = 0;
            self->blockCut = false;
        }
        self->answer->rawHeaders += NarrowToUtf16(line);
        return n;
    }

    static size_t OnUploadRead(char* p, size_t size, size_t count, void* user) {
        auto* self = static_cast<Impl*>(user);
        const std::size_t want = std::min(size * count, kReadBlock);
        for (;;) {
            const ssize_t got = ::read(self->uploadFd.Get(), p, want);
            if (got >= 0) return static_cast<size_t>(got);
            if (errno == EINTR) continue;
            self->fileErrno = errno;
            self->fileFailed = true;
            return CURL_READFUNC_ABORT;
        }
    }

    static CURLcode OnSslContext(CURL*, void* sslContext, void*) {
        X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
        std::lock_guard<std::mutex> lock(g_rootsLock);
        for (const std::string& pem : g_testRoots) {
            BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
            if (!bio) continue;
            if (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
                X509_STORE_add_cert(store, cert);  // a root already there is fine
                X509_free(cert);
            }
            BIO_free(bio);
        }
        ERR_clear_error();
        return CURLE_OK;
    }
};

CHttpSession::CHttpSession(std::u16string_view agent) : impl_(std::make_unique<Impl>()) {
    std::call_once(g_curlInit, InitCurl);
    impl_->agent = Utf16ToUtf8(agent);
    impl_->curl = curl_easy_init();
    if (const uint32_t test = g_testTimeoutMs.load()) {
        impl_->connectTimeoutMs = test;
        impl_->receiveTimeoutMs = test;
    }
}

CHttpSession::~CHttpSession() {
    CloseRequest();
    if (impl_->curl) curl_easy_cleanup(impl_->curl);
}

bool CHttpSession::IsOpen() const {
    return impl_->curl != nullptr;
}

void CHttpSession::CloseRequest() {
    impl_->downloadFd.Close();
    impl_->uploadFd.Close();
}

void CHttpSession::Exchange(const HttpExchange& exchange, HttpAnswer& answer) {
    Impl& s = *impl_;
    answer = HttpAnswer{};
    if (!s.curl) {
        answer.error = kHttpErrorInternal;
        answer.stage = HttpStage::kSend;
        return;
    }
    SplitUrl url;
    if (const uint32_t error = Split(exchange.url, url)) {
        answer.error = error;
        answer.stage = HttpStage::kUrl;
        return;
    }
    const bool secure = url.scheme != "http";

    s.answer = &answer;
    s.textAnswer = exchange.textAnswer;
    s.blockFill = 0;
    s.blockCut = false;
    s.downloadPath = exchange.downloadFile.empty() ? std::string() : NativePath(exchange.downloadFile);
    s.downloadCreated = false;
    s.fileErrno = 0;
    s.fileFailed = false;

    curl_off_t uploadSize = 0;
    if (!exchange.uploadFile.empty()) {
        s.uploadFd.Reset(::open(NativePath(exchange.uploadFile).c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        if (s.uploadFd.Get() < 0 || ::fstat(s.uploadFd.Get(), &st) != 0 || S_ISDIR(st.st_mode)) {
            answer.error = FileError(s.uploadFd.Get() < 0 ? errno : EISDIR);
            answer.stage = HttpStage::kLocalFile;
            s.uploadFd.Close();
            return;
        }
        uploadSize = st.st_size;
    }

    CURL* c = s.curl;
    curl_easy_reset(c);
    const std::string base =
        std::string(secure ? "https://" : "http://") + url.host + ":" + std::to_string(url.port) + "/";
    curl_easy_setopt(c, CURLOPT_URL, base.c_str());
    curl_easy_setopt(c, CURLOPT_REQUEST_TARGET, url.object.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    if (g_share) curl_easy_setopt(c, CURLOPT_SHARE, g_share);
    s.errorText[0] = '\0';
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, s.errorText);
    curl_easy_setopt(c, CURLOPT_PROXY, "");  // no proxy of the environment: the system settings are direct
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(s.connectTimeoutMs));
    // The receive time-out bounds each wait for data, not the whole exchange.
    s.lastMoved = std::chrono::steady_clock::now();
    s.lastCount = -1;
    s.timedOut = false;
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Impl::OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &s);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &s);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &s);
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    if (secure) {
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, &Impl::OnSslContext);
    }

    // The request carries its host before any line is added; the session's agent goes out only when no
    // line named the agent, and the reload flags add their cache line, as on Windows.
    std::vector<std::string> present = {"host"};
    if (!s.agent.empty()) curl_easy_setopt(c, CURLOPT_USERAGENT, s.agent.c_str());
    CurlSlist headers;
    for (const std::u16string& line16 : exchange.headerLines) {
        const std::string line = Utf16ToUtf8(line16);
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;  // not a header line: refused as Windows refuses it
        const std::string name = Trim(std::string_view(line).substr(0, colon));
        if (name.empty()) continue;
        const std::string key = Lower(name);
        if (std::find(present.begin(), present.end(), key) != present.end()) continue;
        present.push_back(key);
        // WinINet writes every added line as "Name: value" (name, colon, one blank, the value without
        // blanks around it); the same form here keeps the wire byte for byte alike on both transports.
        std::string value = Trim(std::string_view(line).substr(colon + 1));
        headers.Add(value.empty() ? name + ";" : name + ": " + value);
    }
    auto addIfNew = [&](const char* key, const std::string& line) {
        if (std::find(present.begin(), present.end(), key) == present.end()) headers.Add(line);
    };
    addIfNew("cache-control", "Cache-Control: no-cache");
    addIfNew("connection", "Connection: Keep-Alive");
    // Nothing else the caller did not ask for: no default accept, content type or expectation.
    addIfNew("accept", "Accept:");
    addIfNew("expect", "Expect:");
    addIfNew("content-type", "Content-Type:");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);

    const std::string method = Utf16ToUtf8(exchange.method);
    if (method == "GET") {
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    } else if (method == "PUT" || !exchange.uploadFile.empty()) {
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(c, CURLOPT_READFUNCTION, &Impl::OnUploadRead);
        curl_easy_setopt(c, CURLOPT_READDATA, &s);
        curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, uploadSize);
        if (method != "PUT") curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, exchange.body.data());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(exchange.body.size()));
        if (method != "POST") curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    const CURLcode code = curl_easy_perform(c);
    answer.status = static_cast<uint32_t>(std::max(0L, s.Status()));
    if (code == CURLE_OK && !s.downloadPath.empty() && answer.status == 200 && !s.downloadCreated) {
        s.CreateDownload();  // an empty 200 answer still makes an (empty) file
    }
    if (!s.downloadPath.empty() && s.downloadFd.Get() >= 0 && !s.downloadFd.Close() && !s.fileFailed) {
        s.fileErrno = errno;
        s.fileFailed = true;
    }
    s.uploadFd.Close();

    if (s.fileFailed) {
        answer.error = FileError(s.fileErrno, true);
        answer.stage = HttpStage::kLocalFile;
    } else if (code != CURLE_OK) {
        answer.error = s.timedOut && code == CURLE_ABORTED_BY_CALLBACK ? kHttpErrorTimeout
                                                                       : MapCurlError(code, c, s.errorText);
        answer.stage = answer.status != 0 ? HttpStage::kReceive : HttpStage::kSend;
    }
    // A download that failed half-way leaves no half file behind for a caller to trust.
    if (answer.error != 0 && s.downloadCreated) ::unlink(s.downloadPath.c_str());
    if (!exchange.wantRawHeaders) answer.rawHeaders.clear();
    s.answer = nullptr;
}

void SetHttpTimeoutsForTest(uint32_t milliseconds) {
    g_testTimeoutMs.store(milliseconds);
}

bool TrustRootCertificateForTest(std::u16string_view pemPath) {
    host::CUniqueFd fd(::open(NativePath(pemPath).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return false;
    std::string pem;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        pem.append(buffer, static_cast<std::size_t>(got));
    }
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* cert = bio ? PEM_read_bio_X509(bio, nullptr, nullptr, nullptr) : nullptr;
    const bool ok = cert != nullptr;
    X509_free(cert);
    BIO_free(bio);
    ERR_clear_error();
    if (!ok) return false;
    std::lock_guard<std::mutex> lock(g_rootsLock);
    g_testRoots.push_back(pem);
    return true;
}

}  // namespace platform
