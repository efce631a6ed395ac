// A dialog window built from a resource template and run modally. Derived windows override the
// handlers and, for messages of their own, the window procedure (calling the base for the rest).
#pragma once
#include <windows.h>

namespace velora {

class CDialog {
public:
    explicit CDialog(UINT templateId);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the window modally; returns the code given to EndDialog, or -1 when it cannot be created.
    INT_PTR DoModal(HWND parent = nullptr);
    // Creates the window without a modal loop (pop-ups, layers); false when it cannot be created.
    bool Create(HWND parent);
    // Destroys a window made by Create.
    void DestroyWindow();
    // The window while it exists, else null.
    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int controlId) const;

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // Dialog-procedure rule: TRUE when handled (the result set with SetMessageResult where the message
    // has one), FALSE for the dialog manager's default handling.
    virtual INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    void EndDialog(INT_PTR result);
    void SetMessageResult(LRESULT result);
    // Restores, shows and brings the window to the foreground (a second start asks for this).
    void BringToFront();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_hWnd = nullptr;
};

}  // namespace velora
