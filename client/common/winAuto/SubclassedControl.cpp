// Subclassing of the skin's controls.
#include "common/winAuto/SubclassedControl.h"

#include <commctrl.h>

namespace velora {

namespace {
constexpr UINT_PTR kSubclassId = 0x5EC1;
constexpr wchar_t kObjectProperty[] = L"VeloraSkinControl";
}  // namespace

CSubclassedControl::~CSubclassedControl() {
    Detach();
}

bool CSubclassedControl::SubclassDlgItem(int controlId, HWND parent) {
    return Attach(::GetDlgItem(parent, controlId));
}

bool CSubclassedControl::Attach(HWND window) {
    if (!window || m_hWnd) return false;
    if (!SetWindowSubclass(window, &CSubclassedControl::SubclassProc, kSubclassId,
                           reinterpret_cast<DWORD_PTR>(this)))
        return false;
    SetPropW(window, kObjectProperty, reinterpret_cast<HANDLE>(this));
    m_hWnd = window;
    OnAttached();
    // A control attached while already shown takes its new look at once.
    InvalidateRect(window, nullptr, TRUE);
    return true;
}

void CSubclassedControl::Detach() {
    if (!m_hWnd) return;
    RemoveWindowSubclass(m_hWnd, &CSubclassedControl::SubclassProc, kSubclassId);
    RemovePropW(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
}

void CSubclassedControl::Invalidate() const {
    if (m_hWnd) InvalidateRect(m_hWnd, nullptr, TRUE);
}

CSubclassedControl* CSubclassedControl::FromHandle(HWND window) {
    if (!window) return nullptr;
    return reinterpret_cast<CSubclassedControl*>(GetPropW(window, kObjectProperty));
}

LRESULT CSubclassedControl::OnReflected(UINT, UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT CSubclassedControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return Default(message, wParam, lParam);
}

LRESULT CSubclassedControl::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefSubclassProc(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CSubclassedControl::SubclassProc(HWND, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                  DWORD_PTR data) {
    auto* self = reinterpret_cast<CSubclassedControl*>(data);
    if (message == WM_NCDESTROY) {
        const LRESULT result = self->Default(message, wParam, lParam);
        self->Detach();
        return result;
    }
    return self->WindowProc(message, wParam, lParam);
}

}  // namespace velora
