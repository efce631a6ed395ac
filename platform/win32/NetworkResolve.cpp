// Name resolution through GetAddrInfoW; addresses turned into text by WSAAddressToStringW.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>
#include <mutex>

#include "platform/Network.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

// The resolver needs the socket library started once per process; it stays started until exit.
void EnsureWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

struct AddrInfoFree {
    void operator()(ADDRINFOW* list) const { FreeAddrInfoW(list); }
};

}  // namespace

Ipv4Resolution ResolveIpv4(std::u16string_view host) {
    EnsureWinsock();
    Ipv4Resolution result;
    const std::wstring name = win32::WideString(host);
    ADDRINFOW* raw = nullptr;
    const int rc = GetAddrInfoW(name.c_str(), nullptr, nullptr, &raw);
    const std::unique_ptr<ADDRINFOW, AddrInfoFree> list(raw);
    if (rc != 0) {
        result.resolveError = rc;
        return result;
    }
    for (const ADDRINFOW* ai = list.get(); ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET) continue;
        wchar_t text[46] = {};
        DWORD length = 46;
        if (WSAAddressToStringW(ai->ai_addr, static_cast<DWORD>(ai->ai_addrlen), nullptr, text, &length) !=
            0) {
            result.toStringError = static_cast<uint32_t>(WSAGetLastError());
            return result;
        }
        result.addresses.push_back(win32::FromWide(text));
    }
    return result;
}

}  // namespace platform
