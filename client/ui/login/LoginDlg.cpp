// The login window.
#include "ui/login/LoginDlg.h"

#include "auth/SignIn.h"
#include "auth/SignInState.h"
#include "core/Format.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "core/WindowMessages.h"
#include "core/WorkerMessage.h"
#include "platform/win32/Wide.h"
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

std::u16string BoxText(HWND box) {
    const int length = GetWindowTextLengthW(box);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(box, text.data(), length + 1)));
    return platform::win32::FromWide(text.c_str(), text.size());
}
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

void CLoginDlg::ShowBanner(const std::wstring& text) {
    SetWindowTextW(GetDlgItem(IDC_LOGIN_SUBTITLE), text.c_str());
}

void CLoginDlg::EnableForm(bool enable) {
    for (const int id : {IDC_CUSTOMER_ID, IDC_USER_NAME, IDC_PASSWORD, IDOK})
        EnableWindow(GetDlgItem(id), enable);
}

void CLoginDlg::OnOK() {
    if (m_worker && m_worker->IsRunning()) return;  // one sign-in at a time
    auto run = std::make_shared<SignInContext>();
    run->customerId = BoxText(GetDlgItem(IDC_CUSTOMER_ID));
    run->userName = BoxText(GetDlgItem(IDC_USER_NAME));
    run->password = BoxText(GetDlgItem(IDC_PASSWORD));
    if (run->customerId.empty() || run->userName.empty() || run->password.empty()) {
        ShowBanner(L"Enter your customer ID, user name and password.");
        return;
    }
    run->authToken = GetSetting(u"AuthToken", u"");
    run->notifyWindow = GetSafeHwnd();
    // The password typed here is the one to send, whatever token an earlier sign-in left.
    passwordEdited = true;
    LoginPage = PagePassword;
    EnableForm(false);
    ShowBanner(L"Signing in...");
    platform::ThreadCreation created = platform::StartThread([run]() -> uint32_t {
        runSignIn(*run);
        return 0;
    });
    if (!created.thread) {
        EnableForm(true);
        ShowBanner(platform::win32::WideString(
            FormatText(u"The sign-in could not start (error %d).", static_cast<int32_t>(created.error))));
        return;
    }
    m_run = std::move(run);
    m_worker = std::move(created.thread);
}

void CLoginDlg::OnSignInResult(int32_t code, const char16_t* text) {
    EnableForm(true);
    if (code == 0 && m_run && !m_run->authToken.empty()) {
        SetSetting(u"Username", m_run->userName);
        SetSetting(u"Password", std::u16string(m_run->password.size(), u'*'));
        SetSetting(u"CustomerId", m_run->customerId);
        SetSetting(u"AuthUrl", m_run->authUrl);
        SetSettingInt(u"OtpToken", otpLogin.load());
        LogFormat(u"Signed in as %s", m_run->userName);
        EndDialog(IDOK);
        return;
    }
    std::u16string shown = text ? std::u16string(text) : std::u16string();
    if (shown.empty() && m_run) shown = m_run->message;
    if (shown.empty()) shown = FormatText(u"The sign-in failed (code %d).", code);
    LogAtLevel(shown, kLogError);
    ShowBanner(platform::win32::WideString(shown));
}

INT_PTR CLoginDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == VeloraApp().ActivationMessage()) {
        BringToFront();
        return TRUE;
    }
    switch (message) {
        case UM_SIGNIN_RESULT:
        case UM_DISCOVERY_RESULT: {
            // A sent result carries the sender's text; a posted one may carry a number, which is no text.
            const WorkerMessage result = DecodeWorkerMessage(message, wParam, lParam, InSendMessage() != FALSE);
            OnSignInResult(result.code, result.text.empty() ? nullptr : result.text.c_str());
            return TRUE;
        }
        case UM_SMS_NEEDED:
        case UM_OTP_STEP:
            // The pages for second factors are not part of this build: say so rather than pretend.
            OnSignInResult(-1,
                           u"This account needs a second sign-in step (SMS or one-time password), "
                           u"which this version cannot take yet.");
            return TRUE;
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
