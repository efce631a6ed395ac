// Attacks on the installed Corvane under Wine, as a standard local caller would make them over COM: one
// table of calls with the HRESULT each must give, and after every call the proof that nothing happened
// (the decoy engine in a user's folder still runs, the engine another session started still runs as the
// same process, the routing table and the engine's configuration are as they were). Wine gives the
// service no COM call context, so the service cannot impersonate this caller: it is the unknown caller,
// never an administrator, which is what a standard user is to the binding rules. The engine "of another
// session" is the service's own engine whose owner in the service's state names another session's user,
// as the service records it on Windows.
#include <windows.h>
#include <iphlpapi.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "Corvane_h.h"
#include "InstalledProduct.h"
#include "platform/win32/Handles.h"

namespace velora::test {
namespace {

using platform::win32::CComPtr;

const std::filesystem::path kStateFile = kProgramFolder / L"corvane.state";
const std::filesystem::path kConfigFile = kProgramFolder / L"cpeagent.conf";

class CBstrArg {
public:
    explicit CBstrArg(const wchar_t* text) : m_text(SysAllocString(text)) {}
    ~CBstrArg() { SysFreeString(m_text); }
    CBstrArg(const CBstrArg&) = delete;
    CBstrArg& operator=(const CBstrArg&) = delete;
    operator BSTR() const { return m_text; }

private:
    BSTR m_text;
};

std::vector<MIB_IPFORWARDROW> RouteRows() {
    ULONG size = 0;
    GetIpForwardTable(nullptr, &size, FALSE);
    std::vector<BYTE> buffer(size + 4096);
    size = static_cast<ULONG>(buffer.size());
    std::vector<MIB_IPFORWARDROW> rows;
    if (GetIpForwardTable(reinterpret_cast<MIB_IPFORWARDTABLE*>(buffer.data()), &size, FALSE) != NO_ERROR)
        return rows;
    const auto* table = reinterpret_cast<MIB_IPFORWARDTABLE*>(buffer.data());
    rows.assign(table->table, table->table + table->dwNumEntries);
    return rows;
}

bool SameRows(const std::vector<MIB_IPFORWARDROW>& a, const std::vector<MIB_IPFORWARDROW>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].dwForwardDest != b[i].dwForwardDest || a[i].dwForwardMask != b[i].dwForwardMask ||
            a[i].dwForwardNextHop != b[i].dwForwardNextHop || a[i].dwForwardIfIndex != b[i].dwForwardIfIndex)
            return false;
    return true;
}

bool Running(HANDLE process) {
    return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

// The engine the service remembers: its id from the state file.
DWORD RecordedEngine() {
    std::istringstream in(ReadAll(kStateFile));
    std::string word;
    DWORD id = 0;
    while (in >> word)
        if (word == "engine" && in >> id) return id;
    return 0;
}

// Rewrites the engine line's owner (known session user), keeping id and creation time.
void SetEngineOwner(const std::string& owner) {
    std::istringstream in(ReadAll(kStateFile));
    std::string line, out;
    while (std::getline(in, line)) {
        if (line.rfind("engine ", 0) == 0) {
            std::istringstream words(line);
            std::string tag, id, created;
            words >> tag >> id >> created;
            line = "engine " + id + " " + created + " " + owner;
        }
        out += line + "\n";
    }
    std::ofstream(kStateFile, std::ios::binary | std::ios::trunc) << out;
}

class CorvaneAttack : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(CoCreateInstance(CLSID_ControlHelper, nullptr, CLSCTX_LOCAL_SERVER, IID_IControlHelper,
                                   m_control.ReceiveVoid()),
                  S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_RouteHelper, nullptr, CLSCTX_LOCAL_SERVER, IID_IRouteHelper,
                                   m_route.ReceiveVoid()),
                  S_OK);
        // The decoy: a program of the engine's name in a folder a user owns, that never ends by itself.
        wchar_t self[MAX_PATH];
        ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
        const std::filesystem::path linger = std::filesystem::path(self).parent_path() / L"linger.exe";
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        m_decoyFolder = std::filesystem::path(temp) / L"corvane-attack";
        std::filesystem::create_directories(m_decoyFolder);
        const std::filesystem::path decoy = m_decoyFolder / L"ferronwin.exe";
        ASSERT_TRUE(CopyFileW(linger.c_str(), decoy.c_str(), FALSE)) << GetLastError();
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        std::wstring line = L"\"" + decoy.wstring() + L"\"";
        ASSERT_TRUE(CreateProcessW(decoy.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                   nullptr, nullptr, &si, &pi));
        m_decoy.Reset(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    void TearDown() override {
        if (m_decoy) {
            TerminateProcess(m_decoy.Get(), 0);
            WaitForSingleObject(m_decoy.Get(), 5000);
        }
        m_route.Reset();
        m_control.Reset();
        CoUninitialize();
    }

    CComPtr<IControlHelper> m_control;
    CComPtr<IRouteHelper> m_route;
    std::filesystem::path m_decoyFolder;
    platform::win32::CKernelHandle m_decoy;
};

