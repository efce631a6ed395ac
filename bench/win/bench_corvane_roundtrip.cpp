// Round trips to a COM-activated Corvane under Wine or Windows: one CoCreateInstance + SaveFilterConfigToFile
// + Release (what the client's binding does per operation), and its parts. Google Benchmark has no
// mingw-w64 build here, so this program measures with its own loop and prints medians in its own table.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Corvane_h.h"
#include "support/CorvaneProcess.h"

namespace {

using velora::test::BinFolder;
using velora::test::RunCorvane;

// Times `body` `runs` times; false when any run failed.
bool Measure(const char* name, int runs, const std::function<HRESULT()>& body) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const HRESULT hr = body();
        const auto end = std::chrono::steady_clock::now();
        if (FAILED(hr)) {
            std::printf("%-46s failed: 0x%08lx\n", name, static_cast<unsigned long>(hr));
            return false;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-46s %6d %10.3f %10.3f %10.3f %10.3f\n", name, runs, ms[ms.size() / 2], ms.front(),
                ms[ms.size() * 9 / 10], ms.back());
    return true;
}

HRESULT Create(IControlHelper** out) {
    return CoCreateInstance(CLSID_ControlHelper, nullptr, CLSCTX_LOCAL_SERVER, IID_IControlHelper,
                            reinterpret_cast<void**>(out));
}

}  // namespace

int wmain() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    if (RunCorvane(L"/RegServer") != 0) {
        std::printf("Corvane.exe /RegServer failed\n");
        return 1;
    }
    BSTR filter = SysAllocString(L"bench filter");
    const auto roundTrip = [&]() -> HRESULT {
        IControlHelper* control = nullptr;
        HRESULT hr = Create(&control);
        if (FAILED(hr)) return hr;
        hr = control->SaveFilterConfigToFile(filter);
        control->Release();
        return hr;
    };

    std::printf("%-46s %6s %10s %10s %10s %10s\n", "benchmark (ms)", "runs", "median", "min", "p90", "max");
    bool ok = true;
    // The first activation starts the server process; later ones find it while it lingers.
    ok &= Measure("cold: server start + round trip", 1, roundTrip);
    ok &= Measure("create + SaveFilterConfigToFile + release", 200, roundTrip);
    ok &= Measure("create + release", 200, [&]() -> HRESULT {
        IControlHelper* control = nullptr;
        const HRESULT hr = Create(&control);
        if (SUCCEEDED(hr)) control->Release();
        return hr;
    });
    // Where creation spends its time: finding the class object, and making an object on a kept one. A kept
    // object keeps the server up meanwhile.
    IControlHelper* kept = nullptr;
    HRESULT got = Create(&kept);
    IClassFactory* factory = nullptr;
    if (SUCCEEDED(got))
        got = CoGetClassObject(CLSID_ControlHelper, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory));
    if (FAILED(got)) {
        std::printf("%-46s failed: 0x%08lx\n", "kept object and class object",
                    static_cast<unsigned long>(got));
        ok = false;
    } else {
        ok &= Measure("class object: get + release", 200, [&]() -> HRESULT {
            IClassFactory* another = nullptr;
            const HRESULT hr = CoGetClassObject(CLSID_ControlHelper, CLSCTX_LOCAL_SERVER, nullptr,
                                                IID_IClassFactory, reinterpret_cast<void**>(&another));
            if (SUCCEEDED(hr)) another->Release();
            return hr;
        });
        ok &= Measure("kept class object: IUnknown + release", 200, [&]() -> HRESULT {
            IUnknown* object = nullptr;
            const HRESULT hr =
                factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
            if (SUCCEEDED(hr)) object->Release();
            return hr;
        });
        ok &= Measure("kept class object: IControlHelper + release", 200, [&]() -> HRESULT {
            IControlHelper* object = nullptr;
            const HRESULT hr =
                factory->CreateInstance(nullptr, IID_IControlHelper, reinterpret_cast<void**>(&object));
            if (SUCCEEDED(hr)) object->Release();
            return hr;
        });
        ok &= Measure("SaveFilterConfigToFile on a kept object", 200,
                      [&] { return kept->SaveFilterConfigToFile(filter); });
    }
    if (factory) factory->Release();
    if (kept) kept->Release();
    SysFreeString(filter);
    CoUninitialize();
    RunCorvane(L"/UnregServer");
    return ok ? 0 : 1;
}
