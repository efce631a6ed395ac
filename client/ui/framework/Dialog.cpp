// Modal dialogs: routes the dialog manager's calls to the C++ object that runs the window.
#include "ui/framework/Dialog.h"

#include "ui/framework/WinApp.h"

namespace velora {

CDialog::CDialog(UINT templateId) : m_templateId(templateId) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal(HWND parent) {
    if (m_hWnd) return -1;  // already running
    return DialogBoxParamW(CWinApp::ResourceModule(), MAKEINTRESOURCEW(m_templateId), parent,
                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create(HWND parent) {
    if (m_hWnd) return false;
    return CreateDialogParamW(CWinApp::ResourceModule(), MAKEINTRESOURCEW(m_templateId), parent,
                              &CDialog::DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::DestroyWindow() {
    if (m_hWnd) ::DestroyWindow(m_hWnd);
}

HWND CDialog::GetDlgItem(int controlId) const {
    return m_hWnd ? ::GetDlgItem(m_hWnd, controlId) : nullptr;
}

BOOL CDialog::OnInitDialog() {
    return TRUE;
}

void CDialog::OnOK() {
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

INT_PTR CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            // The dialog manager turns Enter, Escape and the close box into IDOK and IDCANCEL.
            if (LOWORD(wParam) == IDOK) {
                OnOK();
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                OnCancel();
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

void CDialog::EndDialog(INT_PTR result) {
    if (m_hWnd) ::EndDialog(m_hWnd, result);
}

void CDialog::SetMessageResult(LRESULT result) {
    if (m_hWnd) SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
}

void CDialog::BringToFront() {
    if (!m_hWnd) return;
    if (IsIconic(m_hWnd)) ShowWindow(m_hWnd, SW_RESTORE);
    ShowWindow(m_hWnd, SW_SHOW);
    SetForegroundWindow(m_hWnd);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_hWnd = window;
    } else {
        self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    // Messages that arrive before WM_INITDIALOG (WM_SETFONT among them) get the default handling.
    if (!self) return FALSE;
    const INT_PTR handled = self->WindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    return handled;
}

}  // namespace velora
