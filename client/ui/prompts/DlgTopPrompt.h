// The top prompt: a one-line notice with an icon laid over the top of its owner window (the main or the
// login window), in the colour of its kind; success prompts close themselves after 4 seconds.
#pragma once
#include <windows.h>

#include <string>

#include "common/winWidget/SkinDialog.h"

namespace velora {

class CDlgTopPrompt : public CSkinDialog {
public:
    CDlgTopPrompt(HWND owner, std::u16string text, int kind);

    int Kind() const { return m_kind; }
    const std::u16string& Text() const { return m_text; }
    bool IsOpen() const { return GetSafeHwnd() != nullptr && IsWindow(GetSafeHwnd()); }
    // Centred across the owner, 10 pixels below its top edge (again after the owner changed size).
    void Place();
    void Close();

protected:
    BOOL OnInitDialog() override;
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCancel() override { Close(); }

private:
    HWND m_owner;
    std::u16string m_text;
    int m_kind;
};

}  // namespace velora
