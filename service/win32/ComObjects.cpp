// ControlHelper and RouteHelper: dual interfaces whose IDispatch half reads the type library embedded in
// the executable, so a call by DISPID runs the same code as a call through the interface slot.
#include "win32/ComObjects.h"

#include <oleauto.h>

#include <atomic>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "Corvane_h.h"
#include "logic/ControlHelperLogic.h"
#include "logic/RouteHelperLogic.h"
#include "platform/win32/Handles.h"
#include "win32/CallerToken.h"
#include "win32/Win32Network.h"
#include "win32/Win32ProcessControl.h"
#include "win32/Win32Sharing.h"
#include "win32/Win32ServiceStore.h"

namespace corvane::win32 {

namespace {

std::atomic<long> gLive{0};  // objects and server locks
std::atomic<ULONGLONG> gLastChange{0};

// The count alone decides when a plain local server ends (see RunServer). COM's own server-process count
// would suspend the class objects at zero, which sends the very next activation to a new process and
// makes a linger pointless.
void ServerAddRef() {
    ++gLive;
    gLastChange = GetTickCount64();
}

void ServerRelease() {
    gLastChange = GetTickCount64();
    --gLive;
}

// A null automation string stays distinguishable from an empty one: some methods write "(null)".
InText Text(BSTR text) {
    return TextArgument(reinterpret_cast<const char16_t*>(text), text ? SysStringLen(text) : 0);
}

std::u16string_view View(BSTR text) {
    return text ? std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text))
                : std::u16string_view();
}

HRESULT PutText(const std::optional<std::u16string>& text, BSTR* out) {
    if (!text) return S_OK;
    BSTR copy =
        SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text->data()), static_cast<UINT>(text->size()));
    if (!copy) return E_OUTOFMEMORY;
    *out = copy;
    return S_OK;
}

// Type information of an interface, read once from the executable's embedded type library.
HRESULT TypeInfoOf(REFIID iid, ITypeInfo** out) {
    static std::mutex lock;
    static ITypeInfo* control = nullptr;
    static ITypeInfo* route = nullptr;
    std::lock_guard<std::mutex> guard(lock);
    ITypeInfo*& slot = IsEqualIID(iid, IID_IControlHelper) ? control : route;
    if (!slot) {
        wchar_t path[MAX_PATH];
        const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return HRESULT_FROM_WIN32(n == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER);
        platform::win32::CComPtr<ITypeLib> library;
        HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, library.Receive());
        if (FAILED(hr)) return hr;
        hr = library->GetTypeInfoOfGuid(iid, &slot);
        library.Reset();
        if (FAILED(hr)) return hr;
    }
    slot->AddRef();
    *out = slot;
    return S_OK;
}

