// The dimming layer.
#include "common/winWidget/LayerDlg.h"

namespace velora {

CLayerDlg::CLayerDlg(HWND covered) : CDialog(kTemplateId), m_covered(covered) {}

BOOL CLayerDlg::OnInitDialog() {
    HWND window = GetSafeHwnd();
    SetWindowLongPtrW(window, GWL_EXSTYLE, GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(window, 0, kAlpha, LWA_ALPHA);
    PlaceOverCovered();
    return CDialog::OnInitDialog();
}

void CLayerDlg::PlaceOverCovered() {
    HWND window = GetSafeHwnd();
    RECT covered;
    if (!m_covered || !GetWindowRect(m_covered, &covered)) return;
    SetWindowPos(window, nullptr, covered.left, covered.top, covered.right - covered.left,
                 covered.bottom - covered.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(window, &client);
    SetWindowRgn(window, CreateRoundRectRgn(0, 0, client.right, client.bottom, 6, 6), TRUE);
}

void CLayerDlg::Show(bool show) {
    if (!GetSafeHwnd()) return;
    if (show) PlaceOverCovered();
    ShowWindow(GetSafeHwnd(), show ? SW_SHOWNOACTIVATE : SW_HIDE);
}

INT_PTR CLayerDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SHOWWINDOW:
            if (wParam) PlaceOverCovered();
            return FALSE;
        case WM_ERASEBKGND: {
            RECT client;
            GetClientRect(GetSafeHwnd(), &client);
            if (client.right != m_painted.cx || client.bottom != m_painted.cy) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                m_cache.Update(dc, client.right, client.bottom);
                FillRect(m_cache.GetSafeHdc(), &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
                m_cache.CopyTo(dc);
                m_painted = {client.right, client.bottom};
            }
            SetMessageResult(TRUE);
            return TRUE;
        }
        default:
            return CDialog::WindowProc(message, wParam, lParam);
    }
}

}  // namespace velora
