// The main window's three small modal dialogs, each run over its dimming layer: the layer shows before the
// dialog opens and hides after it ends.
#pragma once
#include <windows.h>

#include <string>

#include "common/winWidget/LayerDlg.h"

namespace velora {

// True when the user confirmed stopping (`quitting`: the quit question).
bool AskStop(CLayerDlg& layer, bool quitting);
bool AskSwitchAccount(CLayerDlg& layer);
void ShowPasswordChanged(CLayerDlg& layer, const std::u16string& text);

}  // namespace velora
