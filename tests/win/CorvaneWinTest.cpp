// Corvane under Wine, for real: registration switches and their registry entries, the AppID's launch and
// access descriptors as data, COM activation of the local server and of the service, every method through
// the client binding and through IDispatch by DISPID, and the server ending after its last object.
// (The configuration files and registry values the methods write: CorvaneConfigWinTest.)
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <sddl.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <string>
#include <vector>

#include "Corvane_h.h"
#include "platform/HelperService.h"
#include "support/CorvaneProcess.h"

using namespace velora::test;

namespace {

constexpr wchar_t kAppIdKey[] = L"AppID\\{7442374d-d8b6-44d5-97d6-03a64523c27d}";
constexpr HRESULT kNotImpl = E_NOTIMPL;

// What a gateway route answers on this machine: Wine lists the host's real routing table (and creating a
// route changes nothing), so the answer is S_OK when the table has a default route, else E_NOTIMPL.
HRESULT GatewayRouteAnswer() {
    ULONG size = 0;
    if (GetIpForwardTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) return E_NOTIMPL;
    std::vector<BYTE> buffer(size);
    auto* table = reinterpret_cast<MIB_IPFORWARDTABLE*>(buffer.data());
    if (GetIpForwardTable(table, &size, FALSE) != NO_ERROR) return E_NOTIMPL;
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        if (table->table[i].dwForwardDest == 0) return S_OK;
    return E_NOTIMPL;
}

std::wstring ReadText(HKEY root, const std::wstring& key, const wchar_t* name, bool* present = nullptr) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    const LSTATUS s = RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size);
    if (present) *present = s == ERROR_SUCCESS;
    return s == ERROR_SUCCESS ? std::wstring(value) : std::wstring();
}

std::vector<BYTE> ReadBinary(HKEY root, const std::wstring& key, const wchar_t* name) {
    std::vector<BYTE> bytes(4096);
    DWORD size = static_cast<DWORD>(bytes.size());
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_BINARY, nullptr, bytes.data(), &size) !=
        ERROR_SUCCESS)
        return {};
    bytes.resize(size);
    return bytes;
}

// Each test starts from a clean registration (the prefix is shared by all test processes) and leaves none.
class CorvaneTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        RunCorvane(L"/UnregServerPerUser");
        ASSERT_EQ(RunCorvane(L"/UnregServer"), 0);
    }
    void TearDown() override {
        EXPECT_EQ(RunCorvane(L"/UnregServer"), 0);
        WaitUntilCorvaneEnds(10000);
        CoUninitialize();
    }
};

struct DescriptorFacts {
    bool valid = false;
    std::vector<std::pair<std::wstring, DWORD>> allowed;  // SID text, access mask
    int otherAces = 0;
};

DescriptorFacts Inspect(const std::vector<BYTE>& bytes) {
    DescriptorFacts facts;
    if (bytes.empty() || !IsValidSecurityDescriptor(const_cast<BYTE*>(bytes.data()))) return facts;
    facts.valid = true;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(const_cast<BYTE*>(bytes.data()), &present, &dacl, &defaulted) ||
        !present || !dacl) {
        facts.valid = false;
        return facts;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            ++facts.otherAces;
            continue;
        }
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        wchar_t* sid = nullptr;
        ConvertSidToStringSidW(&allowed->SidStart, &sid);
        facts.allowed.emplace_back(sid ? sid : L"?", allowed->Mask);
        LocalFree(sid);
    }
    return facts;
}

