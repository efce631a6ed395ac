// The login window: customer ID, user name and password; Sign in runs the real password sign-in on a
// worker thread and ends the window with OK (the main window follows) only when the service granted a
// token; every other outcome is shown in the window. Cancel or closing it ends the program.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "auth/SignInContext.h"
#include "platform/Kernel.h"

#include "ui/framework/Dialog.h"
#include "ui/framework/Handles.h"

namespace velora {

class CLoginDlg : public CDialog {
public:
    CLoginDlg();

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowBanner(const std::wstring& text);
    void EnableForm(bool enable);
    void OnSignInResult(int32_t code, const char16_t* text);

    // The run's record is shared with its worker, which may outlive the window.
    std::shared_ptr<SignInContext> m_run;
    std::unique_ptr<platform::Thread> m_worker;
    CGdiObject m_headingFont;
    CGdiObject m_background;
};

}  // namespace velora
