// The password-changed dialog.
#include "ui/prompts/DlgChangePassSure.h"

#include "skin_resource.h"
#include "ui/prompts/DialogButtons.h"

namespace velora {

CDlgChangePassSure::CDlgChangePassSure(HWND parent, std::u16string text)
    : CSkinDialog(IDD_CHANGE_PASS_SURE, 2, 0, parent), m_text(std::move(text)) {}

BOOL CDlgChangePassSure::OnInitDialog() {
    const BOOL result = CSkinDialog::OnInitDialog();
    SetWindowTextW(GetDlgItem(IDC_PASS_SURE_TEXT), reinterpret_cast<const wchar_t*>(m_text.c_str()));
    StyleDialogButton(m_ok, GetSafeHwnd(), IDOK, true, u"");
    CentreOverLayer(GetSafeHwnd(), m_parent);
    return result;
}

}  // namespace velora