TEST_F(CorvaneTest, RegServerWritesClassesTypeLibraryAndGuardedAppId) {
    ASSERT_EQ(RunCorvane(L"-RegServer"), 0);
    const std::wstring exe = CorvanePath();
    struct ClassCase {
        const wchar_t *clsid, *progId, *indep, *name;
    };
    const ClassCase classes[] = {
        {L"{bad0a0ad-c16e-4380-9ece-65a51b28a63a}", L"Corvane.ControlHelper.1", L"Corvane.ControlHelper",
         L"ControlHelper"},
        {L"{bb4f20ea-f314-4ccf-9ef2-fa503f862a53}", L"Corvane.RouteHelper.1", L"Corvane.RouteHelper",
         L"RouteHelper"},
    };
    for (const ClassCase& c : classes) {
        SCOPED_TRACE(testing::Message() << c.progId);
        const std::wstring key = std::wstring(L"CLSID\\") + c.clsid;
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, c.progId, nullptr), std::wstring(c.name) + L" Class");
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, std::wstring(c.progId) + L"\\CLSID", nullptr), c.clsid);
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, c.indep, nullptr), std::wstring(c.name) + L" Class");
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, std::wstring(c.indep) + L"\\CurVer", nullptr), c.progId);
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, key, nullptr), std::wstring(c.name) + L" class");
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, key, L"AppID"), L"{7442374d-d8b6-44d5-97d6-03a64523c27d}");
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, key + L"\\LocalServer32", nullptr), L"\"" + exe + L"\"");
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, key + L"\\LocalServer32", L"ServerExecutable"), exe);
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, key + L"\\TypeLib", nullptr),
                  L"{7442374d-d8b6-44d5-97d6-03a64523c27d}");
        EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, key + L"\\Version", nullptr), L"1.0");
        HKEY programmable = nullptr;
        EXPECT_EQ(
            RegOpenKeyExW(HKEY_CLASSES_ROOT, (key + L"\\Programmable").c_str(), 0, KEY_READ, &programmable),
            ERROR_SUCCESS);
        if (programmable) RegCloseKey(programmable);
    }
    bool present = true;
    ReadText(HKEY_CLASSES_ROOT, kAppIdKey, L"LocalService", &present);
    EXPECT_FALSE(present) << "a plain local server has no LocalService value";

    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadRegTypeLib(LIBID_CorvaneLib, 1, 0, 0, &library), S_OK);
    library->Release();

    // Launch and access only for SYSTEM, Administrators and INTERACTIVE, and only from this machine.
    struct PermissionCase {
        const wchar_t* value;
        DWORD mask;
    };
    for (const PermissionCase& p :
         {PermissionCase{L"LaunchPermission", 0xB}, PermissionCase{L"AccessPermission", 0x3}}) {
        SCOPED_TRACE(testing::Message() << p.value);
        const DescriptorFacts facts = Inspect(ReadBinary(HKEY_CLASSES_ROOT, kAppIdKey, p.value));
        ASSERT_TRUE(facts.valid);
        EXPECT_EQ(facts.otherAces, 0);
        std::vector<std::wstring> sids;
        for (const auto& [sid, mask] : facts.allowed) {
            sids.push_back(sid);
            EXPECT_EQ(mask, p.mask) << "no remote execution or activation";
        }
        std::sort(sids.begin(), sids.end());
        EXPECT_EQ(sids, (std::vector<std::wstring>{L"S-1-5-18", L"S-1-5-32-544", L"S-1-5-4"}));
    }

    ASSERT_EQ(RunCorvane(L"/UNREGSERVER"), 0);
    EXPECT_NE(RegGetValueW(HKEY_CLASSES_ROOT, L"Corvane.ControlHelper", nullptr, RRF_RT_ANY, nullptr, nullptr,
                           nullptr),
              ERROR_SUCCESS);
    HKEY appId = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, kAppIdKey, 0, KEY_READ, &appId), ERROR_SUCCESS)
        << "the AppID stays";
    if (appId) RegCloseKey(appId);
    EXPECT_TRUE(ReadBinary(HKEY_CLASSES_ROOT, kAppIdKey, L"LaunchPermission").empty());
}

