// The installed product under Wine, for real: what scripts/install-wine.sh leaves in the prefix (the program
// folder, the services "Corvane" and "brxnet" with their registrations), the packet driver's stand-in
// stopping and starting through the service manager, COM activation starting the stopped helper service
// from the program folder, and StartDataPath running the engine that lies beside it until it announces the
// orchestrator connection.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Corvane_h.h"
#include "InstalledProduct.h"
#include "platform/HelperService.h"

namespace velora::test {
namespace {

struct ServiceFacts {
    bool read = false;
    DWORD startType = 0;
    std::wstring binary;
};

ServiceFacts Configuration(const wchar_t* name) {
    ServiceFacts facts;
    CServiceHandle service = OpenInstalledService(name, SERVICE_QUERY_CONFIG);
    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    if (!service ||
        !QueryServiceConfigW(service.Get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                             static_cast<DWORD>(buffer.size()), &needed))
        return facts;
    const auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    facts.read = true;
    facts.startType = config->dwStartType;
    facts.binary = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
    return facts;
}

// The image path of the process that runs the service, or empty.
std::wstring ServiceImage(const wchar_t* name) {
    CServiceHandle service = OpenInstalledService(name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!service || !QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                                          reinterpret_cast<BYTE*>(&status), sizeof status, &needed))
        return {};
    CKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, status.dwProcessId));
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!process || !QueryFullProcessImageNameW(process.Get(), 0, path, &size)) return {};
    return std::wstring(path, size);
}

std::wstring RegistryText(const std::wstring& key, const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS)
        return {};
    return value;
}

std::wstring Quoted(const std::filesystem::path& path) {
    return L"\"" + path.wstring() + L"\"";
}

class InstalledProduct : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(InstalledProduct, ProgramFolderHoldsClientServiceEngineToolsAndDriver) {
    for (const wchar_t* name :
         {L"Velora.exe", L"Velora.dll", L"Corvane.exe", L"ferronwin.exe", L"dispatch.exe", L"nsCtl.exe",
          L"diagnosis.bat", L"fix692.bat", L"fixservice.bat", L"brxnet.exe"}) {
        EXPECT_TRUE(std::filesystem::is_regular_file(kProgramFolder / name)) << std::filesystem::path(name);
    }
    // The skin's file pictures lie in res\ beside the program, where its windows look for them.
    EXPECT_FALSE(std::filesystem::is_empty(kProgramFolder / "res"));
}

TEST_F(InstalledProduct, BothServicesRunFromTheProgramFolderAndStartWithTheMachine) {
    struct Case {
        const wchar_t* service;
        const wchar_t* image;
    };
    for (const Case& c : {Case{L"Corvane", L"Corvane.exe"}, Case{L"brxnet", L"brxnet.exe"}}) {
        SCOPED_TRACE(testing::Message() << std::filesystem::path(c.service));
        const ServiceFacts facts = Configuration(c.service);
        ASSERT_TRUE(facts.read);
        EXPECT_EQ(facts.binary, Quoted(kProgramFolder / c.image));
        EXPECT_EQ(facts.startType, static_cast<DWORD>(SERVICE_AUTO_START));
        EXPECT_EQ(ServiceState(c.service), static_cast<DWORD>(SERVICE_RUNNING));
    }
    // COM finds the service through the AppID and the installed executable through the class.
    EXPECT_EQ(RegistryText(L"AppID\\{7442374d-d8b6-44d5-97d6-03a64523c27d}", L"LocalService"), L"Corvane");
    EXPECT_EQ(RegistryText(L"CLSID\\{bad0a0ad-c16e-4380-9ece-65a51b28a63a}\\LocalServer32", nullptr),
              Quoted(kProgramFolder / "Corvane.exe"));
}

