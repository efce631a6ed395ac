// ICMP echo for the diagnosis ping: one handle, echo requests one after the other, and the text for an
// IP status.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

struct IcmpEchoResult {
    bool answered = false;     // the send reported a reply (IcmpSendEcho returned non-zero)
    uint32_t error = 0;        // the system error when it did not
    uint32_t status = 0;       // the reply's IP status (0: success)
    uint32_t address = 0;      // the replying address, first octet in the lowest byte
    uint32_t roundTripMs = 0;  // round-trip time of the reply
};

class CIcmpEcho {
public:
    CIcmpEcho();  // opens the handle; IsOpen() tells whether that worked
    ~CIcmpEcho();
    CIcmpEcho(const CIcmpEcho&) = delete;
    CIcmpEcho& operator=(const CIcmpEcho&) = delete;

    bool IsOpen() const;
    uint32_t OpenError() const;
    // `address` has its first octet in the lowest byte. The reply buffer holds `replySize` bytes.
    IcmpEchoResult Send(uint32_t address, const void* data, uint16_t size, uint32_t replySize,
                        uint32_t timeoutMs);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The text for an IP status (from the table of platform/IpStatus.h; on Windows a system error number that
// is no IP status gets the system's text), cut to `capacity` characters; false when there is none.
bool IpErrorText(uint32_t status, uint32_t capacity, std::u16string& text);

}  // namespace platform
