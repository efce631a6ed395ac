// Owner drawing and colours are asked of a control's parent; the skin's controls draw themselves. A
// parent hands these requests back to the control with the messages below, and uses the control's answer
// when it gives one.
#pragma once
#include <windows.h>

namespace velora {

// wParam/lParam as in WM_DRAWITEM; the control answers TRUE when it drew.
constexpr UINT UM_REFLECT_DRAWITEM = WM_APP + 0x210;
// wParam/lParam as in WM_CTLCOLOREDIT/WM_CTLCOLORSTATIC/WM_CTLCOLORBTN; the control answers a brush or 0.
constexpr UINT UM_REFLECT_CTLCOLOR = WM_APP + 0x211;
// wParam/lParam as in WM_NOTIFY; the control answers the notification's result.
constexpr UINT UM_REFLECT_NOTIFY = WM_APP + 0x212;

// For a dialog procedure: hands `message` back to the control it concerns. True when the control handled
// it; `result` then holds what the dialog should answer.
bool ReflectToControl(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

}  // namespace velora
