// A single-threaded apartment for the calling thread, left again only when this object joined it.
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

}  // namespace platform
