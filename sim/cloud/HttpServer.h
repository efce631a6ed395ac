// A small HTTP/1.1 server (plain and TLS) for the stand-in. It is ours rather than a library's because
// the tests need what no well-behaved server does: answers without a status line, connections dropped
// or closed mid-answer, silence, and the request's header lines exactly as they came, in order.
#pragma once
#include <openssl/ssl.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace sim {

struct Request {
    std::string listener;  // name of the listener it came in on ("http", "https", ...)
    bool tls = false;
    std::string method;
    std::string target;  // as sent: path and query
    std::string path;
    std::string query;
    std::string version;
    std::vector<std::string> headerLines;  // as received, without the line end
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    std::string Header(std::string_view name) const;     // first of that name (any case), else empty
    std::string QueryValue(std::string_view key) const;  // percent-decoded, else empty
};

struct Reply {
    enum class Kind { kNormal, kRaw, kDrop, kHold };
    Kind kind = Kind::kNormal;
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string raw;        // kRaw: bytes sent as they are, then the connection closes
    int delayMs = 0;        // waited before anything is sent
    int holdMs = 0;         // kHold: silence this long, then the connection closes
    int64_t recordId = -1;  // the record entry to tell the handling time to
};

class IHandler {
public:
    virtual ~IHandler() = default;
    virtual Reply Handle(const Request& request) = 0;
    // Time from the complete request to the last byte of the answer written, in microseconds.
    virtual void Handled(int64_t recordId, int64_t micros) = 0;
};

class CHttpServer {
public:
    explicit CHttpServer(IHandler& handler) : handler_(handler) {}
    ~CHttpServer();
    CHttpServer(const CHttpServer&) = delete;
    CHttpServer& operator=(const CHttpServer&) = delete;

    // Binds address:port (port 0: a free one) and starts accepting; tls may be null (plain HTTP). The
    // server keeps a reference to tls. Returns the bound port, or 0 on failure.
    int Listen(const std::string& name, const std::string& address, int port, SSL_CTX* tls);

    // Milliseconds of the steady clock when the last request arrived (or the server started).
    int64_t LastActivityMs() const { return lastActivity_.load(); }
    int ActiveConnections() const { return active_.load(); }

    static int64_t NowMs();

private:
    struct Listener {
        std::string name;
        int fd = -1;
        SSL_CTX* tls = nullptr;
    };
    void AcceptLoop(Listener listener);
    void Serve(int fd, const Listener& listener);

    IHandler& handler_;
    std::vector<std::thread> acceptors_;
    std::vector<int> listenFds_;
    std::atomic<int64_t> lastActivity_{NowMs()};
    std::atomic<int> active_{0};
};

// A TLS context that serves the certificate chain and key in these PEM files; null on failure.
SSL_CTX* MakeServerTlsContext(const std::string& certPath, const std::string& keyPath);

}  // namespace sim
