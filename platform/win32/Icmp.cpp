// ICMP echo through the IP Helper's ICMP handle; the texts of its statuses come from a table of our own.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <vector>

#include "platform/Icmp.h"
#include "platform/IpStatus.h"
#include "platform/win32/SystemMessage.h"

namespace platform {

struct CIcmpEcho::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    uint32_t openError = 0;
};

CIcmpEcho::CIcmpEcho() : m_impl(std::make_unique<Impl>()) {
    m_impl->handle = IcmpCreateFile();
    if (m_impl->handle == INVALID_HANDLE_VALUE) m_impl->openError = GetLastError();
}

CIcmpEcho::~CIcmpEcho() {
    if (m_impl->handle != INVALID_HANDLE_VALUE) IcmpCloseHandle(m_impl->handle);
}

bool CIcmpEcho::IsOpen() const {
    return m_impl->handle != INVALID_HANDLE_VALUE;
}

uint32_t CIcmpEcho::OpenError() const {
    return m_impl->openError;
}

IcmpEchoResult CIcmpEcho::Send(uint32_t address, const void* data, uint16_t size, uint32_t replySize,
                               uint32_t timeoutMs) {
    IcmpEchoResult result;
    std::vector<unsigned char> reply(replySize);
    const DWORD count = IcmpSendEcho(m_impl->handle, address, const_cast<void*>(data), size, nullptr,
                                     reply.data(), replySize, timeoutMs);
    if (count == 0) {
        result.error = GetLastError();
        return result;
    }
    const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
    result.answered = true;
    result.status = echo->Status;
    result.address = echo->Address;
    result.roundTripMs = echo->RoundTripTime;
    return result;
}

bool IpErrorText(uint32_t status, uint32_t capacity, std::u16string& text) {
    // The table, not GetIpErrorString: Wine does not implement that one, and its stub ends the process.
    // A failed send reports a system error rather than an IP status; FormatMessage has its text.
    text = std::u16string(IpStatusText(status));
    if (text.empty()) text = win32::SystemMessageLine(status);
    if (text.empty()) return false;
    if (text.size() > capacity) text.resize(capacity);
    return true;
}

}  // namespace platform