TEST_F(CorvaneTest, BindingReachesEveryMethodOfTheLocalServer) {
    ASSERT_EQ(RunCorvane(L"/RegServer"), 0);
    std::optional<std::u16string> msg, hotspotMsg;
    int32_t a = 0, b = 0;
    const std::u16string big(100000, u'x');
    struct Case {
        const char* what;
        platform::HelperStatus status;
        HRESULT expected;
    };
    const Case cases[] = {
        {"SaveOrchConfigToFile",
         platform::HelperSaveOrchConfigToFile(u"10.0.0.1", 1, 2, 3, u"tok", u"SN1", u"a,b"), S_OK},
        {"SaveOrchConfigToFile injected line",
         platform::HelperSaveOrchConfigToFile(u"10.0.0.1\r\norchid=1", 1, 2, 3, u"tok", u"SN1", u""),
         E_INVALIDARG},
        {"SaveOrchConfigToFile injected switch",
         platform::HelperSaveOrchConfigToFile(u"10.0.0.1", 1, 2, 3, u"tok -d evil", u"SN1", u""),
         E_INVALIDARG},
        {"SaveFilterConfigToFile 100000 units", platform::HelperSaveFilterConfigToFile(big), S_OK},
        {"StartDataPath", platform::HelperStartDataPath(u"orch.test", 0, a, 1033, msg, b), S_OK},
        {"StartDataPath 300 units",
         platform::HelperStartDataPath(std::u16string(300, u'd'), 0, a, 1033, msg, b), E_INVALIDARG},
        {"StopDataPath", platform::HelperStopDataPath(msg), S_OK},
        {"GetSystemInfo", platform::HelperGetSystemInfo(u"C:\\x.bat", u"C:\\out.txt"), E_ACCESSDENIED},
        {"FixErrAuto", platform::HelperFixErrAuto(7), S_OK},
        {"WifiSpotHotNotify", platform::HelperWifiSpotHotNotify(a, 1033, hotspotMsg), S_OK},
        {"ProduceNsCtlLog", platform::HelperProduceNsCtlLog(u"C:\\logs", u"ns.log"), E_ACCESSDENIED},
        // No tunnel interface exists here; the listed host route is not in the table.
        {"AddRoute", platform::HelperAddRoute(u"1.1.1.1", u"2.2.2.2", u"Hal-Vane", 1), E_FAIL},
        {"AddRoute prefix 33", platform::HelperAddRoute(u"1.1.1.1/33", u"", u"Hal-Vane", -1), E_INVALIDARG},
        {"RemoveRoute", platform::HelperRemoveRoutes({u"1.1.1.1", u"2.2.2.2"}), HRESULT(0x80070002)},
        {"AddRouterToGW", platform::HelperAddRouterToGW(u"1.1.1.1"), GatewayRouteAnswer()},
        {"FindMinMetricInfOfDefaultGW", platform::HelperFindMinMetricInfOfDefaultGW(0, 1, u"", a), S_OK},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.status.step, platform::HelperStep::Call) << c.what;
        EXPECT_EQ(c.status.code, c.expected) << c.what;
    }
    EXPECT_FALSE(msg.has_value()) << "no method set a text";
    // Wine has no internet connection profile: the hotspot state cannot be read.
    EXPECT_EQ(hotspotMsg,
              u"There may be a problem with the acceleration hotspot device due to the failure to "
              u"obtain the Wi-Fi hotspot status");
    EXPECT_TRUE(WaitUntilCorvaneEnds(10000)) << "a plain local server ends after its last object";
}

