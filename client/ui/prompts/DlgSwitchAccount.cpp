// The switch-account dialog.
#include "ui/prompts/DlgSwitchAccount.h"

#include "core/Log.h"
#include "skin_resource.h"
#include "ui/prompts/DialogButtons.h"
#include "ui/skin/SystemButtonLayout.h"
#include "res/MessageIds.h"

namespace velora {

CCDlgSwitchAccount::CCDlgSwitchAccount(HWND parent)
    : CSkinDialog(IDD_SWITCH_ACCOUNT, 2, skin::CSystemButtonLayout::kFlagClose, parent) {}

BOOL CCDlgSwitchAccount::OnInitDialog() {
    const BOOL result = CSkinDialog::OnInitDialog();
    SetWindowTextW(GetDlgItem(IDC_SWITCH_TITLE),
                   reinterpret_cast<const wchar_t*>(MessageText(kMsgSwitchAccount).c_str()));
    SetWindowTextW(GetDlgItem(IDC_SWITCH_TEXT),
                   reinterpret_cast<const wchar_t*>(MessageText(kMsgSwitchAccountQuestion).c_str()));
    StyleDialogButton(m_yes, GetSafeHwnd(), IDOK, true, MessageText(kMsgYes));
    StyleDialogButton(m_no, GetSafeHwnd(), IDCANCEL, false, MessageText(kMsgNo));
    CentreOverLayer(GetSafeHwnd(), m_parent);
    return result;
}

}  // namespace velora
