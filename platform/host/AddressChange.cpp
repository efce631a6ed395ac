// The host's address-change notification: armed requests wait on a process-wide change counter that
// tests move with SignalAddressChange.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/AddressChange.h"
#include "platform/host/SimAddressChange.h"

namespace platform {
namespace {

struct Shared {
    std::mutex lock;
    std::condition_variable changed;
    uint64_t changes = 0;
    uint32_t armFailure = 0;
    int arms = 0;
    int cancels = 0;
};
Shared& State() {
    static Shared s;
    return s;
}

}  // namespace

struct CAddressChangeWatch::Impl {
    bool armed = false;
    uint32_t armError = 0;
    uint64_t armedAt = 0;  // the change counter when the request was armed
};

CAddressChangeWatch::CAddressChangeWatch() : m_impl(std::make_unique<Impl>()) {
    Arm();
}
CAddressChangeWatch::~CAddressChangeWatch() {
    if (!m_impl->armed) return;
    std::lock_guard l(State().lock);
    ++State().cancels;
}

bool CAddressChangeWatch::Armed() const {
    return m_impl->armed;
}
uint32_t CAddressChangeWatch::ArmError() const {
    return m_impl->armError;
}

void CAddressChangeWatch::Arm() {
    if (m_impl->armed) return;
    Shared& s = State();
    std::lock_guard l(s.lock);
    m_impl->armError = s.armFailure;
    m_impl->armed = s.armFailure == 0;
    if (!m_impl->armed) return;
    ++s.arms;
    m_impl->armedAt = s.changes;
}

bool CAddressChangeWatch::Wait(uint32_t ms) {
    if (!m_impl->armed) return false;
    Shared& s = State();
    std::unique_lock l(s.lock);
    const uint64_t armedAt = m_impl->armedAt;
    if (!s.changed.wait_for(l, std::chrono::milliseconds(ms), [&] { return s.changes != armedAt; }))
        return false;
    m_impl->armed = false;
    return true;
}

namespace host {

void SignalAddressChange() {
    Shared& s = State();
    {
        std::lock_guard l(s.lock);
        ++s.changes;
    }
    s.changed.notify_all();
}
void SetAddressChangeArmFailure(uint32_t error) {
    std::lock_guard l(State().lock);
    State().armFailure = error;
}
int AddressChangeArms() {
    std::lock_guard l(State().lock);
    return State().arms;
}
int AddressChangeCancels() {
    std::lock_guard l(State().lock);
    return State().cancels;
}
void ResetAddressChange() {
    std::lock_guard l(State().lock);
    State().armFailure = 0;
    State().arms = 0;
    State().cancels = 0;
}

}  // namespace host
}  // namespace platform
