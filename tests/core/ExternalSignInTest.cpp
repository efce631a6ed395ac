// External sign-in end to end against the identity-provider stand-in. The test plays the browser: it
// fetches the authorization URL, reads the redirect's Location, and hands the redirect over as a second
// start of the program does (the settings and a pulse of the named event "Hal_Vane").
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "auth/ExternalAuth.h"
#include "auth/Pkce.h"
#include "auth/Redirect.h"
#include "auth/SignIn.h"
#include "auth/SignInState.h"
#include "core/DeviceInfo.h"
#include "core/HttpClient.h"
#include "core/Settings.h"
#include "core/WindowMessages.h"
#include "platform/Http.h"
#include "platform/Kernel.h"
#include "support/FactorFixture.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"
#include "ui/app/StartupPresenter.h"

namespace velora {
namespace {

using test::CRecordingWindow;
using test::FactorFixture;
using test::RecordedMessage;
using test::U8;

// What the browser does with the authorization URL.
struct BrowserPlay {
    bool follow = true;                                  // fetch the URL and take the Location of its answer
    std::u16string fixedRedirect;                        // else hand this over
    std::u16string (*change)(std::u16string) = nullptr;  // alters the redirect before the hand-over
};

std::u16string LocationOf(std::u16string_view url) {
    platform::CHttpSession session(kHttpSessionAgent);
    platform::HttpExchange exchange;
    exchange.method = u"GET";
    exchange.url = url;
    exchange.wantRawHeaders = true;
    platform::HttpAnswer answer;
    session.Exchange(exchange, answer);
    // The transports may try to follow the redirect to the custom scheme and fail; the headers of the
    // redirect answer are what a browser acts on.
    const std::u16string& headers = answer.rawHeaders;
    for (std::size_t start = 0; start < headers.size();) {
        std::size_t end = headers.find(u"\r\n", start);
        if (end == std::u16string::npos) end = headers.size();
        const std::u16string line = headers.substr(start, end - start);
        if (line.size() > 9 &&
            (line.compare(0, 9, u"Location:") == 0 || line.compare(0, 9, u"location:") == 0)) {
            std::size_t v = 9;
            while (v < line.size() && line[v] == u' ') ++v;
            return line.substr(v);
        }
        start = end + 2;
    }
    return {};
}

class ExternalSignInTest : public FactorFixture {
protected:
    void SetUp() override {
        FactorFixture::SetUp();
        ResetLoginThreadExit();
        SetBrowserOpenerForTest([this](std::u16string_view url, uint32_t& error) {
            opened_.push_back(std::u16string(url));
            if (openError_ != 0) {
                error = openError_;
                return false;
            }
            error = 0;
            browser_ = std::thread([this, url = std::u16string(url)] {
                std::u16string redirect = play_.follow ? LocationOf(url) : play_.fixedRedirect;
                if (play_.change) redirect = play_.change(redirect);
                handedOver_ = redirect;
                // A second start: the command line goes to the settings, then the running copy is woken.
                StoreSecondStartHandOver(redirect);
                if (auto event = platform::OpenOrCreateEvent(kInstanceEventName, false, false).event)
                    event->Pulse();
            });
            return true;
        });
    }
    void TearDown() override {
        SignalLoginThreadExit();
        if (browser_.joinable()) browser_.join();
        SetBrowserOpenerForTest(nullptr);
        FactorFixture::TearDown();
    }

    void UseIdp(std::u16string_view idp) {
        UseTenant(u"{\"factors\":{\"idp\":" + std::u16string(idp) + u"}}");
        configUrl_ = root_ + u"/api/mobile/v1/auth/idp/param";
    }

    // Runs the external sign-in on this thread (the worker's part) and returns what the window got.
    std::vector<RecordedMessage> Run(SignInContext& context) {
        context.customerId = u"1234";
        context.authUrl = authUrl_;
        context.notifyWindow = window_.Handle();
        // On a worker thread, as the login window runs it, while this thread handles the window's messages.
        std::atomic<bool> done{false};
        std::thread worker([&] {
            externalSignInBrowser(GetInstallationSerial(), u"corp-sso", configUrl_, context);
            done = true;
        });
        EXPECT_TRUE(window_.PumpUntil([&] { return done.load(); }, 60000))
            << "the external sign-in did not end";
        if (!done) SignalLoginThreadExit();
        worker.join();
        if (browser_.joinable()) browser_.join();
        window_.WaitFor(0, 50);
        return window_.Take();
    }