struct Attack {
    const char* what;
    std::function<HRESULT()> call;
    HRESULT expected;
};

TEST_F(CorvaneAttack, EveryRefusedCallLeavesEngineDecoyRoutesAndConfigurationAlone) {
    IControlHelper* control = m_control.Get();
    IRouteHelper* route = m_route.Get();
    // The client's own configuration and engine, started for this caller.
    ASSERT_EQ(control->SaveOrchConfigToFile(CBstrArg(L"127.0.0.1"), 1, 2, 3, CBstrArg(L"tok-attack"),
                                            CBstrArg(L"SN-ATTACK"), CBstrArg(L"")),
              S_OK);
    LONG isErr = 0, ics = 0;
    BSTR msg = nullptr;
    ASSERT_EQ(control->StartDataPath(CBstrArg(L"orch.test"), 0, &isErr, 1033, &msg, &ics), S_OK);
    SysFreeString(msg);
    msg = nullptr;
    const DWORD engineId = RecordedEngine();
    ASSERT_NE(engineId, 0u) << ReadAll(kStateFile);
    platform::win32::CKernelHandle engine(OpenProcess(SYNCHRONIZE, FALSE, engineId));
    ASSERT_TRUE(Running(engine.Get()));
    // As the service records an engine that a user of another session started.
    SetEngineOwner("1 7 S-1-5-21-1111-2222-3333-4242");

    const std::vector<MIB_IPFORWARDROW> routes = RouteRows();
    const std::string config = ReadAll(kConfigFile);
    const std::string state = ReadAll(kStateFile);
    wchar_t existing[32] = L"10.0.0.0/8";
    for (const MIB_IPFORWARDROW& row : routes) {
        if (row.dwForwardDest == 0) continue;
        const BYTE* b = reinterpret_cast<const BYTE*>(&row.dwForwardDest);
        swprintf(existing, 32, L"%u.%u.%u.%u/32", b[0], b[1], b[2], b[3]);
        break;
    }

    const Attack attacks[] = {
        // The engine another session started: stop, replace, reconfigure, repair, its routes.
        {"stop the other session's engine", [&] {
             BSTR m = nullptr;
             const HRESULT hr = control->StopDataPath(&m);
             SysFreeString(m);
             return hr;
         }, E_ACCESSDENIED},
        {"replace it with a start", [&] {
             LONG e = 7, i = 7;
             BSTR m = nullptr;
             const HRESULT hr = control->StartDataPath(CBstrArg(L""), 0, &e, 1033, &m, &i);
             SysFreeString(m);
             return hr == E_ACCESSDENIED && (e != 1 || i != 0) ? E_FAIL : hr;  // outputs: failure values
         }, E_ACCESSDENIED},
        {"rewrite its configuration", [&] {
             return control->SaveOrchConfigToFile(CBstrArg(L"evil.test"), 9, 9, 9, CBstrArg(L"tok-9"),
                                                  CBstrArg(L"SN9"), CBstrArg(L""));
         }, E_ACCESSDENIED},
        {"rewrite its filter list", [&] { return control->SaveFilterConfigToFile(CBstrArg(L"{}")); },
         E_ACCESSDENIED},
        {"run a repair under it", [&] { return control->FixErrAuto(711); }, E_ACCESSDENIED},
        {"route a host to the gateway", [&] { return route->AddRouterToGW(CBstrArg(L"20.1.2.3")); },
         E_ACCESSDENIED},
        {"add tunnel routes", [&] {
             return route->AddRoute(CBstrArg(L""), CBstrArg(L"31.0.0.0/8"), CBstrArg(L"Hal-Vane"), 1);
         }, E_ACCESSDENIED},
        // Whatever the engine's owner: what no caller may ever do.
        {"the split default pair", [&] { return route->AddRouterToGW(CBstrArg(L"0.0.0.0/1,128.0.0.0/1")); },
         E_ACCESSDENIED},
        {"a default route", [&] { return route->AddRouterToGW(CBstrArg(L"0.0.0.0/0")); }, E_ACCESSDENIED},
        {"on-link routes on another adapter", [&] {
             return route->AddRoute(CBstrArg(L""), CBstrArg(L"10.0.0.0/8"), CBstrArg(L"eth0"), 1);
         }, E_ACCESSDENIED},
        {"delete loopback", [&] { return route->RemoveRoute(CBstrArg(L"127.0.0.0/8")); }, E_ACCESSDENIED},
        {"delete multicast", [&] { return route->RemoveRoute(CBstrArg(L"224.0.0.0/4")); }, E_ACCESSDENIED},
        {"delete link-local", [&] { return route->RemoveRoute(CBstrArg(L"169.254.0.0/16")); }, E_ACCESSDENIED},
        {"delete the broadcast route", [&] { return route->RemoveRoute(CBstrArg(L"255.255.255.255")); },
         E_ACCESSDENIED},
        {"delete the default route", [&] { return route->RemoveRoute(CBstrArg(L"0.0.0.0/0")); }, E_ACCESSDENIED},
        {"delete a route the service did not add", [&] { return route->RemoveRoute(CBstrArg(existing)); },
         E_ACCESSDENIED},
        {"a domain that is not a host", [&] {
             LONG e = 7, i = 7;
             BSTR m = nullptr;
             const HRESULT hr = control->StartDataPath(CBstrArg(L"orch.test -I 3"), 0, &e, 1033, &m, &i);
             SysFreeString(m);
             return hr == E_INVALIDARG && (e != 1 || i != 0) ? E_FAIL : hr;
         }, E_INVALIDARG},
        {"a refused interface name leaves no index behind", [&] {
             INT index = 42;
             std::wstring name(300, L'x');
             const HRESULT hr = route->FindMinMetricInfOfDefaultGW(1, 0, CBstrArg(name.c_str()), &index);
             return hr == E_INVALIDARG && index != -1 ? E_FAIL : hr;
         }, E_INVALIDARG},
    };
    for (const Attack& attack : attacks) {
        SCOPED_TRACE(attack.what);
        EXPECT_EQ(attack.call(), attack.expected);
        EXPECT_TRUE(Running(m_decoy.Get())) << "the decoy runs";
        EXPECT_TRUE(Running(engine.Get())) << "the other session's engine runs";
        EXPECT_EQ(RecordedEngine(), engineId) << "and is still the service's engine";
        EXPECT_TRUE(SameRows(RouteRows(), routes)) << "routes unchanged";
        EXPECT_EQ(ReadAll(kConfigFile), config) << "configuration unchanged";
        EXPECT_EQ(ReadAll(kStateFile), state) << "state unchanged";
    }

    // Back to this caller: its own engine stops, the decoy is never taken for it.
    SetEngineOwner("0 0 -");
    ASSERT_EQ(control->StopDataPath(&msg), S_OK);
    SysFreeString(msg);
    msg = nullptr;
    EXPECT_EQ(WaitForSingleObject(engine.Get(), 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(Running(m_decoy.Get()));
    EXPECT_EQ(control->StopDataPath(&msg), static_cast<HRESULT>(0x80090011)) << "nothing of the service's";
    SysFreeString(msg);
    EXPECT_TRUE(Running(m_decoy.Get()));
}

}  // namespace
}  // namespace velora::test
