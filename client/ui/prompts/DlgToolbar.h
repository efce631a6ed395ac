// The toast: a small skinned window in the corner of the work area that offers a retry when a connection
// failed while the main window was hidden. It hides itself after 30 seconds; its retry button asks the
// main window to reconnect and counts dots until the result arrives.
#pragma once
#include <windows.h>

#include <memory>

#include "common/winDC/GdiPlus.h"
#include "common/winWidget/ImageButton.h"
#include "common/winWidget/SkinDialog.h"

namespace velora {

class CDlgToolbar : public CSkinDialog {
public:
    static constexpr UINT_PTR kHideTimerId = 10020;
    static constexpr UINT kHideAfterMs = 30000;
    static constexpr UINT_PTR kDotsTimerId = 10021;
    static constexpr UINT kDotsPeriodMs = 400;

    // `hideAfterMs`: the time the toast stays up (tests shorten it to watch the hide happen).
    explicit CDlgToolbar(HWND mainWindow, UINT hideAfterMs = kHideAfterMs);
    bool IsOpen() const { return GetSafeHwnd() != nullptr && IsWindow(GetSafeHwnd()); }
    // Places, shows and brings the toast forward, enables the retry button and starts the 30 s hide.
    void Present();
    // Back to the retry text with the button enabled (after a successful connect).
    void Reset();

protected:
    BOOL OnInitDialog() override;
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCancel() override;

private:
    HWND m_main;
    UINT m_hideAfterMs;
    CImageButton m_retry;
    std::unique_ptr<Gdiplus::Bitmap> m_picture;
    std::unique_ptr<Gdiplus::Bitmap> m_brand;
};

}  // namespace velora
