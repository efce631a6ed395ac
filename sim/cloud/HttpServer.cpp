// The stand-in's HTTP/1.1 server: one thread per connection (bounded), keep-alive, request bodies by
// length or in chunks, TLS through OpenSSL.
#include "HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace sim {
namespace {

constexpr int kMaxConnections = 512;
constexpr int kIdleConnectionMs = 30000;  // a kept-alive connection with nothing to say is closed
constexpr std::size_t kMaxHead = 64 * 1024;
constexpr std::size_t kMaxBody = 64 * 1024 * 1024;

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string Trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

std::string PercentDecode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() + 0 && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else if (s[i] == '+') {
            out += ' ';
        } else {
            out += s[i];
        }
    }
    return out;
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 427:
            return "Sending";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

// One accepted connection, plain or TLS, with bounded waits.
class CConnection {
public:
    CConnection(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
    ~CConnection() {
        if (ssl_) {
            SSL_shutdown(ssl_);
            SSL_free(ssl_);
        }
        ::close(fd_);
    }
    // Waits up to timeoutMs for bytes; false on time-out, close or error.
    bool Fill(int timeoutMs) {
        char buffer[16384];
        if (!(ssl_ && SSL_pending(ssl_) > 0)) {
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, timeoutMs);
            if (ready <= 0) return false;
        }
        for (;;) {
            const int got = ssl_ ? SSL_read(ssl_, buffer, sizeof buffer)
                                 : static_cast<int>(::recv(fd_, buffer, sizeof buffer, 0));
            if (got > 0) {
                in_.append(buffer, static_cast<std::size_t>(got));
                return true;
            }
            if (!ssl_ && got < 0 && errno == EINTR) continue;
            if (ssl_) {
                const int err = SSL_get_error(ssl_, got);
                if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
                    pollfd p{fd_, static_cast<short>(err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
                    if (::poll(&p, 1, timeoutMs) <= 0) return false;
                    continue;
                }
            }
            return false;
        }
    }
    bool Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
            const int sent = ssl_ ? SSL_write(ssl_, bytes.data(), chunk)
                                  : static_cast<int>(::send(fd_, bytes.data(),
                                                            static_cast<std::size_t>(chunk), MSG_NOSIGNAL));
            if (sent <= 0) {
                if (!ssl_ && sent < 0 && errno == EINTR) continue;
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    }
    // Closes without the TLS close notification: the peer sees the connection drop.
    void Abort() {
        if (ssl_) {
            SSL_set_quiet_shutdown(ssl_, 1);
        }
        ::shutdown(fd_, SHUT_RDWR);
    }
    std::string& Input() { return in_; }

private:
    int fd_;
    SSL* ssl_;
    std::string in_;
};

// Reads one request; false when the connection ended or sent something that is not HTTP.
bool ReadRequest(CConnection& conn, Request& request, bool& keepAlive, bool first) {
    std::string& in = conn.Input();
    std::size_t headEnd;
    while ((headEnd = in.find("\r\n\r\n")) == std::string::npos) {
        if (in.size() > kMaxHead) return false;
        if (!conn.Fill(first ? 30000 : kIdleConnectionMs)) return false;
    }
    const std::string head = in.substr(0, headEnd);
    in.erase(0, headEnd + 4);

    std::size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const auto sp1 = requestLine.find(' ');
    const auto sp2 = requestLine.rfind(' ');
    if (sp1 == std::string::npos || sp2 == sp1) return false;
    request.method = requestLine.substr(0, sp1);
    request.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    request.version = requestLine.substr(sp2 + 1);
    const auto q = request.target.find('?');
    request.path = request.target.substr(0, q);
    request.query = q == std::string::npos ? std::string() : request.target.substr(q + 1);
    while (lineEnd != std::string::npos) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line =
            head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        request.headerLines.push_back(line);
        const auto colon = line.find(':');
        if (colon != std::string::npos)
            request.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }

    const std::string connection = Lower(request.Header("Connection"));
    keepAlive = request.version == "HTTP/1.1" ? connection != "close" : connection == "keep-alive";

    if (Lower(request.Header("Transfer-Encoding")).find("chunked") != std::string::npos) {
        for (;;) {
            std::size_t sizeEnd;
            while ((sizeEnd = in.find("\r\n")) == std::string::npos) {
                if (!conn.Fill(kIdleConnectionMs)) return false;
            }
            const std::size_t size = std::strtoul(in.substr(0, sizeEnd).c_str(), nullptr, 16);
            in.erase(0, sizeEnd + 2);
            if (request.body.size() + size > kMaxBody) return false;
            while (in.size() < size + 2) {
                if (!conn.Fill(kIdleConnectionMs)) return false;
            }
            request.body.append(in, 0, size);
            in.erase(0, size + 2);
            if (size == 0) break;  // trailers are not used by our clients
        }
    } else if (const std::string length = request.Header("Content-Length"); !length.empty()) {
        const std::size_t size = std::strtoull(length.c_str(), nullptr, 10);
        if (size > kMaxBody) return false;
        while (in.size() < size) {
            if (!conn.Fill(kIdleConnectionMs)) return false;
        }
        request.body = in.substr(0, size);
        in.erase(0, size);
    }
    return true;
}

