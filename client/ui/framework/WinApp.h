// The application object of the desktop program: exactly one instance, constructed during static
// initialisation, run by the program entry. The derived class does its whole work in InitInstance.
#pragma once
#include <windows.h>

#include <string>

namespace velora {

class CDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // True to enter the message loop; false ends the program (ExitInstance still runs).
    virtual BOOL InitInstance();
    // Releases what InitInstance acquired; the result becomes the process exit code.
    virtual int ExitInstance();

    // The profile settings are filed under the current user's software key `key`, subkey the
    // application name.
    void SetRegistryKey(const wchar_t* key);
    const std::wstring& RegistryKey() const { return m_registryKey; }
    const std::wstring& ProfileName() const { return m_profileName; }
    const std::wstring& AppName() const { return m_appName; }

    // Runs the one application object; called by wWinMain.
    static int Run(HINSTANCE instance, const wchar_t* commandLine, int showCommand);
    static CWinApp* GetApp();
    // The module whose resources (window templates) the windows load: the program itself unless set.
    static HINSTANCE ResourceModule();
    static void SetResourceModule(HINSTANCE module);

    HINSTANCE m_hInstance = nullptr;
    const wchar_t* m_lpCmdLine = L"";
    int m_nCmdShow = SW_SHOWNORMAL;
    CDialog* m_pMainWnd = nullptr;

private:
    int RunMessageLoop();

    std::wstring m_appName;
    std::wstring m_registryKey;
    std::wstring m_profileName;
};

}  // namespace velora
