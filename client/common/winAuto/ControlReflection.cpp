// Handing owner-draw, colour and notification requests back to the skin's controls.
#include "common/winAuto/ControlReflection.h"

#include "common/winAuto/SubclassedControl.h"

namespace velora {

bool ReflectToControl(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    HWND control = nullptr;
    UINT reflected = 0;
    switch (message) {
        case WM_DRAWITEM:
            control = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
            reflected = UM_REFLECT_DRAWITEM;
            break;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORLISTBOX:
            control = reinterpret_cast<HWND>(lParam);
            reflected = UM_REFLECT_CTLCOLOR;
            break;
        case WM_NOTIFY:
            control = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
            reflected = UM_REFLECT_NOTIFY;
            break;
        default:
            return false;
    }
    CSubclassedControl* owner = CSubclassedControl::FromHandle(control);
    if (!owner) return false;
    bool handled = false;
    result = owner->OnReflected(reflected, message, wParam, lParam, handled);
    return handled;
}

}  // namespace velora
