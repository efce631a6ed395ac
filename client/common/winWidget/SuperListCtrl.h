// The status list: a one-column report list whose rows carry a status value (0-9) that picks a marker
// (circle or connector line) and a text colour; the log list of the main window is one.
#pragma once
#include <windows.h>

#include <string>

#include "common/winAuto/SubclassedControl.h"

namespace velora {

class CSuperListCtrl : public CSubclassedControl {
public:
    ~CSuperListCtrl() override;
    // Inserts a row with its status at `index` (the end when beyond it); answers the index or -1.
    int InsertRow(int index, const std::u16string& text, int status);
    // Deletes the rows from `index` to the end.
    void DeleteFrom(int index);
    int RowCount() const;
    std::u16string RowText(int index) const;
    int RowStatus(int index) const;
    // The font of the time rows (status 8); the list's own font when unset. Not owned.
    void SetSecondFont(HFONT font) { m_secondFont = font; }
    void SetTextColor(COLORREF color) { m_textColor = color; }

    LRESULT OnReflected(UINT reflected, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

protected:
    void OnAttached() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void DrawRow(HDC dc, int item, const RECT& cell);
    double Scale() const;

    HFONT m_secondFont = nullptr;
    HBRUSH m_background = nullptr;
    COLORREF m_textColor = RGB(53, 64, 82);
};

}  // namespace velora
