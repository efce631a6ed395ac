// Running the small modal dialogs over the dimming layer.
#include "ui/prompts/ModalPrompts.h"

#include "ui/prompts/DlgChangePassSure.h"
#include "ui/prompts/DlgStopPrompt.h"
#include "ui/prompts/DlgSwitchAccount.h"

namespace velora {

namespace {

template <class Dialog, class... Args>
INT_PTR RunOverLayer(CLayerDlg& layer, Args&&... args) {
    if (!layer.GetSafeHwnd()) layer.Create();
    layer.Show(true);
    Dialog dialog(layer.GetSafeHwnd(), std::forward<Args>(args)...);
    const INT_PTR result = dialog.DoModal();
    layer.Show(false);
    return result;
}

}  // namespace

bool AskStop(CLayerDlg& layer, bool quitting) {
    return RunOverLayer<CDlgStopPrompt>(layer, quitting) == IDOK;
}

bool AskSwitchAccount(CLayerDlg& layer) {
    return RunOverLayer<CCDlgSwitchAccount>(layer) == IDOK;
}

void ShowPasswordChanged(CLayerDlg& layer, const std::u16string& text) {
    RunOverLayer<CDlgChangePassSure>(layer, text);
}

}  // namespace velora
