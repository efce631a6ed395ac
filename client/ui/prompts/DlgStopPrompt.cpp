// The stop prompt.
#include "ui/prompts/DlgStopPrompt.h"

#include "core/Format.h"
#include "core/Log.h"
#include "skin_resource.h"
#include "ui/prompts/DialogButtons.h"
#include "ui/skin/SystemButtonLayout.h"
#include "res/MessageIds.h"

namespace velora {

CDlgStopPrompt::CDlgStopPrompt(HWND parent, bool quitting)
    : CSkinDialog(IDD_STOP_PROMPT, 2, skin::CSystemButtonLayout::kFlagClose, parent), m_quitting(quitting) {}

BOOL CDlgStopPrompt::OnInitDialog() {
    const BOOL result = CSkinDialog::OnInitDialog();
    const std::u16string question =
        m_quitting ? MessageText(kMsgQuitConfirm)
                   : FormatText(MessageText(kMsgStopConfirm), std::u16string(u"Halvane"));
    SetWindowTextW(GetDlgItem(IDC_STOP_QUESTION), reinterpret_cast<const wchar_t*>(question.c_str()));
    StyleDialogButton(m_yes, GetSafeHwnd(), IDOK, true, MessageText(kMsgYes));
    StyleDialogButton(m_no, GetSafeHwnd(), IDCANCEL, false, MessageText(kMsgNo));
    CentreOverLayer(GetSafeHwnd(), m_parent);
    return result;
}

}  // namespace velora