TEST_F(CorvaneTest, NullStringsAndDispatchByIdentifier) {
    ASSERT_EQ(RunCorvane(L"/RegServer"), 0);
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(L"Corvane.ControlHelper", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_ControlHelper));

    IControlHelper* control = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ControlHelper, nullptr, CLSCTX_LOCAL_SERVER, IID_IControlHelper,
                               reinterpret_cast<void**>(&control)),
              S_OK);
    EXPECT_EQ(control->GetSystemInfo(nullptr, nullptr), E_ACCESSDENIED);
    EXPECT_EQ(control->ProduceNsCtlLog(nullptr, nullptr), E_ACCESSDENIED);
    BSTR withNull = SysAllocStringLen(L"a\0-T b", 6);
    EXPECT_EQ(control->SaveOrchConfigToFile(withNull, 0, 0, 0, nullptr, nullptr, nullptr), E_INVALIDARG)
        << "a null character inside an automation string is not cut away";
    SysFreeString(withNull);

    const wchar_t* controlNames[] = {L"SaveOrchConfigToFile", L"SaveFilterConfigToFile", L"StartDataPath",
                                     L"StopDataPath",         L"GetSystemInfo",          L"FixErrAuto",
                                     L"WifiSpotHotNotify",    L"ProduceNsCtlLog"};
    for (DISPID expected = 1; expected <= 8; ++expected) {
        LPOLESTR name = const_cast<LPOLESTR>(controlNames[expected - 1]);
        DISPID id = 0;
        EXPECT_EQ(control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK) << expected;
        EXPECT_EQ(id, expected);
    }

    // DISPID 3 with its arguments in reverse order: OrchDomain, mode, IsErr, LangID, MsgErr, IsIcsEnable.
    auto invokeStart = [&](const wchar_t* domain) {
        LONG isErr = 5, ics = 6;
        BSTR message = nullptr;
        VARIANT args[6];
        for (auto& v : args) VariantInit(&v);
        args[5].vt = VT_BSTR;
        args[5].bstrVal = SysAllocString(domain);
        args[4].vt = VT_INT;
        args[4].intVal = 0;
        args[3].vt = VT_I4 | VT_BYREF;
        args[3].plVal = &isErr;
        args[2].vt = VT_INT;
        args[2].intVal = 1033;
        args[1].vt = VT_BSTR | VT_BYREF;
        args[1].pbstrVal = &message;
        args[0].vt = VT_I4 | VT_BYREF;
        args[0].plVal = &ics;
        DISPPARAMS params = {args, nullptr, 6, 0};
        EXCEPINFO info = {};
        UINT bad = 0;
        HRESULT hr =
            control->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &info, &bad);
        SysFreeString(args[5].bstrVal);
        SysFreeString(message);
        // A failing method comes back either as itself or wrapped in the exception record.
        if (hr == DISP_E_EXCEPTION) hr = info.scode ? info.scode : hr;
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        return hr;
    };
    BSTR token = SysAllocString(L"tok"), serial = SysAllocString(L"SN1");
    EXPECT_EQ(control->SaveOrchConfigToFile(nullptr, 0, 0, 0, token, serial, nullptr), S_OK);
    SysFreeString(token);
    SysFreeString(serial);
    EXPECT_EQ(invokeStart(L"orch.test"), S_OK) << "the direct call's answer";
    BSTR stopped = nullptr;
    EXPECT_EQ(control->StopDataPath(&stopped), S_OK);
    SysFreeString(stopped);
    EXPECT_EQ(invokeStart(L"orch.test -I 7"), E_INVALIDARG);
    control->Release();

    IRouteHelper* route = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_RouteHelper, nullptr, CLSCTX_LOCAL_SERVER, IID_IRouteHelper,
                               reinterpret_cast<void**>(&route)),
              S_OK);
    const wchar_t* routeNames[] = {L"AddRoute", L"RemoveRoute", L"AddRouterToGW",
                                   L"FindMinMetricInfOfDefaultGW"};
    for (DISPID expected = 1; expected <= 4; ++expected) {
        LPOLESTR name = const_cast<LPOLESTR>(routeNames[expected - 1]);
        DISPID id = 0;
        EXPECT_EQ(route->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        EXPECT_EQ(id, expected);
    }
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(L"10.1.1.1");
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    EXCEPINFO info = {};
    HRESULT hr =
        route->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &info, nullptr);
    if (hr == DISP_E_EXCEPTION) hr = info.scode;
    EXPECT_EQ(hr, GatewayRouteAnswer()) << "the direct call's answer";
    VariantClear(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(L"10.1.1.1,300.1.1.1");
    hr = route->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &info, nullptr);
    if (hr == DISP_E_EXCEPTION) hr = info.scode;
    EXPECT_EQ(hr, E_INVALIDARG);
    VariantClear(&arg);
    route->Release();
}