    std::u16string configUrl_;
    BrowserPlay play_;
    uint32_t openError_ = 0;
    std::vector<std::u16string> opened_;
    std::u16string handedOver_;
    std::thread browser_;
    CRecordingWindow window_;
};

std::vector<uintptr_t> Codes(const std::vector<RecordedMessage>& messages) {
    std::vector<uintptr_t> codes;
    for (const RecordedMessage& m : messages) {
        EXPECT_EQ(m.message, UM_SIGNIN_RESULT);
        codes.push_back(m.wParam);
    }
    return codes;
}

TEST_F(ExternalSignInTest, BrowserRedirectLeadsToTheCodeExchangeWithPkce) {
    UseIdp(u"{\"identityProvider\":\"corp-sso\",\"token\":\"ext-token-1\",\"accountName\":\"carol\"}");
    SignInContext context;
    const auto messages = Run(context);
    ASSERT_EQ(Codes(messages), (std::vector<uintptr_t>{4091, 4095, 0}));
    EXPECT_EQ(context.resultCode, 0) << U8(context.message);
    EXPECT_EQ(context.authToken, u"ext-token-1");
    EXPECT_EQ(GetSetting(u"AuthToken", u""), u"ext-token-1");
    EXPECT_EQ(GetSetting(u"ThirdPartyUser", u""), u"carol");
    EXPECT_EQ(messages[0].wParam, static_cast<uintptr_t>(kExternalBrowserOpened));
    EXPECT_FALSE(messages[0].sent);
    EXPECT_EQ(messages[1].wParam, static_cast<uintptr_t>(kExternalRedirectArrived));
    EXPECT_TRUE(messages[1].sent);

    ASSERT_EQ(opened_.size(), 1u);
    const std::u16string& url = opened_[0];
    EXPECT_NE(url.find(u"redirect_uri=com.halvane%3A//redirect"), std::u16string::npos) << U8(url);
    EXPECT_NE(url.find(u"state=" + pkceStateValue()), std::u16string::npos) << U8(url);
    EXPECT_EQ(handedOver_.rfind(u"com.halvane://redirect?code=", 0), 0u) << U8(handedOver_);

    // The stand-in checked the verifier against the challenge and granted the token.
    const std::string state = FactorState();
    EXPECT_NE(state.find("\"tokens\":[\"ext-token-1\"]"), std::string::npos) << state;
    const std::string body = sim_.Last(TenantPath(u"/api/mobile/v2/auth"), u"body");
    EXPECT_EQ(body.rfind("{\"authorizationCode\":\"", 0), 0u) << body;
    EXPECT_NE(body.find("\"redirectUri\":\"com.halvane://redirect\",\"codeVerifier\":\""), std::string::npos);
    EXPECT_NE(
        body.find("\"identityProvider\":\"corp-sso\", \"support2FA\":false, \"supportPollByRequestId\":false,"
                  "\"agreeToPrivacy\":false"),
        std::string::npos)
        << body;
    EXPECT_EQ(GetSetting(u"OauthBrowerRet", u""), handedOver_);
    EXPECT_FALSE(ExternalSignInRunning());
}

TEST_F(ExternalSignInTest, SignInFlowDispatchesToTheBrowserAndLaterUsesTheStoredToken) {
    UseTenant(
        u"{\"authConfig\":{\"authConfigs\":[{\"authenticationProtocol\":\"authorization-code\","
        u"\"identityProvider\":\"corp-sso\",\"configUrl\":\"/api/mobile/v1/auth/idp/param\"}],"
        u"\"supportedOrdinaryAuthentication\":false},"
        u"\"accounts\":[{\"customerId\":\"1234\",\"name\":\"carol\",\"password\":\"unused-1\"}],"
        u"\"factors\":{\"idp\":{\"identityProvider\":\"corp-sso\",\"token\":\"ext-token-2\","
        u"\"accountName\":\"carol\"}}}");
    SetSettingText(u"DiscoveryUrl", root_ + u"/api/mobile/v1/orchinfo");
    SetSettingText(u"DiscoveryBackupUrl", root_ + u"/backup/api/mobile/v1/orchinfo");
    SetSettingText(u"DebugOrchUrl", authUrl_);
    auto runFlow = [&](SignInContext& context) {
        context.customerId = u"1234";
        context.notifyWindow = window_.Handle();
        std::atomic<bool> done{false};
        std::thread worker([&] {
            runSignIn(context);
            done = true;
        });
        EXPECT_TRUE(window_.PumpUntil([&] { return done.load(); }, 60000));
        if (!done) SignalLoginThreadExit();
        worker.join();
        if (browser_.joinable()) browser_.join();
        window_.WaitFor(0, 50);
        return Codes(window_.Take());
    };
    SignInContext first;
    EXPECT_EQ(runFlow(first), (std::vector<uintptr_t>{4091, 4095, 0}));
    EXPECT_EQ(first.resultCode, 0) << U8(first.message);
    EXPECT_EQ(first.authToken, u"ext-token-2");
    EXPECT_EQ(GetSetting(u"ThirdPartyUser", u""), u"carol");
    EXPECT_EQ(GetSettingInt(u"EnableOuterAuth2", -1), 1);
    ASSERT_EQ(opened_.size(), 1u);

    // The next sign-in goes with the stored token and the stored account, without the browser.
    SignInContext again;
    again.authToken = first.authToken;
    EXPECT_EQ(runFlow(again), (std::vector<uintptr_t>{0}));
    EXPECT_EQ(again.resultCode, 0) << U8(again.message);
    EXPECT_EQ(opened_.size(), 1u);
    const std::string body = sim_.Last(TenantPath(u"/api/mobile/v2/auth"), u"body");
    EXPECT_EQ(body.rfind("{\"customerId\":1234,\"accountName\":\"carol\", \"support2FA\":false, "
                         "\"supportPollByRequestId\":false, \"agreeToPrivacy\":false,",
                         0),
              0u)
        << body;
    SetSettingText(u"DebugOrchUrl", u"");
}

// The provider name and the stored account are JSON text as cut from the service's answers: they go out
// as they came, so a backslash in them is not doubled; the authorization code and the token never reach
// the log.
TEST_F(ExternalSignInTest, NamesFromAnswersGoOutAsTheyCameAndTheCodeStaysOutOfTheLog) {
    UseTenant(
        uR"({"authConfig":{"authConfigs":[{"authenticationProtocol":"authorization-code",
        "identityProvider":"corp\\sso","configUrl":"/api/mobile/v1/auth/idp/param"}],
        "supportedOrdinaryAuthentication":false},
        "accounts":[{"customerId":"1234","name":"corp\\carol","password":"unused-1"}],
        "factors":{"idp":{"identityProvider":"corp\\sso","token":"ext-token-3","accountName":"corp\\carol"}}})");
    SetSettingText(u"DiscoveryUrl", root_ + u"/api/mobile/v1/orchinfo");
    SetSettingText(u"DiscoveryBackupUrl", root_ + u"/backup/api/mobile/v1/orchinfo");
    SetSettingText(u"DebugOrchUrl", authUrl_);
    test::CLogCapture log;
    auto runFlow = [&](SignInContext& context) {
        context.customerId = u"1234";
        context.notifyWindow = window_.Handle();
        std::atomic<bool> done{false};
        std::thread worker([&] {
            runSignIn(context);
            done = true;
        });
        EXPECT_TRUE(window_.PumpUntil([&] { return done.load(); }, 60000));
        if (!done) SignalLoginThreadExit();
        worker.join();
        if (browser_.joinable()) browser_.join();
        window_.WaitFor(0, 50);
        return Codes(window_.Take());
    };
    SignInContext first;
    EXPECT_EQ(runFlow(first), (std::vector<uintptr_t>{4091, 4095, 0}));
    EXPECT_EQ(first.authToken, u"ext-token-3") << U8(first.message);
    EXPECT_NE(
        sim_.Last(TenantPath(u"/api/mobile/v2/auth"), u"body").find(R"("identityProvider":"corp\\sso",)"),
        std::string::npos);
    EXPECT_EQ(GetSetting(u"ThirdPartyUser", u""), uR"(corp\\carol)");

    SignInContext again;
    again.authToken = first.authToken;
    EXPECT_EQ(runFlow(again), (std::vector<uintptr_t>{0}));
    EXPECT_EQ(again.resultCode, 0) << U8(again.message);
    EXPECT_EQ(sim_.Last(TenantPath(u"/api/mobile/v2/auth"), u"body")
                  .rfind(R"({"customerId":1234,"accountName":"corp\\carol", )", 0),
              0u);
    SetSettingText(u"DebugOrchUrl", u"");

    const std::u16string code = RedirectParameter(handedOver_, u"code");
    ASSERT_FALSE(code.empty());
    log.ExpectNone({U8(code), "ext-token-3", U8(pkceCodeVerifier(60))});
}

