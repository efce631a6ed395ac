// The dimming layer: a black, partly transparent (alpha 114 of 255) window with rounded corners laid
// exactly over another window while a modal dialog of that window is open.
#pragma once
#include <windows.h>

#include "common/winDC/MemoryDC.h"
#include "ui/framework/Dialog.h"

namespace velora {

class CLayerDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 1373;
    static constexpr BYTE kAlpha = 114;

    // `covered` is also the layer's parent (owner).
    explicit CLayerDlg(HWND covered);
    bool Create() { return CDialog::Create(m_covered); }
    // Shows the layer over the covered window, or hides it.
    void Show(bool show);

protected:
    BOOL OnInitDialog() override;
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void PlaceOverCovered();

    HWND m_covered;
    CMemoryDC m_cache;
    SIZE m_painted{-1, -1};
};

}  // namespace velora
