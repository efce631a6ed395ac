// Windows binding to the helper service: a fresh local-server instance of the class the IDL build names per
// call, automation strings made from the caller's texts and freed after the call, output strings copied
// and freed here.
#include "platform/HelperService.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "Corvane_h.h"
#include "platform/win32/Handles.h"
#include "platform/win32/SystemMessage.h"
#include "platform/win32/Wide.h"

namespace platform {

namespace {

using win32::CBstr;
using win32::CComPtr;

// Steps 1 and 2 of every call; false with `status` filled when either fails. The class identifiers come
// from the IDL build, so step 1 (turning the identifier into a class) cannot fail on this side.
// Answers of an activation that met a server on its way out: a plain local server that revoked its
// classes after its last object just as this activation found its class. Where class objects cannot be
// suspended (Wine), the activation learns of it only afterwards: the server's class lookup answers E_FAIL
// once the class is revoked, or the call fails because the process has gone. Nothing ran yet, so a new
// activation, which starts a fresh server, is safe.
bool ServerWentAway(HRESULT hr) {
    switch (static_cast<uint32_t>(hr)) {
        case 0x80004005u:  // E_FAIL: the class was revoked between the lookup and the creation
        case 0x800706BAu:  // RPC_S_SERVER_UNAVAILABLE
        case 0x800706BEu:  // RPC_S_CALL_FAILED
        case 0x800706BFu:  // RPC_S_CALL_FAILED_DNE
        case 0x80010108u:  // RPC_E_DISCONNECTED
        case 0x80010007u:  // RPC_E_SERVER_DIED
        case 0x80010012u:  // RPC_E_SERVER_DIED_DNE
        case 0x800401FDu:  // CO_E_OBJNOTCONNECTED
        case 0x80004028u:  // CO_E_SERVER_STOPPING
            return true;
        default:
            return false;
    }
}

constexpr int kActivationAttempts = 3;

template <typename I>
bool Create(const CLSID& clsid, CComPtr<I>& instance, HelperStatus& status) {
    HRESULT hr = E_FAIL;
    for (int attempt = 0; attempt < kActivationAttempts; ++attempt) {
        instance.Reset();
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(I), instance.ReceiveVoid());
        if (!ServerWentAway(hr)) break;
    }
    if (FAILED(hr)) {
        status.code = hr;
        status.step = HelperStep::Create;
        return false;
    }
    return true;
}

// The service's description of a failed call, when its object offers one.
template <typename I>
void Finish(const CComPtr<I>& instance, HRESULT hr, HelperStatus& status) {
    status.code = hr;
    status.step = HelperStep::Call;
    if (SUCCEEDED(hr)) return;
    CComPtr<ISupportErrorInfo> support;
    if (FAILED(instance->QueryInterface(IID_ISupportErrorInfo, support.ReceiveVoid()))) return;
    const bool offers = support->InterfaceSupportsErrorInfo(__uuidof(I)) == S_OK;
    CComPtr<IErrorInfo> info;
    if (!offers || GetErrorInfo(0, info.Receive()) != S_OK || !info) return;
    CBstr description;
    if (SUCCEEDED(info->GetDescription(description.Receive())) && description)
        status.description = description.Text();
}

template <typename Body>
HelperStatus CallControl(Body body) {
    HelperStatus status;
    CComPtr<IControlHelper> instance;
    if (Create(CLSID_ControlHelper, instance, status)) Finish(instance, body(instance.Get()), status);
    return status;
}

// The service creates diagnosis output files with the caller's rights; that needs an impersonation-level
// token, which this process does not grant by default. A refusal only means the service declines the file.
void AllowImpersonation(IControlHelper* instance) {
    CoSetProxyBlanket(instance, RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_DEFAULT, COLE_DEFAULT_PRINCIPAL,
                      RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_DEFAULT);
}

template <typename Body>
HelperStatus CallRoute(Body body) {
    HelperStatus status;
    CComPtr<IRouteHelper> instance;
    if (Create(CLSID_RouteHelper, instance, status)) Finish(instance, body(instance.Get()), status);
    return status;
}

}  // namespace

std::u16string HelperCodeText(int32_t code) {
    return win32::SystemMessageLine(static_cast<uint32_t>(code));
}

