// Buttons of the small modal dialogs.
#include "ui/prompts/DialogButtons.h"

#include "ui/skin/Palette.h"
#include "ui/skin/PopupPlacement.h"

namespace velora {

void StyleDialogButton(CImageButton& button, HWND dialog, int controlId, bool primary,
                       const std::u16string& text) {
    if (!button.SubclassDlgItem(controlId, dialog)) return;
    button.SetRounded(true, 8);
    button.ShowIcons(false);
    if (primary) {
        button.SetBackgroundColors(skin::kAccentBlue, skin::SkinRgb(3, 58, 181), skin::SkinRgb(40, 100, 235),
                                   skin::kStatusGrey);
        button.SetTextColor(skin::kWhite);
    } else {
        button.SetBackgroundColors(skin::kWhite, skin::kLightBackground, skin::kLightBackground,
                                   skin::kWhite);
        button.SetBorderColor(skin::kBorder);
        button.SetTextColor(skin::kNormalText);
    }
    if (!text.empty()) SetWindowTextW(button.GetSafeHwnd(), reinterpret_cast<const wchar_t*>(text.c_str()));
}

void CentreOverLayer(HWND dialog, HWND layer) {
    RECT over, self;
    if (!layer || !GetWindowRect(layer, &over) || !GetWindowRect(dialog, &self)) return;
    const skin::SkinRect placed = skin::PopupPlacement::Centred(
        {over.left, over.top, over.right, over.bottom}, self.right - self.left, self.bottom - self.top);
    SetWindowPos(dialog, nullptr, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace velora
