// Reads the Win32 sources to keep two rules of docs/design.md true: windows take a worker message's text
// only from the decoder (core/WorkerMessage.h), never by casting lParam themselves, and the handle kinds
// the kit owns (platform/win32/Handles.h) are closed only by its owners.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace velora {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = fs::path(VELORA_SOURCE_DIR);

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Drops line comments, so that a comment may name what the code must not do.
std::string WithoutComments(const std::string& source) {
    std::string out;
    std::istringstream in(source);
    std::string line;
    while (std::getline(in, line)) {
        out += line.substr(0, line.find("//"));
        out += '\n';
    }
    return out;
}

// The C++ sources under `folders` (paths from the tree's root, '/'-separated).
std::vector<std::string> Sources(std::initializer_list<const char*> folders) {
    std::vector<std::string> files;
    for (const char* folder : folders) {
        for (const auto& entry : fs::recursive_directory_iterator(kSourceDir / folder)) {
            const std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && (ext == ".cpp" || ext == ".h"))
                files.push_back(fs::relative(entry.path(), kSourceDir).generic_string());
        }
    }
    return files;
}

TEST(WindowsSource, WindowsTakeWorkerTextsOnlyFromTheDecoder) {
    const std::vector<std::string> files = Sources({"client"});
    ASSERT_GT(files.size(), 50u) << kSourceDir;
    // A text read straight from lParam: a posted message carries a number there, which is no text.
    const std::regex textCast(
        R"(reinterpret_cast\s*<\s*(const\s+)?(char16_t|wchar_t|WCHAR|std::u16string|std::wstring)\s*(const\s*)?\*\s*>\s*\(\s*lParam)"
        R"(|\(\s*(LPCWSTR|LPWSTR|const\s+(char16_t|wchar_t)\s*\*)\s*\)\s*lParam)");
    for (const std::string& file : files) {
        if (file == "client/core/WorkerMessage.cpp") continue;  // the decoder itself
        const std::string code = WithoutComments(ReadFile(kSourceDir / file));
        std::smatch match;
        EXPECT_FALSE(std::regex_search(code, match, textCast))
            << file << " reads a text from lParam itself: " << match.str();
    }
}

TEST(WindowsSource, KitHandleKindsCloseOnlyThroughTheKit) {
    const std::vector<std::string> files = Sources({"client", "platform/win32", "service/win32"});
    // The close functions of the kinds Handles.h owns (GDI objects aside: the skin layer still deletes
    // its own).
    const std::regex close(
        R"(\b(CloseHandle|RegCloseKey|InternetCloseHandle|CloseServiceHandle|FreeLibrary|)"
        R"(BCryptCloseAlgorithmProvider|BCryptDestroyKey|BCryptDestroyHash|CertCloseStore|SysFreeString|LocalFree)\s*\()");
    // Files that still close one of those kinds by hand, each with the one function it calls.
    const std::set<std::pair<std::string, std::string>> byHand = {
        {"platform/win32/AddressChange.cpp", "CloseHandle"},  // the notification's event
        {"platform/win32/Pipe.cpp", "LocalFree"},             // the pipe's security descriptor
    };
    std::set<std::pair<std::string, std::string>> seen;
    for (const std::string& file : files) {
        if (file == "platform/win32/include/platform/win32/Handles.h") continue;
        const std::string code = WithoutComments(ReadFile(kSourceDir / file));
        for (std::sregex_iterator it(code.begin(), code.end(), close), end; it != end; ++it) {
            const std::pair<std::string, std::string> call{file, (*it)[1].str()};
            seen.insert(call);
            EXPECT_TRUE(byHand.count(call)) << file << " closes a handle of the kit's kinds itself: " << call.second;
        }
    }
    // A file that no longer closes by hand leaves the list, so that the list says what is left.
    for (const auto& call : byHand)
        EXPECT_TRUE(seen.count(call)) << call.first << " no longer calls " << call.second << ": drop it from the list";
}

}  // namespace
}  // namespace velora
