// The handle owners the application and its windows keep: the names the UI uses for the platform's one
// handle template (platform/win32/Handles.h), where each handle kind is closed.
#pragma once
#include "platform/win32/Handles.h"

namespace velora {

using platform::win32::CGdiObject;
using platform::win32::CKernelHandle;
using platform::win32::CLibrary;
using platform::win32::CUniqueHandle;

}  // namespace velora
