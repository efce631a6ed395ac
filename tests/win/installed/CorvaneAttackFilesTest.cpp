// Attacks on the installed helper service's file and process methods, made as a caller of the COM objects
// would make them, each with the answer it must get and the proof that nothing happened: output paths
// whose folder leads elsewhere (a link made in the caller's own folder after it was chosen), programs and
// scripts that anyone may change, and where the engine's token is kept. (The route, data-path and session
// attacks are in the sibling table.) The re-pointing link is a real link in the prefix's file system,
// made with the host's ln, which Wine runs as a program; Wine resolves it the way Windows resolves a
// mount point, so the final path the service reads back is the link's target.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "InstalledProduct.h"
#include "platform/HelperService.h"

namespace velora::test {
namespace {

std::u16string U16(const std::wstring& text) {
    return std::u16string(text.begin(), text.end());
}

// The host's path of a Windows path, from Wine's own mapping (empty when not under Wine).
std::string HostPath(const wchar_t* path) {
    using Mapper = char*(CDECL*)(const wchar_t*);
    const auto map = reinterpret_cast<Mapper>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!map) return {};
    char* mapped = map(path);
    if (!mapped) return {};
    std::string result(mapped);
    HeapFree(GetProcessHeap(), 0, mapped);
    return result;
}

// A host symbolic link `link` to `target` (relative to the link's folder), made by the host's ln.
bool MakeLink(const std::wstring& target, const wchar_t* link) {
    const std::string host = HostPath(link);
    if (host.empty()) return false;
    std::wstring line = L"Z:\\bin\\ln -sfn " + target + L" " + std::wstring(host.begin(), host.end());
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(L"Z:\\bin\\ln", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        std::fprintf(stderr, "ln could not be started (%lu): %ls\n", GetLastError(), line.c_str());
        return false;
    }
    CKernelHandle process(pi.hProcess), thread(pi.hThread);
    // A host program's handle cannot always be waited on under Wine: the link's appearance is the answer.
    WaitForSingleObject(process.Get(), 10000);
    for (int i = 0; i < 100; ++i) {
        std::error_code ec;
        if (std::filesystem::is_directory(link, ec)) return true;
        Sleep(100);
    }
    std::fprintf(stderr, "no link after: %ls\n", line.c_str());
    return false;
}

// Sets a file's access list from SDDL (under Wine this becomes the file's mode bits).
bool SetDacl(const std::filesystem::path& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr))
        return false;
    platform::win32::CLocalMemory owner(sd);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
    std::wstring name = path.wstring();
    return SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 dacl, nullptr) == ERROR_SUCCESS;
}

constexpr wchar_t kAnyoneWrites[] = L"D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;WD)";

// The file's access list as SDDL, to be put back after a row.
std::wstring DaclOf(const std::filesystem::path& path) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    PACL dacl = nullptr;
    std::wstring name = path.wstring();
    if (GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd) != ERROR_SUCCESS)
        return {};
    platform::win32::CLocalMemory owner(sd);
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, nullptr))
        return {};
    platform::win32::CLocalMemory textOwner(text);
    return text;
}

// Makes a program changeable by anyone for one row and puts its rights back afterwards.
class COpenRights {
public:
    explicit COpenRights(std::filesystem::path path) : m_path(std::move(path)), m_before(DaclOf(m_path)) {}
    void Open() { ASSERT_TRUE(!m_before.empty() && SetDacl(m_path, kAnyoneWrites)); }
    void Restore() { EXPECT_TRUE(SetDacl(m_path, m_before.c_str())); }

private:
    std::filesystem::path m_path;
    std::wstring m_before;
};

// The access list of the service's parameters key, as SDDL; empty when it cannot be read.
std::wstring ParametersDacl() {
    platform::win32::CRegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\Corvane\\Parameters", 0,
                      READ_CONTROL, key.Receive()) != ERROR_SUCCESS)
        return {};
    BYTE buffer[4096];
    DWORD size = sizeof buffer;
    if (RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, buffer, &size) != ERROR_SUCCESS) return {};
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer, SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr))
        return {};
    platform::win32::CLocalMemory owner(text);
    return text;
}

class CorvaneAttackFiles : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        std::error_code ec;
        std::filesystem::remove_all(L"C:\\attack", ec);
        std::filesystem::create_directories(L"C:\\attack\\target");
        std::filesystem::create_directories(L"C:\\attack\\caller");
        std::ofstream(L"C:\\attack\\target\\device.log", std::ios::binary) << "precious";
        std::ofstream(L"C:\\attack\\target\\nsctl.log", std::ios::binary) << "precious";
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(L"C:\\attack", ec);
        CoUninitialize();
    }
};

std::wstring DiagnosisLine(const std::wstring& output) {
    return L"cmd.exe /C \"\"" + (kProgramFolder / "diagnosis.bat").wstring() + L"\" \"" + output + L"\"\"";
}

