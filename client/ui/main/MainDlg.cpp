// The main window.
#include "ui/main/MainDlg.h"

#include <memory>
#include <string>

#include "core/Log.h"
#include "core/WindowMessages.h"
#include "core/WorkerMessage.h"
#include "platform/Messenger.h"
#include "resource.h"
#include "ui/app/VeloraApp.h"

static_assert(IDC_LOG_LIST == velora::kLogListControlId, "the log posts to the list the window shows");

namespace velora {

CMainDlg::CMainDlg() : CDialog(IDD_MAIN) {}

BOOL CMainDlg::OnInitDialog() {
    SetWindowTextW(GetSafeHwnd(), L"Halvane");
    platform::SetMainWindow(GetSafeHwnd());
    // Lines written before this window existed were kept for it.
    FlushPendingLogLines();
    return TRUE;
}

void CMainDlg::AppendLogLine(const std::u16string& line) {
    HWND list = GetDlgItem(IDC_LOG_LIST);
    if (!list) return;
    // Inserting at the end keeps the order of arrival whatever the list style says about sorting.
    const LRESULT index =
        SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(line.c_str()));
    if (index >= 0) SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
}

void CMainDlg::DiscardQueuedLogLines() {
    // Texts still queued for this window would be lost with it; their memory is owned by the message.
    MSG message;
    for (int i = 0; i < 100000 && PeekMessageW(&message, GetSafeHwnd(), UM_LOG_LINE, UM_LOG_LINE, PM_REMOVE);
         ++i) {
        DiscardWorkerMessage(message.message, message.lParam);
    }
}

INT_PTR CMainDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == VeloraApp().ActivationMessage()) {
        BringToFront();
        return TRUE;
    }
    switch (message) {
        case UM_LOG_LINE:
            // The same number is the dialog manager's DM_SETDEFID, which never carries a text: leave that
            // one to the default handling.
            if (lParam == 0) return FALSE;
            AppendLogLine(DecodeWorkerMessage(message, wParam, lParam, false).text);
            return TRUE;
        case WM_DESTROY:
            platform::SetMainWindow(nullptr);
            DiscardQueuedLogLines();
            return FALSE;
        default:
            return CDialog::WindowProc(message, wParam, lParam);
    }
}

}  // namespace velora
