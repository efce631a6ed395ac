// The main window: shown after a successful sign-in; its list (control 1040) shows the user log.
#pragma once
#include <windows.h>

#include <string>

#include "ui/framework/Dialog.h"

namespace velora {

class CMainDlg : public CDialog {
public:
    CMainDlg();

protected:
    BOOL OnInitDialog() override;
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void AppendLogLine(const std::u16string& line);
    void DiscardQueuedLogLines();
};

}  // namespace velora
