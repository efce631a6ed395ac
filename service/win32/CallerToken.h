// The caller of the current COM method, read from its token while impersonating it: logon session, user
// SID and membership of the administrators group (or the system account). When the call cannot be
// impersonated (Wine has no COM call context) the caller stays unknown.
#pragma once
#include "logic/CallerIdentity.h"

namespace corvane::win32 {

CallerIdentity ReadCaller();

}  // namespace corvane::win32
