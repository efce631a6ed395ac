// Base of the skin's controls: attaches a C++ object to a child window (one the dialog template created,
// or one created here) through the common controls' subclassing, and routes its messages to WindowProc.
#pragma once
#include <windows.h>

namespace velora {

class CSubclassedControl {
public:
    CSubclassedControl() = default;
    virtual ~CSubclassedControl();
    CSubclassedControl(const CSubclassedControl&) = delete;
    CSubclassedControl& operator=(const CSubclassedControl&) = delete;

    bool SubclassDlgItem(int controlId, HWND parent);
    bool Attach(HWND window);
    void Detach();
    HWND GetSafeHwnd() const { return m_hWnd; }
    void Invalidate() const;

    // The object attached to a window, or null.
    static CSubclassedControl* FromHandle(HWND window);
    // A request the parent handed back (see ControlReflection.h); set `handled` when answering it.
    virtual LRESULT OnReflected(UINT reflected, UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnAttached() {}
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR data);
};

}  // namespace velora