TEST_F(ExternalSignInTest, FailuresEndWithOneResult) {
    struct Case {
        const char16_t* idp;
        bool follow;
        const char16_t* fixed;
        std::u16string (*change)(std::u16string);
        std::vector<uintptr_t> codes;
        const char16_t* text;  // of the last message, when sent
        bool browserOpened;
    } cases[] = {
        // The provider refused: its error goes to the window as the text of a sent 4088.
        {u"{\"error\":\"access_denied\"}", true, u"", nullptr, {4091, 4095, 4088}, u"access_denied", true},
        // A redirect of someone else's request.
        {u"{}",
         true,
         u"",
         [](std::u16string r) { return r.substr(0, r.find(u"&state=")) + u"&state=FORGED0000"; },
         {4091, 4095, 4094},
         u"",
         true},
        // Neither code nor error (the state is ours).
        {u"{}",
         true,
         u"",
         [](std::u16string r) { return r.replace(r.find(u"code="), 4, u"cod3"); },
         {4091, 4095, 4088},
         nullptr,
         true},
        // An empty code.
        {u"{}",
         true,
         u"",
         [](std::u16string r) { return r.substr(0, r.find(u"code=") + 5) + r.substr(r.find(u"&state=")); },
         {4091, 4095, 4087},
         u"",
         true},
        // No state at all.
        {u"{}", false, u"com.halvane://redirect?code=abc", nullptr, {4091, 4095, 4094}, u"", true},
        // The verifier may be 128 long but not 129; the browser never opens for 129.
        {u"{\"codeLength\":129}", true, u"", nullptr, {4081}, u"", false},
        {u"{\"params\":{\"responseCodeKey\":\"\"}}", true, u"", nullptr, {4089}, u"", false},
        {u"{\"params\":{\"authorizationCodeUrl\":\"\"}}", true, u"", nullptr, {4089}, u"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.idp) + " " + U8(c.fixed));
        opened_.clear();
        UseIdp(c.idp);
        play_ = BrowserPlay{c.follow, c.fixed, c.change};
        SignInContext context;
        const auto messages = Run(context);
        EXPECT_EQ(Codes(messages), c.codes);
        EXPECT_EQ(opened_.size(), c.browserOpened ? 1u : 0u);
        EXPECT_EQ(context.resultCode, static_cast<int32_t>(c.codes.back()));
        if (c.text && !messages.empty() && messages.back().sent) {
            EXPECT_EQ(messages.back().text, c.text);
        }
        EXPECT_EQ(FactorState().find("\"tokens\":[\""), std::string::npos)
            << "no token without a code exchange";
    }
}

TEST_F(ExternalSignInTest, CodeLengthLimitAndBrowserFailure) {
    UseIdp(u"{\"codeLength\":129}");
    SignInContext context;
    const auto refused = Run(context);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].lParam, 129) << "the length goes with 4081";

    UseIdp(u"{\"codeLength\":128}");
    openError_ = 1155;  // no program for the URL
    SignInContext failed;
    EXPECT_EQ(Codes(Run(failed)), (std::vector<uintptr_t>{4091, 4084}));
    EXPECT_EQ(failed.message, u"Failed to open browser to continue authentication");
}

