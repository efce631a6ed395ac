// The host reaches the helper service in-process: every thread can call it.
#include "platform/ComApartment.h"

namespace platform {

CComApartment::CComApartment() = default;
CComApartment::~CComApartment() = default;

}  // namespace platform
