// The engine configuration that a COM-activated Corvane writes under Wine: "cpeagent.conf" and
// "filterConfig.conf" beside Corvane.exe and the "Token" and "Sn" values of its registry parameters, byte
// for byte, reached through the client binding, the interface slots and IDispatch::Invoke by DISPID; and
// refused arguments that leave every file and value as it was.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "Corvane_h.h"
#include "platform/HelperService.h"
#include "support/CorvaneProcess.h"

using namespace velora::test;

namespace {

constexpr wchar_t kParametersKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Corvane\\Parameters";

std::optional<std::string> ReadFileBytes(const std::wstring& name) {
    std::ifstream in(std::filesystem::path(BinFolder() + name), std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct RegValue {
    DWORD type = REG_NONE;
    std::string bytes;
};

std::optional<RegValue> ReadValue(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    RegValue value;
    DWORD size = 0;
    std::optional<RegValue> out;
    if (RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        if (RegQueryValueExW(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(value.bytes.data()),
                             &size) == ERROR_SUCCESS) {
            value.bytes.resize(size);
            out = value;
        }
    }
    RegCloseKey(key);
    return out;
}

// A REG_SZ value's data: UTF-16 little-endian with its terminator.
std::string Utf16Z(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    bytes.append(2, '\0');
    return bytes;
}

void ExpectText(const wchar_t* name, std::u16string_view text) {
    const auto value = ReadValue(name);
    ASSERT_TRUE(value.has_value()) << "no value";
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value->bytes, Utf16Z(text));
}

// Everything the configuration methods write, to compare before and after a refused call.
struct Snapshot {
    std::optional<std::string> orch, filter;
    std::optional<RegValue> token, sn;
    bool operator==(const Snapshot& o) const {
        auto same = [](const std::optional<RegValue>& a, const std::optional<RegValue>& b) {
            return a.has_value() == b.has_value() && (!a || (a->type == b->type && a->bytes == b->bytes));
        };
        return orch == o.orch && filter == o.filter && same(token, o.token) && same(sn, o.sn);
    }
};

Snapshot Take() {
    return {ReadFileBytes(L"cpeagent.conf"), ReadFileBytes(L"filterConfig.conf"), ReadValue(L"Token"),
            ReadValue(L"Sn")};
}

std::u16string Units(std::size_t n, char16_t c = u'a') {
    return std::u16string(n, c);
}

// Corvane registered as a plain local server, its configuration files and parameters gone (the prefix is
// shared by all test processes).
class CorvaneConfigTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(RunCorvane(L"/UnregServer"), 0);
        ASSERT_TRUE(WaitUntilCorvaneEnds(10000));
        DeleteFileW((BinFolder() + L"cpeagent.conf").c_str());
        DeleteFileW((BinFolder() + L"filterConfig.conf").c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kParametersKey);
        ASSERT_EQ(RunCorvane(L"/RegServer"), 0);
    }
    void TearDown() override {
        EXPECT_EQ(RunCorvane(L"/UnregServer"), 0);
        WaitUntilCorvaneEnds(10000);
        CoUninitialize();
    }
};

TEST_F(CorvaneConfigTest, BindingWritesExactFilesAndValues) {
    // Blanks around commas stay, empty pieces give no line, a negative id keeps its sign.
    const auto orch =
        platform::HelperSaveOrchConfigToFile(u"10.0.0.1:443", -1, 2, 3, u"tok-123", u"SN42", u" a, b,,c,");
    ASSERT_EQ(orch.step, platform::HelperStep::Call);
    EXPECT_EQ(orch.code, S_OK);
    EXPECT_EQ(ReadFileBytes(L"cpeagent.conf"),
              "orchid=-1\r\ncpeid=2\r\ncustomerid=3\r\ncommaddr=10.0.0.1:443\r\nbakcommaddr= a\r\n"
              "bakcommaddr= b\r\nbakcommaddr=c\r\n");
    ExpectText(L"Token", u"tok-123");
    ExpectText(L"Sn", u"SN42");

    EXPECT_EQ(platform::HelperSaveFilterConfigToFile(u"100% {\"ip\":\"%s\"}\nline2").code, S_OK);
    EXPECT_EQ(ReadFileBytes(L"filterConfig.conf"), "100% {\"ip\":\"%s\"}\r\nline2\r\n");

    // Each write replaces the whole file.
    EXPECT_EQ(platform::HelperSaveOrchConfigToFile(u"h", 0, 0, 0, u"", u"", u"").code, S_OK);
    EXPECT_EQ(ReadFileBytes(L"cpeagent.conf"), "orchid=0\r\ncpeid=0\r\ncustomerid=0\r\ncommaddr=h\r\n");
    ExpectText(L"Token", u"");

    // The service logged the call beside itself.
    const auto log = ReadFileBytes(L"service.log");
    ASSERT_TRUE(log.has_value());
    EXPECT_NE(log->find(" CustomerId 3 CpeId 2\r\n"), std::string::npos);
}

