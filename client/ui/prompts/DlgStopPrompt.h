// "Are you sure to stop?" before the connection stops (connect/stop button) or the program quits.
#pragma once
#include "common/winWidget/ImageButton.h"
#include "common/winWidget/SkinDialog.h"

namespace velora {

class CDlgStopPrompt : public CSkinDialog {
public:
    // `parent` is the dimming layer over the main window; `quitting` picks the quit question (1244).
    CDlgStopPrompt(HWND parent, bool quitting);

protected:
    BOOL OnInitDialog() override;

private:
    bool m_quitting;
    CImageButton m_yes;
    CImageButton m_no;
};

}  // namespace velora