TEST_F(InstalledProduct, PacketDriverStopsAndStartsAgainThroughTheServiceManager) {
    const std::filesystem::path log = kProgramFolder / "brxnet.log";
    ASSERT_TRUE(WaitForServiceState(L"brxnet", SERVICE_RUNNING, 15000));
    const std::size_t before = ReadAll(log).size();
    ASSERT_TRUE(StopService(L"brxnet"));
    EXPECT_TRUE(WaitForCount(L"brxnet.exe", 0, 10000)) << "the stand-in's process ended";
    const std::size_t stopped = ReadAll(log).find("control: stop", before);
    EXPECT_NE(stopped, std::string::npos) << ReadAll(log);

    ASSERT_TRUE(StartService(L"brxnet"));
    EXPECT_EQ(CountProcesses(L"brxnet.exe"), 1);
    EXPECT_NE(ReadAll(log).find("running", stopped == std::string::npos ? before : stopped),
              std::string::npos)
        << "the new start was logged: " << ReadAll(log);
    EXPECT_EQ(ServiceImage(L"brxnet"), (kProgramFolder / "brxnet.exe").wstring());
}

TEST_F(InstalledProduct, ComActivationStartsTheStoppedHelperServiceFromTheProgramFolder) {
    ASSERT_TRUE(StopService(L"Corvane"));
    ASSERT_TRUE(WaitForCount(L"Corvane.exe", 0, 10000));

    platform::win32::CComPtr<IControlHelper> control;
    ASSERT_EQ(CoCreateInstance(CLSID_ControlHelper, nullptr, CLSCTX_LOCAL_SERVER, IID_IControlHelper,
                               control.ReceiveVoid()),
              S_OK);
    EXPECT_EQ(ServiceState(L"Corvane"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(CountProcesses(L"Corvane.exe"), 1);
    EXPECT_EQ(ServiceImage(L"Corvane"), (kProgramFolder / "Corvane.exe").wstring());
    control.Reset();
    // Releasing the last object leaves the service running for the client's next call.
    Sleep(1500);
    EXPECT_EQ(ServiceState(L"Corvane"), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(InstalledProduct, StartDataPathRunsTheEngineBesideTheServiceWhichAnnouncesTheConnection) {
    // The event the client waits on, created as the client creates it (manual reset, not signalled).
    CKernelHandle connected(CreateEventW(nullptr, TRUE, FALSE, L"Global\\ORCH_CONNECTION_EVENT"));
    ASSERT_TRUE(connected);
    ResetEvent(connected.Get());
    const std::filesystem::path log = kProgramFolder / "ferronwin.log";
    std::error_code ec;
    std::filesystem::remove(log, ec);

    ASSERT_EQ(
        platform::HelperSaveOrchConfigToFile(u"127.0.0.1", 1, 2, 3, u"tok-installed", u"SN-INST", u"").code,
        S_OK);
    EXPECT_TRUE(std::filesystem::is_regular_file(kProgramFolder / "cpeagent.conf"))
        << "the configuration lies beside the service";
    int32_t isErr = 0, ics = 0;
    std::optional<std::u16string> msg;
    ASSERT_EQ(platform::HelperStartDataPath(u"orch.test", 0, isErr, 1033, msg, ics).code, S_OK);
    EXPECT_EQ(WaitForSingleObject(connected.Get(), 15000), WAIT_OBJECT_0) << ReadAll(log);
    EXPECT_EQ(CountProcesses(L"ferronwin.exe"), 1);
    const std::string said = ReadAll(log);
    EXPECT_NE(said.find("start: command line [ -T tok-installed -S SN-INST -d orch.test]"), std::string::npos)
        << said;
    EXPECT_NE(said.find("config: cpeagent.conf orchid 1 cpeid 2 customerid 3 commaddr 127.0.0.1"),
              std::string::npos)
        << said;

    EXPECT_EQ(platform::HelperStopDataPath(msg).code, S_OK);
    EXPECT_TRUE(WaitForCount(L"ferronwin.exe", 0, 5000));
}

}  // namespace
}  // namespace velora::test
