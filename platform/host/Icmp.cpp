// The host's ICMP echo is simulated (raw ICMP needs privileges, and no test may reach beyond loopback):
// loopback answers, anything else times out as the Windows call reports it.
#include <mutex>

#include "platform/Icmp.h"
#include "platform/IpStatus.h"
#include "platform/host/SimIcmp.h"

namespace platform {
namespace {

constexpr uint32_t kIpRequestTimedOut = 11010;

struct IcmpSim {
    std::mutex m;
    std::vector<uint32_t> targets;
    uint32_t openError = 0;
};
IcmpSim& sim() {
    static IcmpSim* s = new IcmpSim;  // never destroyed: a detached worker may still ping at exit
    return *s;
}

}  // namespace

struct CIcmpEcho::Impl {
    uint32_t openError = 0;
};

CIcmpEcho::CIcmpEcho() : m_impl(std::make_unique<Impl>()) {
    std::lock_guard l(sim().m);
    m_impl->openError = sim().openError;
}

CIcmpEcho::~CIcmpEcho() = default;

bool CIcmpEcho::IsOpen() const {
    return m_impl->openError == 0;
}

uint32_t CIcmpEcho::OpenError() const {
    return m_impl->openError;
}

IcmpEchoResult CIcmpEcho::Send(uint32_t address, const void*, uint16_t, uint32_t, uint32_t) {
    {
        std::lock_guard l(sim().m);
        sim().targets.push_back(address);
    }
    IcmpEchoResult result;
    if ((address & 0xFFu) != 127u) {
        result.error = kIpRequestTimedOut;
        return result;
    }
    result.answered = true;
    result.address = address;
    return result;
}

bool IpErrorText(uint32_t status, uint32_t capacity, std::u16string& text) {
    text = std::u16string(IpStatusText(status));
    if (text.empty()) return false;
    if (text.size() > capacity) text.resize(capacity);
    return true;
}

namespace host {

std::vector<uint32_t> IcmpEchoTargets() {
    std::lock_guard l(sim().m);
    return sim().targets;
}

void ClearIcmpEchoTargets() {
    std::lock_guard l(sim().m);
    sim().targets.clear();
}

void SetIcmpOpenError(uint32_t error) {
    std::lock_guard l(sim().m);
    sim().openError = error;
}

}  // namespace host
}  // namespace platform
