// The main window's toast: created on first use and kept, made anew after its close button dropped it.
#pragma once
#include <windows.h>

#include <memory>

#include "ui/prompts/DlgToolbar.h"

namespace velora {

class CToastHost {
public:
    // `hideAfterMs`: how long a shown toast stays up (30 s; tests shorten it).
    explicit CToastHost(HWND mainWindow, UINT hideAfterMs = CDlgToolbar::kHideAfterMs)
        : m_main(mainWindow), m_hideAfterMs(hideAfterMs) {}
    ~CToastHost();

    // Nothing while the toast is visible (it neither moves nor restarts its timer); otherwise shows it and
    // clears `restoreOnFailure` (the main window's flag) when given.
    void ShowToast(bool* restoreOnFailure = nullptr);
    // After a successful connect: the retry button is back to its text and enabled, the toast hidden.
    void ResetToast();
    CDlgToolbar* Toast() const;

private:
    HWND m_main;
    UINT m_hideAfterMs;
    std::unique_ptr<CDlgToolbar> m_toast;
};

}  // namespace velora
