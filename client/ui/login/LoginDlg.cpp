// The login window.
#include "ui/login/LoginDlg.h"

#include "core/Log.h"
#include "resource.h"
#include "ui/app/VeloraApp.h"

namespace velora {
namespace {
constexpr COLORREF kBackground = RGB(255, 255, 255);
constexpr COLORREF kAccent = RGB(4, 73, 226);
constexpr COLORREF kMutedText = RGB(96, 104, 112);

// Limits that the sign-in checks enforce as well; the boxes keep the user from typing past them.
constexpr int kCustomerIdMaxLength = 10;
constexpr int kUserNameMaxLength = 30;
constexpr int kPasswordMaxLength = 16;
}  // namespace

CLoginDlg::CLoginDlg() : CDialog(IDD_LOGIN) {}

BOOL CLoginDlg::OnInitDialog() {
    // The log keeps its numbered texts in the program's own module.
    StartLog(nullptr);

    SetWindowTextW(GetSafeHwnd(), L"Velora");
    m_background.Reset(CreateSolidBrush(kBackground));

    // The heading uses the dialog's face, larger and heavier.
    if (auto font = reinterpret_cast<HFONT>(SendMessageW(GetSafeHwnd(), WM_GETFONT, 0, 0))) {
        LOGFONTW face{};
        if (GetObjectW(font, sizeof(face), &face) == sizeof(face)) {
            face.lfHeight = face.lfHeight * 2;
            face.lfWeight = FW_BOLD;
            m_headingFont.Reset(CreateFontIndirectW(&face));
            if (m_headingFont)
                SendMessageW(GetDlgItem(IDC_LOGIN_HEADING), WM_SETFONT,
                             reinterpret_cast<WPARAM>(m_headingFont.Get()), TRUE);
        }
    }

    SendMessageW(GetDlgItem(IDC_CUSTOMER_ID), EM_LIMITTEXT, kCustomerIdMaxLength, 0);
    SendMessageW(GetDlgItem(IDC_USER_NAME), EM_LIMITTEXT, kUserNameMaxLength, 0);
    SendMessageW(GetDlgItem(IDC_PASSWORD), EM_LIMITTEXT, kPasswordMaxLength, 0);
    return TRUE;  // focus on the first box
}

INT_PTR CLoginDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == VeloraApp().ActivationMessage()) {
        BringToFront();
        return TRUE;
    }
    switch (message) {
        case WM_CTLCOLORDLG:
            return reinterpret_cast<INT_PTR>(m_background.Get());
        case WM_CTLCOLORSTATIC: {
            auto dc = reinterpret_cast<HDC>(wParam);
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            SetBkColor(dc, kBackground);
            SetTextColor(dc, id == IDC_LOGIN_HEADING ? kAccent
                             : (id == IDC_LOGIN_SUBTITLE || id == IDC_VERSION)
                                 ? kMutedText
                                 : GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<INT_PTR>(m_background.Get());
        }
        default:
            return CDialog::WindowProc(message, wParam, lParam);
    }
}

}  // namespace velora
