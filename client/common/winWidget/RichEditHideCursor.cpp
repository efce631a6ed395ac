// Rich edit without a caret.
#include "common/winWidget/RichEditHideCursor.h"

#include <richedit.h>

#include "common/winAuto/ControlReflection.h"

namespace velora {

void CRichEditHideCursor::OnAttached() {
    const LRESULT mask = SendMessageW(m_hWnd, EM_GETEVENTMASK, 0, 0);
    SendMessageW(m_hWnd, EM_SETEVENTMASK, 0, mask | ENM_MOUSEEVENTS | ENM_KEYEVENTS);
}

LRESULT CRichEditHideCursor::OnReflected(UINT reflected, UINT, WPARAM, LPARAM lParam, bool& handled) {
    handled = false;
    if (reflected != UM_REFLECT_NOTIFY) return 0;
    if (reinterpret_cast<const NMHDR*>(lParam)->code != EN_MSGFILTER) return 0;
    HideCaret(m_hWnd);
    handled = true;
    return 0;  // let the message through
}

LRESULT CRichEditHideCursor::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_SETFOCUS: {
            const LRESULT result = Default(message, wParam, lParam);
            HideCaret(m_hWnd);
            return result;
        }
        default:
            return Default(message, wParam, lParam);
    }
}

}  // namespace velora