HelperStatus HelperSaveOrchConfigToFile(std::u16string_view commuServer, int32_t orchId, int32_t cpeId,
                                        int32_t customerId, std::u16string_view token, std::u16string_view sn,
                                        std::u16string_view backServer) {
    return CallControl([&](IControlHelper* i) {
        CBstr a(commuServer), b(token), c(sn), d(backServer);
        return i->SaveOrchConfigToFile(a.Get(), orchId, cpeId, customerId, b.Get(), c.Get(), d.Get());
    });
}

HelperStatus HelperSaveFilterConfigToFile(std::u16string_view filterContent) {
    return CallControl([&](IControlHelper* i) {
        CBstr a(filterContent);
        return i->SaveFilterConfigToFile(a.Get());
    });
}

HelperStatus HelperStartDataPath(std::u16string_view orchDomain, int32_t enableHotSpotOrTransferMode,
                                 int32_t& isErr, int32_t langId, std::optional<std::u16string>& msgErr,
                                 int32_t& isIcsEnable) {
    return CallControl([&](IControlHelper* i) {
        CBstr domain(orchDomain), message;
        LONG err = isErr, ics = isIcsEnable;
        const HRESULT hr = i->StartDataPath(domain.Get(), enableHotSpotOrTransferMode, &err, langId,
                                            message.Receive(), &ics);
        isErr = err;
        isIcsEnable = ics;
        message.CopyTo(msgErr);
        return hr;
    });
}

HelperStatus HelperStopDataPath(std::optional<std::u16string>& msgErr) {
    return CallControl([&](IControlHelper* i) {
        CBstr message;
        const HRESULT hr = i->StopDataPath(message.Receive());
        message.CopyTo(msgErr);
        return hr;
    });
}

HelperStatus HelperGetSystemInfo(std::u16string_view execPath, std::u16string_view outFilePath) {
    return CallControl([&](IControlHelper* i) {
        CBstr a(execPath), b(outFilePath);
        AllowImpersonation(i);
        return i->GetSystemInfo(a.Get(), b.Get());
    });
}

HelperStatus HelperFixErrAuto(uint32_t errCode) {
    return CallControl([&](IControlHelper* i) { return i->FixErrAuto(errCode); });
}

HelperStatus HelperWifiSpotHotNotify(int32_t& ifIndex, int32_t langId, std::optional<std::u16string>& msg) {
    return CallControl([&](IControlHelper* i) {
        CBstr message;
        INT index = ifIndex;
        const HRESULT hr = i->WifiSpotHotNotify(&index, langId, message.Receive());
        ifIndex = index;
        message.CopyTo(msg);
        return hr;
    });
}

HelperStatus HelperProduceNsCtlLog(std::u16string_view path, std::u16string_view name) {
    return CallControl([&](IControlHelper* i) {
        CBstr a(path), b(name);
        AllowImpersonation(i);
        return i->ProduceNsCtlLog(a.Get(), b.Get());
    });
}

HelperStatus HelperAddRoute(std::u16string_view routerToGw, std::u16string_view routerToVpn,
                            std::u16string_view l2tpInfName, int32_t mode) {
    return CallRoute([&](IRouteHelper* i) {
        CBstr a(routerToGw), b(routerToVpn), c(l2tpInfName);
        return i->AddRoute(a.Get(), b.Get(), c.Get(), mode);
    });
}

HelperStatus HelperRemoveRoutes(const std::vector<std::u16string>& routes) {
    return CallRoute([&](IRouteHelper* i) {
        HRESULT hr = S_OK;
        for (const std::u16string& route : routes) {
            CBstr a(route);
            hr = i->RemoveRoute(a.Get());
            if (FAILED(hr)) break;
        }
        return hr;
    });
}

HelperStatus HelperAddRouterToGW(std::u16string_view routerToGw) {
    return CallRoute([&](IRouteHelper* i) {
        CBstr a(routerToGw);
        return i->AddRouterToGW(a.Get());
    });
}

HelperStatus HelperFindMinMetricInfOfDefaultGW(int32_t exceptL2tpInf, int32_t exceptVirtualInf,
                                               std::u16string_view l2tpInfName, int32_t& index) {
    return CallRoute([&](IRouteHelper* i) {
        CBstr a(l2tpInfName);
        INT value = index;
        const HRESULT hr = i->FindMinMetricInfOfDefaultGW(exceptL2tpInf, exceptVirtualInf, a.Get(), &value);
        index = value;
        return hr;
    });
}

}  // namespace platform
