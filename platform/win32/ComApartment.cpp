// A single-threaded apartment for the calling thread, left again only when this object joined it; and the
// system's answer whether the thread is in an apartment at all.
#include "platform/ComApartment.h"

#include <objbase.h>
#include <windows.h>

namespace platform {

CComApartment::CComApartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    code_ = static_cast<int32_t>(hr);
    joined_ = SUCCEEDED(hr);
    // A thread already in the multithreaded apartment can still call out.
    usable_ = joined_ || hr == RPC_E_CHANGED_MODE;
}

CComApartment::~CComApartment() {
    if (joined_) CoUninitialize();
}

bool ThreadInComApartment() {
    // Also true in the implicit multithreaded apartment that another thread of the process has set up:
    // COM lets such a thread call out as well.
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier));
}

}  // namespace platform
