// Start-up and exit of the desktop program.
#include "ui/app/VeloraApp.h"

// winsock2 must come before anything that pulls in the old winsock header.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
// The lean Windows headers leave out the COM types that the GDI+ header needs.
#include <objidl.h>
#include <gdiplus.h>

#include "auth/ExternalAuth.h"
#include "platform/SystemInfo.h"
#include "platform/win32/Wide.h"
#include "ui/app/StartupPresenter.h"
#include "ui/login/LoginDlg.h"
#include "ui/main/MainDlg.h"

namespace velora {
namespace {
// Constructed during static initialisation, with no explicit application name.
CVeloraApp theApp;

constexpr wchar_t kInstanceName[] = L"Hal_Vane";
}  // namespace

CVeloraApp& VeloraApp() {
    return theApp;
}

BOOL CVeloraApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{};
    static_assert(sizeof(controls) == 8 && ICC_WIN95_CLASSES == 0xFF, "the classic set of common controls");
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    m_richEdit.Reset(LoadLibraryW(L"riched20.dll"));  // rich edit 2.0 classes for the windows that use it
    CWinApp::InitInstance();

    // The settings port files the section under this key and the application name "Velora" on its own;
    // the program's file name is not handed to it, so a renamed copy shares the library's settings.
    SetRegistryKey(L"Halvane");

    m_uiLanguage = platform::UserDefaultUiLanguage();
    m_activationMessage = RegisterWindowMessageW(kInstanceName);

    if (!CheckSingleInstance()) {
        // Posted, not sent: a hung window elsewhere must not keep this process from ending.
        if (m_activationMessage != 0) PostMessageW(HWND_BROADCAST, m_activationMessage, 0, 0);
        return FALSE;
    }

    // The login pages that sign in through the browser run this flow.
    RegisterExternalSignIn();

    // Dialogs here host no ActiveX controls, so there is no control container to enable.

    Gdiplus::GdiplusStartupInput gdiplusInput;
    m_gdiplusStarted = Gdiplus::GdiplusStartup(&m_gdiplusToken, &gdiplusInput, nullptr) == Gdiplus::Ok;

    // No shell manager or visual manager: the windows draw themselves.

    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return FALSE;  // ends without a message
    m_winsockStarted = true;

    m_osBuildNumber = platform::OsBuildNumber();

    CLoginDlg login;
    if (login.DoModal() == IDOK) {
        CMainDlg main;
        m_pMainWnd = &main;
        main.DoModal();
        m_pMainWnd = nullptr;
    }
    return FALSE;
}

int CVeloraApp::ExitInstance() {
    if (m_gdiplusStarted) {
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
        m_gdiplusStarted = false;
    }
    if (m_winsockStarted) {
        WSACleanup();
        m_winsockStarted = false;
    }
    // The client log's locks live as long as the process: nothing to delete for them here.
    m_richEdit.Reset();
    return CWinApp::ExitInstance();
}

bool CVeloraApp::CheckSingleInstance() {
    SetLastError(ERROR_SUCCESS);
    m_singleInstanceEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, kInstanceName));
    // Without the event this process cannot tell whether it is alone; it ends as a second start.
    if (!m_singleInstanceEvent) return false;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return true;

    const std::u16string commandLine = platform::win32::FromWide(GetCommandLineW());
    if (StoreSecondStartHandOver(CommandArguments(commandLine))) PulseEvent(m_singleInstanceEvent.Get());
    return false;
}

}  // namespace velora
