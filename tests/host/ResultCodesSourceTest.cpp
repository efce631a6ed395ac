// Reads the client's sources to keep the table of result codes and texts the only copy: no other file
// spells one of its texts or a connect code, every constant it declares is in the table, and every file
// the table names as a producer really uses that constant.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "core/ResultCodes.h"

namespace velora {
namespace {

namespace fs = std::filesystem;

const fs::path kClientDir = fs::path(VELORA_SOURCE_DIR) / "client";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Drops line comments, so that a comment may quote a text or a code; a "//" inside a literal (a URL)
// cuts that line short, which can only hide a copy that follows it on the same line.
std::string WithoutComments(const std::string& source) {
    std::string out;
    std::istringstream in(source);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t at = line.find("//");
        out += line.substr(0, at);
        out += '\n';
    }
    return out;
}

bool IsTableFile(const fs::path& path) {
    return path.parent_path().filename() == "core" && path.stem() == "ResultCodes";
}

std::vector<fs::path> ClientSources() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(kClientDir)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".cpp" || ext == ".h" || ext == ".rc"))
            files.push_back(entry.path());
    }
    return files;
}

std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

TEST(ResultCodesSource, NoOtherFileSpellsATextOrAConnectCode) {
    const std::vector<fs::path> files = ClientSources();
    ASSERT_GT(files.size(), 50u) << kClientDir;
    const std::regex connectCode(R"(\b(301[01][0-9]|40001)\b)");
    // A constant of its own for one of the table's foreign codes would be a second, unchecked copy.
    const std::regex foreignConstant(R"(constexpr[^=;]*=\s*(329|501|502|4082|12002|12007|12029|12037)\s*;)");
    for (const fs::path& file : files) {
        if (IsTableFile(file)) continue;
        const std::string code = WithoutComments(ReadFile(file));
        for (const ResultEntry& entry : ResultTable()) {
            if (entry.text.empty()) continue;
            EXPECT_EQ(code.find('"' + Narrow(entry.text) + '"'), std::string::npos)
                << file << " spells the text of " << entry.name;
        }
        std::smatch match;
        EXPECT_FALSE(std::regex_search(code, match, connectCode))
            << file << " spells the connect code " << match.str();
        EXPECT_FALSE(std::regex_search(code, match, foreignConstant)) << file << " defines " << match.str();
    }
}

TEST(ResultCodesSource, TableListsEveryConstantAndItsProducersUseIt) {
    std::set<std::string> listed;
    for (const ResultEntry& entry : ResultTable()) listed.insert(std::string(entry.name));

    const std::string header = ReadFile(kClientDir / "core" / "ResultCodes.h");
    const std::regex declaration(R"(inline constexpr \S+ (k(Code|Text)\w+) =)");
    std::set<std::string> declared;
    for (auto it = std::sregex_iterator(header.begin(), header.end(), declaration);
         it != std::sregex_iterator(); ++it) {
        declared.insert((*it)[1].str());
    }
    EXPECT_EQ(declared, listed);

    for (const ResultEntry& entry : ResultTable()) {
        std::istringstream producers{std::string(entry.producers)};
        std::string producer;
        while (producers >> producer) {
            const fs::path file = kClientDir / producer;
            ASSERT_TRUE(fs::exists(file)) << file;
            const std::string code = WithoutComments(ReadFile(file));
            EXPECT_TRUE(std::regex_search(code, std::regex("\\b" + std::string(entry.name) + "\\b")))
                << producer << " is listed as producing " << entry.name << " but does not use it";
        }
    }
}

}  // namespace
}  // namespace velora
