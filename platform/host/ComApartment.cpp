// The host has no COM, but it keeps the rule COM sets on Windows: a thread reaches the helper service only
// after it has joined an apartment. Each thread counts the apartments it has joined and not yet left, so
// the in-process binding can refuse a thread that never joined, as CoCreateInstance refuses it on Windows.
#include "platform/ComApartment.h"

namespace platform {
namespace {

thread_local int t_joined = 0;

}  // namespace

CComApartment::CComApartment() {
    ++t_joined;
    joined_ = true;
}

CComApartment::~CComApartment() {
    if (joined_) --t_joined;
}

bool ThreadInComApartment() {
    return t_joined > 0;
}

}  // namespace platform