TEST_F(CorvaneConfigTest, LongestAcceptedTextsAreWrittenWhole) {
    const std::u16string server = Units(259, u's'), backs = Units(1023, u'b'), token = Units(259, u't');
    EXPECT_EQ(platform::HelperSaveOrchConfigToFile(server, 1, 1, 1, token, u"sn", backs).code, S_OK);
    EXPECT_EQ(ReadFileBytes(L"cpeagent.conf"),
              "orchid=1\r\ncpeid=1\r\ncustomerid=1\r\ncommaddr=" + std::string(259, 's') +
                  "\r\nbakcommaddr=" + std::string(1023, 'b') + "\r\n");
    ExpectText(L"Token", token);

    const std::u16string filter = Units(100000, u'f');
    EXPECT_EQ(platform::HelperSaveFilterConfigToFile(filter).code, S_OK);
    EXPECT_EQ(ReadFileBytes(L"filterConfig.conf"), std::string(100000, 'f') + "\r\n");
}

TEST_F(CorvaneConfigTest, RefusedArgumentsLeaveEverythingAsItWas) {
    ASSERT_EQ(platform::HelperSaveOrchConfigToFile(u"good", 1, 2, 3, u"tok", u"sn", u"b1").code, S_OK);
    ASSERT_EQ(platform::HelperSaveFilterConfigToFile(u"filter").code, S_OK);
    const Snapshot before = Take();

    struct Case {
        const char* what;
        std::u16string server, token, sn, backs;
    };
    const Case cases[] = {
        {"CR LF in the server", u"h\r\norchid=9", u"t", u"s", u""},
        {"LF in a backup server", u"h", u"t", u"s", u"b1\ncommaddr=evil"},
        {"NUL in a backup server", u"h", u"t", u"s", std::u16string(u"b1\0b2", 5)},
        {"blank in the token", u"h", u"t -d evil", u"s", u""},
        {"tab in the token", u"h", u"t\t-I", u"s", u""},
        {"quote in the serial", u"h", u"t", u"s\" -T x", u""},
        {"no-break space in the serial", u"h", u"t", u"s\u00a0x", u""},
        {"300-unit server", Units(300), u"t", u"s", u""},
        {"100000-unit server", Units(100000), u"t", u"s", u""},
        {"300-unit token", u"h", Units(300), u"s", u""},
        {"100000-unit serial", u"h", u"t", Units(100000), u""},
        {"1024-unit backup list", u"h", u"t", u"s", Units(1024)},
        {"wide character in the server", u"h\u4e2d", u"t", u"s", u""},
    };
    for (const Case& c : cases) {
        const auto status = platform::HelperSaveOrchConfigToFile(c.server, 7, 7, 7, c.token, c.sn, c.backs);
        EXPECT_EQ(status.step, platform::HelperStep::Call) << c.what;
        EXPECT_EQ(status.code, E_INVALIDARG) << c.what;
    }
    for (const std::u16string& filter :
         {std::u16string(u"a\0b", 3), std::u16string(u"\u4e2d"), Units(8u * 1024u * 1024u + 1)}) {
        EXPECT_EQ(platform::HelperSaveFilterConfigToFile(filter).code, E_INVALIDARG) << filter.size();
    }
    EXPECT_TRUE(Take() == before) << "a refused call wrote something";
}

