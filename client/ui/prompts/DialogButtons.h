// The look of the buttons of the small modal dialogs: the confirming one filled in the accent blue, the
// other outlined.
#pragma once
#include <windows.h>

#include <string>

#include "common/winWidget/ImageButton.h"

namespace velora {

void StyleDialogButton(CImageButton& button, HWND dialog, int controlId, bool primary,
                       const std::u16string& text);

}  // namespace velora
