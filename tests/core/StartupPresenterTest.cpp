// Start-up decisions: the arguments of a command line, and what a second start hands over through the
// settings (real store: a file on the host, the registry under Wine).
#include <gtest/gtest.h>

#include <string>

#include "core/Settings.h"
#include "ui/app/StartupPresenter.h"

namespace velora {
namespace {

struct ArgumentsCase {
    std::u16string commandLine;
    std::u16string arguments;
};

TEST(StartupPresenterTest, CommandArgumentsDropTheProgramNameAsTheRuntimeDoes) {
    const ArgumentsCase cases[] = {
        {u"\"C:\\Program Files\\Halvane\\Velora.exe\" com.halvane://redirect?code=abc&state=xyz",
         u"com.halvane://redirect?code=abc&state=xyz"},
        {u"Velora.exe -logout -invalidToken", u"-logout -invalidToken"},
        {u"Velora.exe", u""},
        {u"\"Velora.exe\"", u""},
        {u"\"Velora.exe\"   \t  -logout  ", u"-logout  "},
        {u"Velora.exe\t-logout", u"-logout"},
        // Text right after the closing quote belongs to the arguments, as the runtime sees it.
        {u"\"C:\\a b\\Velora.exe\"-logout", u"-logout"},
        // An unterminated quote swallows everything.
        {u"\"C:\\a b\\Velora.exe -logout", u""},
        {u"", u""},
        {u"   ", u""},
        // A NUL ends the line like the C string the system hands over.
        {std::u16string(u"Velora.exe a\0b", 14), u"a"},
        {u"Velora.exe \u4e2d\u6587 redirect", u"\u4e2d\u6587 redirect"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::u16string(CommandArguments(c.commandLine)), c.arguments)
            << "command line of " << c.commandLine.size() << " units";
    }
}

class SecondStartTest : public testing::Test {
protected:
    // The store is shared by every test process under Wine: start from empty values.
    void SetUp() override {
        SetSettingText(u"OauthDebugRet", u"");
        SetSetting(u"OauthBrowerRet", u"");
    }
    void TearDown() override { SetUp(); }
};

TEST_F(SecondStartTest, RedirectGoesToBothValuesAndWakesTheRunningClient) {
    const std::u16string redirect = u"com.halvane://redirect?code=abc&state=xyz";
    EXPECT_TRUE(IsBrowserRedirect(redirect));
    EXPECT_TRUE(StoreSecondStartHandOver(redirect));
    EXPECT_EQ(GetSettingText(u"OauthDebugRet", u"missing"), redirect);
    EXPECT_EQ(GetSetting(u"OauthBrowerRet", u"missing"), redirect);
}

TEST_F(SecondStartTest, OtherArgumentsOnlyUpdateTheDiagnosticValue) {
    const std::u16string redirect = u"com.halvane://redirect?code=first";
    ASSERT_TRUE(StoreSecondStartHandOver(redirect));

    struct {
        std::u16string arguments;
    } const cases[] = {{u"-logout"}, {u""}, {u"com.halvane://Redirect?code=upper"}, {u"redirec"}};
    for (const auto& c : cases) {
        EXPECT_FALSE(IsBrowserRedirect(c.arguments));
        // Waking the running client here would make a waiting sign-in read a result that is not new.
        EXPECT_FALSE(StoreSecondStartHandOver(c.arguments));
        EXPECT_EQ(GetSettingText(u"OauthDebugRet", u"missing"), c.arguments);
        EXPECT_EQ(GetSetting(u"OauthBrowerRet", u"missing"), redirect);
    }
}

}  // namespace
}  // namespace velora