TEST_F(CorvaneTest, ServiceSwitchInstallsTheServiceThatComStarts) {
    ASSERT_EQ(RunCorvane(L"/Service"), 0);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kAppIdKey, L"LocalService"), L"Corvane");

    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE service = OpenServiceW(manager, L"Corvane", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    ASSERT_NE(service, nullptr);
    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                                    static_cast<DWORD>(buffer.size()), &needed));
    const auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_IGNORE));
    EXPECT_EQ(std::wstring(config->lpBinaryPathName), L"\"" + CorvanePath() + L"\"");
    // Wine's service manager keeps no dependency list (neither in the configuration nor the registry).
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
        EXPECT_EQ(std::wstring(config->lpDependencies), L"RPCSS");
    }
    EXPECT_EQ(std::wstring(config->lpDisplayName), L"Corvane");

    // Activation starts the service; its objects answer like the local server's.
    int32_t index = 9;
    const platform::HelperStatus status = platform::HelperFindMinMetricInfOfDefaultGW(0, 0, u"", index);
    EXPECT_EQ(status.step, platform::HelperStep::Call);
    EXPECT_EQ(status.code, S_OK);
    SERVICE_STATUS state = {};
    ASSERT_TRUE(QueryServiceStatus(service, &state));
    EXPECT_EQ(state.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    // Releasing the last object does not end a service.
    Sleep(1500);
    ASSERT_TRUE(QueryServiceStatus(service, &state));
    EXPECT_EQ(state.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);

    // "RegServer" removes the service again and leaves a plain local server.
    ASSERT_EQ(RunCorvane(L"/RegServer"), 0);
    bool present = true;
    ReadText(HKEY_CLASSES_ROOT, kAppIdKey, L"LocalService", &present);
    EXPECT_FALSE(present);
    EXPECT_TRUE(WaitUntilCorvaneEnds(10000)) << "the stop control ended the service process";
}

// Registering again while the service runs or is still starting (as an installer that replaces the
// product does, perhaps right after the machine started it) stops it, waits until it has stopped and is
// gone, and creates it again: the service is still there afterwards and COM activation starts it.
TEST_F(CorvaneTest, ServiceSwitchOverARunningOrStartingServiceLeavesItInstalled) {
    for (const bool starting : {false, true}) {
        SCOPED_TRACE(starting ? "over a starting service" : "over a running service");
        ASSERT_EQ(RunCorvane(L"/Service"), 0);
        int32_t index = 9;
        if (starting) {
            SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
            SC_HANDLE service = manager ? OpenServiceW(manager, L"Corvane", SERVICE_START) : nullptr;
            ASSERT_NE(service, nullptr);
            EXPECT_TRUE(StartServiceW(service, 0, nullptr));
            CloseServiceHandle(service);
            CloseServiceHandle(manager);
        } else {
            ASSERT_EQ(platform::HelperFindMinMetricInfOfDefaultGW(0, 0, u"", index).code, S_OK);
        }
        ASSERT_EQ(RunCorvane(L"/Service"), 0);
        EXPECT_TRUE(WaitUntilCorvaneEnds(20000)) << "the stop control ended the old service process";
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        ASSERT_NE(manager, nullptr);
        SC_HANDLE service = OpenServiceW(manager, L"Corvane", SERVICE_QUERY_CONFIG);
        EXPECT_NE(service, nullptr) << "the service was created again, not lost with the old one";
        if (service) {
            std::vector<BYTE> buffer(8192);
            DWORD needed = 0;
            ASSERT_TRUE(QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                                            static_cast<DWORD>(buffer.size()), &needed));
            EXPECT_EQ(reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data())->dwStartType,
                      static_cast<DWORD>(SERVICE_AUTO_START));
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
        EXPECT_EQ(platform::HelperFindMinMetricInfOfDefaultGW(0, 0, u"", index).code, S_OK)
            << "COM activation starts the new service";
        ASSERT_EQ(RunCorvane(L"/UnregServer"), 0);
        ASSERT_TRUE(WaitUntilCorvaneEnds(20000));
    }
}