TEST_F(ExternalSignInTest, SecondRunIsRefusedWhileOneWaitsAndExitEndsTheWait) {
    UseIdp(u"{}");
    play_ = BrowserPlay{false, u"", nullptr};
    // The browser never hands anything over: the first run waits until the login window goes away.
    SetBrowserOpenerForTest([](std::u16string_view, uint32_t& error) {
        error = 0;
        return true;
    });
    SignInContext first;
    first.customerId = u"1234";
    first.authUrl = authUrl_;
    std::atomic<bool> done{false};
    std::thread waiting([&] {
        externalSignInBrowser(GetInstallationSerial(), u"corp-sso", configUrl_, first);
        done = true;
    });
    for (int i = 0; i < 2000 && !ExternalSignInRunning(); ++i) platform::SleepMs(5);
    platform::SleepMs(300);
    ASSERT_TRUE(ExternalSignInRunning());

    SignInContext second;
    second.notifyWindow = window_.Handle();
    externalSignInBrowser(GetInstallationSerial(), u"corp-sso", configUrl_, second);
    EXPECT_EQ(second.resultCode, kExternalAlreadyWaiting);
    EXPECT_EQ(Codes(window_.Take()), (std::vector<uintptr_t>{329}));
    EXPECT_FALSE(done);

    SignalLoginThreadExit();
    waiting.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(first.resultCode, 0) << "the exit ends the wait without a result";
    EXPECT_FALSE(ExternalSignInRunning());
}

}  // namespace
}  // namespace velora
