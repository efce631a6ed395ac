// The address-change notification over the IP helper's overlapped form: the request completes on the
// event. The synchronous form is not used: where the system does not support the notification it answers
// at once, and a caller that takes that for a change would spin.
#include "platform/AddressChange.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

namespace platform {

struct CAddressChangeWatch::Impl {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED overlapped{};
    HANDLE notifyHandle = nullptr;
    bool armed = false;
    uint32_t armError = 0;

    ~Impl() {
        if (armed) {
            CancelIPChangeNotify(&overlapped);
            // The system may still write the OVERLAPPED until the cancelled request completes.
            WaitForSingleObject(event, 1000);
        }
        if (event) CloseHandle(event);
    }
};

CAddressChangeWatch::CAddressChangeWatch() : m_impl(std::make_unique<Impl>()) {
    Arm();
}
CAddressChangeWatch::~CAddressChangeWatch() = default;

bool CAddressChangeWatch::Armed() const {
    return m_impl->armed;
}
uint32_t CAddressChangeWatch::ArmError() const {
    return m_impl->armError;
}

void CAddressChangeWatch::Arm() {
    Impl& s = *m_impl;
    if (s.armed) return;
    if (!s.event) {
        s.armError = GetLastError();
        return;
    }
    ResetEvent(s.event);
    s.overlapped = OVERLAPPED{};
    s.overlapped.hEvent = s.event;
    const DWORD result = NotifyAddrChange(&s.notifyHandle, &s.overlapped);
    s.armed = result == ERROR_IO_PENDING;
    s.armError = s.armed ? 0 : (result == NO_ERROR ? ERROR_NOT_SUPPORTED : result);
}

bool CAddressChangeWatch::Wait(uint32_t ms) {
    Impl& s = *m_impl;
    if (!s.armed) return false;
    if (WaitForSingleObject(s.event, ms) != WAIT_OBJECT_0) return false;
    s.armed = false;
    return true;
}

}  // namespace platform
