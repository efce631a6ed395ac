// The login window's reading of sign-in result codes: shown text, form state and credential drops.
#include <gtest/gtest.h>

#include "core/Format.h"
#include "core/Log.h"
#include "ui/login/SignInResultPresenter.h"

namespace velora::test {
namespace {

TEST(SignInResultRules, EachCodeAndKeyword) {
    struct Case {
        int32_t code;
        std::u16string text;
        intptr_t number;
        std::u16string shown;
        bool reEnable;
        bool drop;
        bool bind;
    };
    const Case cases[] = {
        {0, u"", 0, u"", false, false, false},
        {4091, u"", 0, MessageText(1289), false, false, false},
        {501, u"", 0, MessageText(208), true, false, false},
        {4081, u"", 129, FormatText(MessageText(4081), 129), true, false, false},
        {4088, u"denied", 0, FormatText(MessageText(1281), u"denied"), true, false, false},
        {403, u"", 0, MessageText(167), true, false, false},
        {403, u"403 Go away", 0, u"403 Go away", true, false, false},
        {12029, u"", 0, MessageText(223), true, false, false},
        {401, u"401 ChangePass", 0, MessageText(1250), true, true, false},
        {401, u"401 BindDevice", 0, u"", true, false, true},
        {401, u"401 Expired", 0, MessageText(221), true, true, false},
        {400, u"1108 Account locked", 0, u"1108 Account locked", true, true, false},
        {7777, u"", 0, FormatText(MessageText(410), 7777), true, false, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.code);
        const SignInResultView v = DescribeSignInResult(k.code, k.text, k.number);
        EXPECT_EQ(v.text, k.shown);
        EXPECT_EQ(v.reEnableForm, k.reEnable);
        EXPECT_EQ(v.dropCredentials, k.drop);
        EXPECT_EQ(v.showDeviceBinding, k.bind);
    }
    EXPECT_FALSE(MessageText(208).empty());
    EXPECT_TRUE(DescribeSignInResult(0, u"", 0).admissionCheck);
    EXPECT_TRUE(DescribeSignInResult(10001, u"", 0).rebuildPage);
    EXPECT_TRUE(DescribeSignInResult(4091, u"", 0).startRetryTimer);
    EXPECT_TRUE(DescribeSignInResult(4095, u"", 0).bringToFront);
}

}  // namespace
}  // namespace velora::test
