// Engine start under Wine or Windows: from the StartDataPath call on a COM-activated Corvane until the
// engine stand-in "ferronwin.exe" shows in the process list, then StopDataPath. Prints the median and the
// spread in the same table as the round-trip benchmark.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "support/CorvaneProcess.h"
#include "Corvane_h.h"

namespace {

using velora::test::RunCorvane;

bool EngineListed() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL ok = Process32FirstW(snap, &entry); ok && !found; ok = Process32NextW(snap, &entry))
        found = _wcsicmp(entry.szExeFile, L"ferronwin.exe") == 0;
    CloseHandle(snap);
    return found;
}

}  // namespace

int wmain() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    if (RunCorvane(L"/RegServer") != 0) {
        std::printf("Corvane.exe /RegServer failed\n");
        return 1;
    }
    IControlHelper* control = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ControlHelper, nullptr, CLSCTX_LOCAL_SERVER, IID_IControlHelper,
                                  reinterpret_cast<void**>(&control));
    BSTR token = SysAllocString(L"bench-token"), serial = SysAllocString(L"BENCH1");
    BSTR domain = SysAllocString(L"orch.bench.test");
    if (SUCCEEDED(hr)) hr = control->SaveOrchConfigToFile(nullptr, 1, 2, 3, token, serial, nullptr);
    std::vector<double> ms;
    constexpr int kRuns = 20;
    for (int i = 0; SUCCEEDED(hr) && i < kRuns; ++i) {
        LONG isErr = 0, ics = 0;
        BSTR message = nullptr;
        const auto start = std::chrono::steady_clock::now();
        hr = control->StartDataPath(domain, 0, &isErr, 1033, &message, &ics);
        SysFreeString(message);
        bool listed = false;
        for (int waited = 0; SUCCEEDED(hr) && !listed && waited < 10000; ++waited) {
            listed = EngineListed();
            if (!listed) Sleep(1);
        }
        const auto end = std::chrono::steady_clock::now();
        if (SUCCEEDED(hr) && !listed) hr = E_FAIL;
        if (SUCCEEDED(hr)) ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        message = nullptr;
        control->StopDataPath(&message);
        SysFreeString(message);
    }
    std::printf("%-46s %6s %10s %10s %10s %10s\n", "benchmark (ms)", "runs", "median", "min", "p90", "max");
    if (FAILED(hr) || ms.empty()) {
        std::printf("%-46s failed: 0x%08lx\n", "StartDataPath -> engine listed",
                    static_cast<unsigned long>(hr));
    } else {
        std::sort(ms.begin(), ms.end());
        std::printf("%-46s %6d %10.3f %10.3f %10.3f %10.3f\n", "StartDataPath -> engine listed",
                    static_cast<int>(ms.size()), ms[ms.size() / 2], ms.front(), ms[ms.size() * 9 / 10],
                    ms.back());
    }
    SysFreeString(token);
    SysFreeString(serial);
    SysFreeString(domain);
    if (control) control->Release();
    CoUninitialize();
    RunCorvane(L"/UnregServer");
    return SUCCEEDED(hr) ? 0 : 1;
}
