// Reads the message catalogue (client/res/messages.txt): the numbers the privacy dialog shows its texts
// under belong to that dialog, so no other text of the client may hold one of them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace velora {
namespace {

// id -> symbol of every catalogue line.
std::map<int, std::string> CatalogueSymbols() {
    std::ifstream in(std::filesystem::path(VELORA_SOURCE_DIR) / "client" / "res" / "messages.txt");
    std::map<int, std::string> symbols;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t tab = line.find('\t');
        const std::size_t next = line.find('\t', tab + 1);
        if (tab == std::string::npos || next == std::string::npos) continue;
        symbols[std::stoi(line.substr(0, tab))] = line.substr(tab + 1, next - tab - 1);
    }
    return symbols;
}

TEST(MessageCatalogueSource, ThePrivacyDialogsNumbersHoldOnlyItsTexts) {
    const std::map<int, std::string> symbols = CatalogueSymbols();
    ASSERT_FALSE(symbols.empty()) << "the catalogue was not read";
    // The title, the explanatory texts, the two links and the two buttons of the privacy dialog.
    for (const int id : {1357, 1366, 1112, 1113, 1114, 1127, 1119, 1115, 1375, 1116}) {
        const auto it = symbols.find(id);
        if (it == symbols.end()) continue;  // not in the catalogue yet
        EXPECT_EQ(it->second.rfind("kMsgPrivacy", 0), 0u) << id << " is held by " << it->second;
    }
}

}  // namespace
}  // namespace velora
