// Pictures built into the program: PNG resources (type "PNG") decoded through GDI+ into 32-bit bitmaps
// with alpha, and icon resources at their natural size.
#pragma once
#include "common/winDC/GdiPlus.h"

#include <memory>

namespace velora {

class CImageResource {
public:
    // Missing, empty, unloadable or unlockable resources, and failed stream or bitmap creation, are the
    // skin's failure "CImageResource::Load"; memory for the copy is "CAutoGlobalMemory::CAutoGlobalMemory".
    static std::unique_ptr<Gdiplus::Bitmap> Load(UINT id, HMODULE module);
    // A shared icon (never destroyed by the caller); null when missing.
    static HICON LoadSharedIcon(UINT id, HMODULE module);
};

}  // namespace velora
