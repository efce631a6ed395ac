// Name resolution on the host through getaddrinfo, with failures reported under the Windows
// resolver's error numbers so that messages read the same on both platforms.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>

#include "platform/Network.h"
#include "platform/Text.h"

namespace platform {
namespace {

// Windows socket error numbers that the resolver reports.
constexpr int kWsaNotEnoughMemory = 8;            // WSA_NOT_ENOUGH_MEMORY
constexpr int kWsaInvalidArgument = 10022;        // WSAEINVAL
constexpr int kWsaSocketTypeUnsupported = 10044;  // WSAESOCKTNOSUPPORT
constexpr int kWsaFamilyUnsupported = 10047;      // WSAEAFNOSUPPORT
constexpr int kWsaTypeNotFound = 10109;           // WSATYPE_NOT_FOUND
constexpr int kWsaHostNotFound = 11001;           // WSAHOST_NOT_FOUND
constexpr int kWsaTryAgain = 11002;               // WSATRY_AGAIN
constexpr int kWsaNoRecovery = 11003;             // WSANO_RECOVERY
constexpr int kWsaNoData = 11004;                 // WSANO_DATA

int WindowsResolverError(int code) {
    switch (code) {
        case EAI_NONAME:
            return kWsaHostNotFound;
#ifdef EAI_NODATA
        case EAI_NODATA:
            return kWsaNoData;
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
            return kWsaNoData;
#endif
        case EAI_AGAIN:
            return kWsaTryAgain;
        case EAI_FAIL:
            return kWsaNoRecovery;
        case EAI_MEMORY:
            return kWsaNotEnoughMemory;
        case EAI_FAMILY:
            return kWsaFamilyUnsupported;
        case EAI_SOCKTYPE:
            return kWsaSocketTypeUnsupported;
        case EAI_SERVICE:
            return kWsaTypeNotFound;
        case EAI_BADFLAGS:
            return kWsaInvalidArgument;
        default:
            return kWsaNoRecovery;
    }
}

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

}  // namespace

Ipv4Resolution ResolveIpv4(std::u16string_view host) {
    Ipv4Resolution result;
    const std::string name = Utf16ToUtf8(host);
    // The Windows resolver without hints gives one result per address; glibc gives one per socket
    // type, so ask for one type to keep the same list.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* raw = nullptr;
    const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &raw);
    const std::unique_ptr<addrinfo, AddrInfoFree> list(raw);
    if (rc != 0) {
        result.resolveError = WindowsResolverError(rc);
        return result;
    }
    for (const addrinfo* ai = list.get(); ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || !ai->ai_addr) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
        char text[INET_ADDRSTRLEN] = {};
        if (!inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text))) {
            result.toStringError = kWsaInvalidArgument;
            return result;
        }
        result.addresses.push_back(Utf8ToUtf16(text));
    }
    return result;
}

}  // namespace platform
