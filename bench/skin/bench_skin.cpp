// Skinned windows under Wine (needs a display, e.g. xvfb-run): the median time to repaint a style-0
// skinned window of 800 x 600 units from its cached background, and AppendLogLine of 1,000, 5,000 and
// 10,000 lines into a real status list (time and time per line, to show the growth is linear).
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "SkinTestIds.h"
#include "common/winWidget/SkinDialog.h"
#include "common/winWidget/SuperListCtrl.h"
#include "ui/framework/WinApp.h"
#include "ui/prompts/LogListView.h"
#include "ui/skin/LogListModel.h"

using namespace velora;
using Clock = std::chrono::steady_clock;

namespace {

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// User and kernel time of this process: on a shared machine the wall time also counts other programs.
double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
               10000.0;
    };
    return ms(kernel) + ms(user);
}

}  // namespace

int wmain() {
    INITCOMMONCONTROLSEX classes{sizeof classes, 0xFF};
    InitCommonControlsEx(&classes);
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    CWinApp::SetResourceModule(GetModuleHandleW(nullptr));

    CSkinDialog dialog(IDD_SKIN_BARE, 0, 0x1 | 0x2);
    if (!dialog.Create()) {
        // Without a display (./run bench outside xvfb-run) there is nothing to measure.
        std::printf("bench_skin: skipped, no window can be created here (run it under xvfb-run)\n");
        return 0;
    }
    HWND window = dialog.GetSafeHwnd();
    HDC screen = GetDC(nullptr);
    const double scale = GetDeviceCaps(screen, LOGPIXELSX) / 96.0;
    ReleaseDC(nullptr, screen);
    SetWindowPos(window, HWND_TOP, 0, 0, static_cast<int>(800 * scale), static_cast<int>(600 * scale),
                 SWP_SHOWWINDOW);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Pump();
    std::vector<double> repaint;
    for (int i = 0; i < 300; ++i) {
        const auto start = Clock::now();
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        GdiFlush();
        repaint.push_back(Ms(Clock::now() - start));
    }
    std::sort(repaint.begin(), repaint.end());
    std::printf(
        "repaint of a style-0 window of 800 x 600 units from its cache: median %.3f ms (p90 %.3f ms, "
        "background drawn %d time(s))\n",
        repaint[repaint.size() / 2], repaint[repaint.size() * 9 / 10], dialog.BackgroundBuilds());

    // Wine's list view repaints on every insertion while it is visible (milliseconds per row), so the series
    // runs on a hidden list (the log page is not shown), with one small visible run for comparison.
    std::printf("AppendLogLine into the status list:\n");
    struct Run {
        int count;
        bool visible;
    };
    for (const Run run : {Run{1000, false}, Run{5000, false}, Run{10000, false}, Run{250, true}}) {
        const int count = run.count;
        HWND listWindow = CreateWindowExW(
            0, WC_LISTVIEWW, L"", (run.visible ? WS_VISIBLE : 0) | WS_CHILD | LVS_REPORT | LVS_NOCOLUMNHEADER,
            10, 10, 400, 300, window, reinterpret_cast<HMENU>(1040), GetModuleHandleW(nullptr), nullptr);
        SendMessageW(listWindow, WM_SETFONT, SendMessageW(window, WM_GETFONT, 0, 0), TRUE);
        CSuperListCtrl list;
        list.Attach(listWindow);
        CLogListView view(list, nullptr);
        const auto start = Clock::now();
        const double cpuStart = ProcessCpuMs();
        for (int i = 0; i < count; ++i) {
            const int day = 1 + (i / 400) % 28;  // in time order, a few hundred a day
            wchar_t date[16];
            swprintf(date, 16, L"2026-03-%02d", day);
            std::u16string line(reinterpret_cast<const char16_t*>(date));
            line +=
                u" 08:15:02 [INFO] Heartbeat answered by the orchestrator after a short wait, link quality "
                u"good";
            view.AppendLogLine(line);
        }
        const double ms = Ms(Clock::now() - start);
        const double cpu = ProcessCpuMs() - cpuStart;
        std::printf(
            "  %5d lines (%s list): %8.1f ms (%8.1f ms of this process's CPU), %.1f us per line, %d rows\n",
            count, run.visible ? "visible" : "hidden", ms, cpu, ms * 1000.0 / count, list.RowCount());
        DestroyWindow(listWindow);
        Pump();
    }
    // Where the time goes: the row model alone (a fixed width per character instead of the font), and the
    // list view alone taking the same rows at the same places.
    std::printf("the same lines into the row model alone, and the same rows into the list view alone:\n");
    for (const int count : {1000, 5000, 10000}) {
        skin::CLogListModel model;
        const skin::MeasureText measure = [](std::u16string_view text) {
            return static_cast<int>(text.size()) * 7;
        };
        std::vector<skin::CLogListModel::Insertion> insertions;
        const double cpuStart = ProcessCpuMs();
        const auto start = Clock::now();
        for (int i = 0; i < count; ++i) {
            wchar_t date[16];
            swprintf(date, 16, L"2026-03-%02d", 1 + (i / 400) % 28);
            std::u16string line(reinterpret_cast<const char16_t*>(date));
            line +=
                u" 08:15:02 [INFO] Heartbeat answered by the orchestrator after a short wait, link quality "
                u"good";
            insertions.push_back(model.Append(line, 330, measure));
        }
        const double modelMs = Ms(Clock::now() - start);
        const double modelCpu = ProcessCpuMs() - cpuStart;
        HWND listWindow =
            CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | LVS_NOCOLUMNHEADER, 10, 10, 400,
                            300, window, reinterpret_cast<HMENU>(1040), GetModuleHandleW(nullptr), nullptr);
        CSuperListCtrl list;
        list.Attach(listWindow);
        const double listCpuStart = ProcessCpuMs();
        const auto listStart = Clock::now();
        for (const auto& inserted : insertions)
            for (size_t r = 0; r < inserted.count; ++r)
                list.InsertRow(static_cast<int>(inserted.index + r), u"Heartbeat answered", 0);
        const double listMs = Ms(Clock::now() - listStart);
        const double listCpu = ProcessCpuMs() - listCpuStart;
        std::printf(
            "  %5d lines: model %7.1f ms (CPU %7.1f ms), list view %8.1f ms (CPU %8.1f ms), %d rows\n", count,
            modelMs, modelCpu, listMs, listCpu, list.RowCount());
        DestroyWindow(listWindow);
        Pump();
    }
    dialog.DestroyWindow();
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
