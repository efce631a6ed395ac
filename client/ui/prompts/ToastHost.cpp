// The main window's toast.
#include "ui/prompts/ToastHost.h"

namespace velora {

CToastHost::~CToastHost() {
    if (CDlgToolbar* toast = Toast()) toast->DestroyWindow();
}

CDlgToolbar* CToastHost::Toast() const {
    return m_toast && m_toast->IsOpen() ? m_toast.get() : nullptr;
}

void CToastHost::ShowToast(bool* restoreOnFailure) {
    CDlgToolbar* toast = Toast();
    if (toast && IsWindowVisible(toast->GetSafeHwnd())) return;
    if (!toast) {
        m_toast = std::make_unique<CDlgToolbar>(m_main, m_hideAfterMs);
        if (!m_toast->Create()) {
            m_toast.reset();
            return;
        }
        toast = m_toast.get();
    }
    toast->Present();
    if (restoreOnFailure) *restoreOnFailure = false;
}

void CToastHost::ResetToast() {
    if (CDlgToolbar* toast = Toast()) {
        toast->Reset();
        ShowWindow(toast->GetSafeHwnd(), SW_HIDE);
    }
}

}  // namespace velora