std::string Serialize(const Reply& reply, bool keepAlive, bool headOnly) {
    std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) + "\r\n";
    bool hasType = false;
    for (const auto& [name, value] : reply.headers) {
        if (Lower(name) == "content-type") hasType = true;
        out += name + ": " + value + "\r\n";
    }
    if (!hasType && !reply.body.empty()) out += "Content-Type: application/json\r\n";
    out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    if (!keepAlive) out += "Connection: close\r\n";
    out += "\r\n";
    if (!headOnly) out += reply.body;
    return out;
}

}  // namespace

std::string Request::Header(std::string_view name) const {
    const std::string wanted = Lower(name);
    for (const auto& [n, v] : headers) {
        if (Lower(n) == wanted) return v;
    }
    return {};
}

std::string Request::QueryValue(std::string_view key) const {
    std::string_view rest = query;
    while (!rest.empty()) {
        const auto amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        const auto eq = pair.find('=');
        if (PercentDecode(pair.substr(0, eq)) == key) {
            return eq == std::string_view::npos ? std::string() : PercentDecode(pair.substr(eq + 1));
        }
        if (amp == std::string_view::npos) break;
        rest.remove_prefix(amp + 1);
    }
    return {};
}

int64_t CHttpServer::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

CHttpServer::~CHttpServer() {
    for (const int fd : listenFds_) ::shutdown(fd, SHUT_RDWR);
    for (auto& t : acceptors_) {
        if (t.joinable()) t.join();
    }
    for (const int fd : listenFds_) ::close(fd);
}

int CHttpServer::Listen(const std::string& name, const std::string& address, int port, SSL_CTX* tls) {
    const bool v6 = address.find(':') != std::string::npos;
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_storage storage{};
    socklen_t length;
    if (v6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<uint16_t>(port));
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        if (::inet_pton(AF_INET6, address.c_str(), &a->sin6_addr) != 1) {
            ::close(fd);
            return 0;
        }
        length = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<uint16_t>(port));
        if (::inet_pton(AF_INET, address.c_str(), &a->sin_addr) != 1) {
            ::close(fd);
            return 0;
        }
        length = sizeof *a;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 || ::listen(fd, 256) != 0) {
        ::close(fd);
        return 0;
    }
    length = sizeof storage;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
    const int bound = v6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port)
                         : ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    listenFds_.push_back(fd);
    acceptors_.emplace_back(&CHttpServer::AcceptLoop, this, Listener{name, fd, tls});
    return bound;
}

void CHttpServer::AcceptLoop(Listener listener) {
    for (;;) {
        const int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE || errno == ENFILE) {
                if (errno == EMFILE || errno == ENFILE)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            return;  // the listener was shut down
        }
        if (active_.load() >= kMaxConnections) {
            ::close(fd);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ++active_;
        std::thread([this, fd, listener] {
            Serve(fd, listener);
            --active_;
        }).detach();
    }
}

void CHttpServer::Serve(int fd, const Listener& listener) {
    SSL* ssl = nullptr;
    if (listener.tls) {
        timeval tv{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        ssl = SSL_new(listener.tls);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) != 1) {  // for instance a client that refused our certificate
            ERR_clear_error();
            SSL_free(ssl);
            ::close(fd);
            return;
        }
    }
    CConnection conn(fd, ssl);
    bool first = true;
    for (;;) {
        Request request;
        request.listener = listener.name;
        request.tls = ssl != nullptr;
        bool keepAlive = false;
        if (!ReadRequest(conn, request, keepAlive, first)) return;
        first = false;
        lastActivity_.store(NowMs());
        const auto started = std::chrono::steady_clock::now();
        Reply reply = handler_.Handle(request);
        if (reply.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
        switch (reply.kind) {
            case Reply::Kind::kDrop:
                conn.Abort();
                return;
            case Reply::Kind::kHold: {
                // Silence: what the client sends is read and dropped; ends early when it hangs up.
                const int64_t until = NowMs() + reply.holdMs;
                while (NowMs() < until) {
                    pollfd p{fd, POLLIN, 0};
                    if (::poll(&p, 1, static_cast<int>(std::min<int64_t>(until - NowMs(), 200))) <= 0)
                        continue;
                    char drop[4096];
                    const ssize_t got = ::recv(fd, drop, sizeof drop, MSG_DONTWAIT);
                    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) break;
                }
                conn.Abort();
                return;
            }
            case Reply::Kind::kRaw:
                conn.Send(reply.raw);
                conn.Abort();
                return;
            case Reply::Kind::kNormal:
                break;
        }
        const bool ok = conn.Send(Serialize(reply, keepAlive, request.method == "HEAD"));
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started)
                .count();
        handler_.Handled(reply.recordId, micros - static_cast<int64_t>(reply.delayMs) * 1000);
        if (!ok || !keepAlive) return;
    }
}

SSL_CTX* MakeServerTlsContext(const std::string& certPath, const std::string& keyPath) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx) return nullptr;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    if (SSL_CTX_use_certificate_chain_file(ctx, certPath.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, keyPath.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(ctx) != 1) {
        SSL_CTX_free(ctx);
        return nullptr;
    }
    return ctx;
}

}  // namespace sim