TEST_F(CorvaneTest, PerUserRegistrationLivesUnderTheUsersClasses) {
    ASSERT_EQ(RunCorvane(L"/RegServerPerUser"), 0);
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, L"Software\\Classes\\Corvane.RouteHelper\\CurVer", nullptr),
              L"Corvane.RouteHelper.1");
    EXPECT_EQ(RunCorvane(L"/UnregServerPerUser"), 0);
    bool present = true;
    ReadText(HKEY_CURRENT_USER, L"Software\\Classes\\Corvane.RouteHelper\\CurVer", nullptr, &present);
    EXPECT_FALSE(present);
}

TEST_F(CorvaneTest, StartedByHandItEndsAtOnceWhenItCannotServe) {
    // Without its AppID key the process ends with the registry error.
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kAppIdKey);
    EXPECT_EQ(RunCorvane(L""), static_cast<long>(ERROR_FILE_NOT_FOUND));
    // Registered as a service but started from a console: the dispatcher refuses and the process ends.
    ASSERT_EQ(RunCorvane(L"/Service"), 0);
    const long result = RunCorvane(L"");
    EXPECT_NE(result, -1) << "did not end";
    EXPECT_NE(result, 0);
}

// Starts of the server under load: a plain local server that ends after its last object while an
// activation has just found its class (Wine cannot suspend class objects, so the activation meets a server
// on its way out), and a service stopped between calls that the next activation starts again. Every call
// must succeed. The pauses straddle the plain server's one-second linger so that its end and the next
// activation meet; busy threads load both cores meanwhile. Nothing here is timed: only the answers count.
TEST_F(CorvaneTest, StartsUnderLoadAnswerEveryFirstCall) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> load;
    for (int i = 0; i < 3; ++i)
        load.emplace_back([&stop] {
            std::atomic<unsigned> spin{0};
            while (!stop) spin.fetch_add(1, std::memory_order_relaxed);
        });
    struct Case {
        const wchar_t* registration;
        bool stopBetweenCalls;
    };
    for (const Case& c : {Case{L"/RegServer", false}, Case{L"/Service", true}}) {
        SCOPED_TRACE(testing::Message() << std::wstring(c.registration).c_str());
        ASSERT_EQ(RunCorvane(c.registration), 0);
        for (int round = 0; round < 10; ++round) {
            SCOPED_TRACE(round);
            if (c.stopBetweenCalls) {
                SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
                SC_HANDLE service =
                    manager ? OpenServiceW(manager, L"Corvane", SERVICE_STOP | SERVICE_QUERY_STATUS)
                            : nullptr;
                SERVICE_STATUS state = {};
                if (service) ControlService(service, SERVICE_CONTROL_STOP, &state);
                for (int i = 0; service && i < 300 && QueryServiceStatus(service, &state) &&
                                state.dwCurrentState != SERVICE_STOPPED;
                     ++i)
                    Sleep(50);
                if (service) CloseServiceHandle(service);
                if (manager) CloseServiceHandle(manager);
            } else {
                Sleep(900 + 25 * round);
            }
            const platform::HelperStatus status = platform::HelperFixErrAuto(720);
            EXPECT_EQ(status.code, S_OK) << "step " << static_cast<int>(status.step);
        }
        ASSERT_EQ(RunCorvane(L"/UnregServer"), 0);
        ASSERT_TRUE(WaitUntilCorvaneEnds(30000));
    }
    stop = true;
    for (auto& thread : load) thread.join();
}

}  // namespace
