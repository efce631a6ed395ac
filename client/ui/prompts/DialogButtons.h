// What the small modal dialogs share: the look of their buttons (the confirming one filled in the accent
// blue, the other outlined) and their place in the middle of the dimming layer they open over.
#pragma once
#include <windows.h>

#include <string>

#include "common/winWidget/ImageButton.h"

namespace velora {

void StyleDialogButton(CImageButton& button, HWND dialog, int controlId, bool primary,
                       const std::u16string& text);
// Moves `dialog` into the middle of `layer` (the template's own centring goes by the screen, which leaves
// the dialog beside the dimmed window when that is not in the screen's middle).
void CentreOverLayer(HWND dialog, HWND layer);

}  // namespace velora