template <typename Body>
HRESULT Guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// IUnknown and IDispatch of a dual interface `I`.
template <typename I>
class CDualObject : public I {
public:
    CDualObject() { ServerAddRef(); }
    virtual ~CDualObject() { ServerRelease(); }
    CDualObject(const CDualObject&) = delete;
    CDualObject& operator=(const CDualObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, __uuidof(I))) {
            *out = static_cast<I*>(this);
            this->AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return TypeInfoOf(__uuidof(I), info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        platform::win32::CComPtr<ITypeInfo> info;
        HRESULT hr = TypeInfoOf(__uuidof(I), info.Receive());
        if (FAILED(hr)) return hr;
        return info->GetIDsOfNames(names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        platform::win32::CComPtr<ITypeInfo> info;
        HRESULT hr = TypeInfoOf(__uuidof(I), info.Receive());
        if (FAILED(hr)) return hr;
        return info->Invoke(static_cast<I*>(this), id, flags, params, result, exception, argError);
    }

private:
    std::atomic<ULONG> refs_{1};
};

class CControlHelper final : public CDualObject<IControlHelper> {
public:
    HRESULT STDMETHODCALLTYPE SaveOrchConfigToFile(BSTR CommuServer, INT OrchId, INT CpeId, INT CustomerId,
                                                   BSTR Token, BSTR Sn, BSTR BackServer) override {
        return Guarded([&] {
            return Logic().SaveOrchConfigToFile(Text(CommuServer), OrchId, CpeId, CustomerId, Text(Token),
                                               Text(Sn), Text(BackServer));
        });
    }
    HRESULT STDMETHODCALLTYPE SaveFilterConfigToFile(BSTR FilterContent) override {
        return Guarded([&] { return Logic().SaveFilterConfigToFile(Text(FilterContent)); });
    }
    HRESULT STDMETHODCALLTYPE StartDataPath(BSTR OrchDomain, INT EnableHotSpotOrTransferMode, LONG* IsErr,
                                            INT LangID, BSTR* MsgErr, LONG* IsIcsEnable) override {
        if (!IsErr || !MsgErr || !IsIcsEnable) return E_POINTER;
        return Guarded([&] {
            int32_t isErr = *IsErr, ics = *IsIcsEnable;
            std::optional<std::u16string> msg;
            const HRESULT hr =
                Logic().StartDataPath(Text(OrchDomain), EnableHotSpotOrTransferMode, isErr, LangID, msg, ics);
            *IsErr = isErr;
            *IsIcsEnable = ics;
            const HRESULT put = PutText(msg, MsgErr);
            return FAILED(put) ? put : hr;
        });
    }
    HRESULT STDMETHODCALLTYPE StopDataPath(BSTR* MsgErr) override {
        if (!MsgErr) return E_POINTER;
        return Guarded([&] {
            std::optional<std::u16string> msg;
            const HRESULT hr = Logic().StopDataPath(msg);
            const HRESULT put = PutText(msg, MsgErr);
            return FAILED(put) ? put : hr;
        });
    }
    HRESULT STDMETHODCALLTYPE GetSystemInfo(BSTR ExecPath, BSTR OutFilePath) override {
        return Guarded([&] { return Logic().GetSystemInfo(Text(ExecPath), Text(OutFilePath)); });
    }
    HRESULT STDMETHODCALLTYPE FixErrAuto(ULONG ErrCode) override {
        return Guarded([&] { return Logic().FixErrAuto(ErrCode); });
    }
    HRESULT STDMETHODCALLTYPE WifiSpotHotNotify(INT* IfIndex, INT LangID, BSTR* Msg) override {
        if (!IfIndex || !Msg) return E_POINTER;
        return Guarded([&] {
            int32_t index = *IfIndex;
            std::optional<std::u16string> msg;
            const HRESULT hr = Logic().WifiSpotHotNotify(index, LangID, msg);
            *IfIndex = index;
            const HRESULT put = PutText(msg, Msg);
            return FAILED(put) ? put : hr;
        });
    }
    HRESULT STDMETHODCALLTYPE ProduceNsCtlLog(BSTR Path, BSTR Name) override {
        return Guarded([&] { return Logic().ProduceNsCtlLog(Text(Path), Text(Name)); });
    }

private:
    // Per call: the caller is read from the call being served.
    static CControlHelperLogic Logic() {
        return CControlHelperLogic(ServiceStore(), ServiceProcesses(), ServiceSharing(), ReadCaller());
    }
};

class CRouteHelper final : public CDualObject<IRouteHelper> {
public:
    HRESULT STDMETHODCALLTYPE AddRoute(BSTR RouterToGw, BSTR RouterToVpn, BSTR L2TPInfName,
                                       INT Mode) override {
        return Guarded(
            [&] { return Logic().AddRoute(View(RouterToGw), View(RouterToVpn), View(L2TPInfName), Mode); });
    }
    HRESULT STDMETHODCALLTYPE RemoveRoute(BSTR RouteToGW) override {
        return Guarded([&] { return Logic().RemoveRoute(View(RouteToGW)); });
    }
    HRESULT STDMETHODCALLTYPE AddRouterToGW(BSTR RouterToGw) override {
        return Guarded([&] { return Logic().AddRouterToGW(View(RouterToGw)); });
    }
    HRESULT STDMETHODCALLTYPE FindMinMetricInfOfDefaultGW(LONG ExceptL2TPInf, LONG ExceptVirtualInf,
                                                          BSTR L2TPInfName, INT* Index) override {
        if (!Index) return E_POINTER;
        return Guarded([&] {
            int32_t index = *Index;
            const HRESULT hr =
                Logic().FindMinMetricInfOfDefaultGW(ExceptL2TPInf, ExceptVirtualInf, View(L2TPInfName), index);
            *Index = index;
            return hr;
        });
    }

private:
    static CRouteHelperLogic Logic() {
        return CRouteHelperLogic(Network(), ServiceStore(), ReadCaller(), &ServiceProcesses());
    }
};

// Class object of `T`; static, so never counted in the server's lifetime.
template <typename T>
class CClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        // Across processes there is nothing to aggregate with.
        if (outer) return CLASS_E_NOAGGREGATION;
        T* object = new (std::nothrow) T();
        if (!object) return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(riid, out);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ServerAddRef();
        else
            ServerRelease();
        return S_OK;
    }
};

CClassFactory<CControlHelper> gControlFactory;
CClassFactory<CRouteHelper> gRouteFactory;
DWORD gControlCookie = 0;
DWORD gRouteCookie = 0;

}  // namespace

HRESULT RegisterClassObjects() {
    HRESULT hr = CoRegisterClassObject(CLSID_ControlHelper, &gControlFactory, CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &gControlCookie);
    if (FAILED(hr)) return hr;
    hr = CoRegisterClassObject(CLSID_RouteHelper, &gRouteFactory, CLSCTX_LOCAL_SERVER,
                               REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &gRouteCookie);
    if (FAILED(hr)) {
        CoRevokeClassObject(gControlCookie);
        gControlCookie = 0;
    }
    return hr;
}

long LiveObjects() {
    return gLive;
}

void MarkObjectActivity() {
    gLastChange = GetTickCount64();
}

ULONGLONG LastObjectActivity() {
    return gLastChange;
}

void RevokeClassObjects() {
    if (gControlCookie) CoRevokeClassObject(gControlCookie);
    if (gRouteCookie) CoRevokeClassObject(gRouteCookie);
    gControlCookie = gRouteCookie = 0;
}

}  // namespace corvane::win32
