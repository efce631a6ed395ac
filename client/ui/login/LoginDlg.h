// The login window: customer ID, user name and password; Sign in ends it with OK (the main window
// follows), Cancel or closing it ends the program.
#pragma once
#include <windows.h>

#include "ui/framework/Dialog.h"
#include "ui/framework/Handles.h"

namespace velora {

class CLoginDlg : public CDialog {
public:
    CLoginDlg();

protected:
    BOOL OnInitDialog() override;
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CGdiObject m_headingFont;
    CGdiObject m_background;
};

}  // namespace velora