TEST_F(CorvaneConfigTest, NullStringsThroughTheInterfaceSlots) {
    IControlHelper* control = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ControlHelper, nullptr, CLSCTX_LOCAL_SERVER, IID_IControlHelper,
                               reinterpret_cast<void**>(&control)),
              S_OK);
    EXPECT_EQ(control->SaveOrchConfigToFile(nullptr, 4, 5, 6, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(control->SaveFilterConfigToFile(nullptr), S_OK);
    control->Release();
    EXPECT_EQ(ReadFileBytes(L"cpeagent.conf"), "orchid=4\r\ncpeid=5\r\ncustomerid=6\r\ncommaddr=(null)\r\n");
    EXPECT_EQ(ReadFileBytes(L"filterConfig.conf"), "\r\n");
    ExpectText(L"Token", u"");
    ExpectText(L"Sn", u"");
}

// Calls by DISPID, arguments in reverse order as IDispatch::Invoke takes them. A failing method comes back
// either as itself or wrapped in the exception record.
HRESULT InvokeById(IDispatch* object, DISPID id, std::vector<VARIANT> reversed) {
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO info = {};
    UINT bad = 0;
    HRESULT hr =
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &info, &bad);
    if (hr == DISP_E_EXCEPTION && info.scode) hr = info.scode;
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    for (VARIANT& v : reversed) VariantClear(&v);
    return hr;
}

VARIANT Text(const wchar_t* text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text ? SysAllocString(text) : nullptr;
    return v;
}

VARIANT Number(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;  // coerced to INT by the type information
    v.lVal = value;
    return v;
}

TEST_F(CorvaneConfigTest, DispatchByIdentifierWritesTheSameFiles) {
    IDispatch* control = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ControlHelper, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&control)),
              S_OK);
    // DISPID 1: CommuServer, OrchId, CpeId, CustomerId, Token, Sn, BackServer.
    EXPECT_EQ(InvokeById(control, 1,
                         {Text(L"x,y"), Text(L"SN9"), Text(L"tok9"), Number(30), Number(20), Number(10),
                          Text(L"10.9.9.9")}),
              S_OK);
    EXPECT_EQ(
        ReadFileBytes(L"cpeagent.conf"),
        "orchid=10\r\ncpeid=20\r\ncustomerid=30\r\ncommaddr=10.9.9.9\r\nbakcommaddr=x\r\nbakcommaddr=y\r\n");
    ExpectText(L"Token", u"tok9");
    ExpectText(L"Sn", u"SN9");

    // A null string by DISPID reaches the method as a null string on Windows; Wine's VARIANT marshaling
    // hands the server an empty string instead, so there the line is empty.
    EXPECT_EQ(InvokeById(control, 1,
                         {Text(nullptr), Text(nullptr), Text(nullptr), Number(3), Number(2), Number(1),
                          Text(nullptr)}),
              S_OK);
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    EXPECT_EQ(
        ReadFileBytes(L"cpeagent.conf"),
        std::string("orchid=1\r\ncpeid=2\r\ncustomerid=3\r\ncommaddr=") + (wine ? "" : "(null)") + "\r\n");
    ExpectText(L"Token", u"");

    // Refused by DISPID exactly as by the slot, with nothing written.
    const Snapshot before = Take();
    EXPECT_EQ(
        InvokeById(control, 1,
                   {Text(L""), Text(L"s"), Text(L"t -S x"), Number(3), Number(2), Number(1), Text(L"h")}),
        E_INVALIDARG);
    EXPECT_EQ(
        InvokeById(control, 1,
                   {Text(L""), Text(L"s"), Text(L"t"), Number(3), Number(2), Number(1), Text(L"h\nx=1")}),
        E_INVALIDARG);
    EXPECT_EQ(InvokeById(control, 2, {Text(std::wstring(300, L'\u4e2d').c_str())}), E_INVALIDARG);
    EXPECT_TRUE(Take() == before);

    // DISPID 2: FilterContent.
    EXPECT_EQ(InvokeById(control, 2, {Text(L"a\nb")}), S_OK);
    EXPECT_EQ(ReadFileBytes(L"filterConfig.conf"), "a\r\nb\r\n");
    control->Release();
}

TEST_F(CorvaneConfigTest, TheServiceWritesTheSameFiles) {
    ASSERT_EQ(RunCorvane(L"/Service"), 0);
    EXPECT_EQ(platform::HelperSaveOrchConfigToFile(u"svc", 1, 2, 3, u"tok", u"sn", u"").code, S_OK);
    EXPECT_EQ(ReadFileBytes(L"cpeagent.conf"), "orchid=1\r\ncpeid=2\r\ncustomerid=3\r\ncommaddr=svc\r\n");
    ExpectText(L"Token", u"tok");
    EXPECT_EQ(platform::HelperSaveFilterConfigToFile(u"f").code, S_OK);
    EXPECT_EQ(ReadFileBytes(L"filterConfig.conf"), "f\r\n");
}

}  // namespace