TEST_F(CorvaneAttackFiles, EachCallGetsItsAnswerAndNothingHappens) {
    const std::filesystem::path target = L"C:\\attack\\target";
    // The caller's own folder "link" is re-pointed at a folder it means the service to write into.
    ASSERT_TRUE(MakeLink(L"../target", L"C:\\attack\\caller\\link"));
    ASSERT_TRUE(std::filesystem::is_directory(L"C:\\attack\\caller\\link"));

    struct Row {
        const char* attack;
        std::function<HRESULT()> call;
        HRESULT expected;
        std::function<void()> prepare, restore;
        std::function<bool()> nothingHappened;
    };
    const std::wstring tool = (kProgramFolder / "nsCtl.exe").wstring();
    COpenRights script(kProgramFolder / "fixservice.bat"), toolRights(tool),
        engine(kProgramFolder / "ferronwin.exe");
    const Row rows[] = {
        {"GetSystemInfo into a folder the caller re-pointed elsewhere",
         [] {
             return platform::HelperGetSystemInfo(u"",
                                                  U16(DiagnosisLine(L"C:\\attack\\caller\\link\\device.log")))
                 .code;
         },
         E_ACCESSDENIED,
         {},
         {},
         [&] { return ReadAll(target / "device.log") == "precious"; }},
        {"ProduceNsCtlLog into a folder the caller re-pointed elsewhere",
         [&] {
             return platform::HelperProduceNsCtlLog(U16(tool), u"C:\\attack\\caller\\link\\nsctl.log").code;
         },
         E_ACCESSDENIED,
         {},
         {},
         [&] { return ReadAll(target / "nsctl.log") == "precious"; }},
        {"FixErrAuto while anyone may change the repair script",
         [] { return platform::HelperFixErrAuto(711).code; }, E_ACCESSDENIED,
         [&] {
             std::error_code ec;
             std::filesystem::remove(kProgramFolder / "fixservice.done", ec);
             script.Open();
         },
         [&] { script.Restore(); },
         [] { return !std::filesystem::exists(kProgramFolder / "fixservice.done"); }},
        {"ProduceNsCtlLog while anyone may change the tool",
         [&] { return platform::HelperProduceNsCtlLog(U16(tool), u"C:\\attack\\caller\\nsctl.log").code; },
         E_ACCESSDENIED, [&] { toolRights.Open(); }, [&] { toolRights.Restore(); },
         [] { return !std::filesystem::exists(L"C:\\attack\\caller\\nsctl.log"); }},
        {"StartDataPath while anyone may change the engine",
         [] {
             int32_t isErr = 0, ics = 0;
             std::optional<std::u16string> msg;
             return platform::HelperStartDataPath(u"orch.test", 0, isErr, 1033, msg, ics).code;
         },
         E_ACCESSDENIED, [&] { engine.Open(); }, [&] { engine.Restore(); },
         [] { return CountProcesses(L"ferronwin.exe") == 0; }},
    };
    ASSERT_EQ(
        platform::HelperSaveOrchConfigToFile(u"127.0.0.1", 1, 2, 3, u"tok-attack", u"SN-ATTACK", u"").code,
        S_OK);
    std::optional<std::u16string> stopped;
    platform::HelperStopDataPath(stopped);
    ASSERT_TRUE(WaitForCount(L"ferronwin.exe", 0, 5000));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.attack);
        if (row.prepare) row.prepare();
        EXPECT_EQ(row.call(), row.expected);
        if (row.restore) row.restore();
        EXPECT_TRUE(row.nothingHappened());
    }
    EXPECT_FALSE(std::filesystem::exists(target / "new"));
    const std::string log = ReadAll(kProgramFolder / "service.log");
    EXPECT_NE(log.find("GetSystemInfo refused: the output path leads elsewhere"), std::string::npos);
    EXPECT_NE(log.find("FixErrAuto refused: the program"), std::string::npos);
    EXPECT_EQ(log.find("tok-attack"), std::string::npos) << "the token is never logged";

    // With the rights restored and a plain folder (whose name holds what profile names may), the report
    // arrives, written by the script into the service's own folder and copied into the caller's file.
    std::filesystem::create_directories(L"C:\\attack\\caller\\Tom & Jerry (2)");
    EXPECT_EQ(platform::HelperGetSystemInfo(
                  u"", U16(DiagnosisLine(L"C:\\attack\\caller\\Tom & Jerry (2)\\device.log")))
                  .code,
              S_OK);
    EXPECT_EQ(ReadAll(L"C:\\attack\\caller\\Tom & Jerry (2)\\device.log").rfind("diagnosis stand-in", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(kProgramFolder / "reports")) << "the service's copy is gone";
}

TEST_F(CorvaneAttackFiles, TheTokenIsReadableByTheSystemAndAdministratorsOnly) {
    ASSERT_EQ(platform::HelperSaveOrchConfigToFile(u"127.0.0.1", 1, 2, 3, u"tok-acl", u"SN-ACL", u"").code,
              S_OK);
    // Protected (nothing inherited from the service key, whose users may read) and only these two.
    EXPECT_EQ(ParametersDacl(), L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)");
}

}  // namespace
}  // namespace velora::test
