// The one classifier of failed requests that the sign-in and the account workers report through: a
// transport failure, an error answer that names a message (with its catalogue text), or a bare status.
#include <gtest/gtest.h>

#include "auth/ErrorCatalogue.h"
#include "auth/FailedRequest.h"
#include "platform/Text.h"

namespace velora {
namespace {

TEST(FailedRequest, EachFailureHasOneKind) {
    ResetErrorCatalogueForTest();
    using Kind = FailedRequest::Kind;
    struct Case {
        const char* name;
        uint32_t result;
        uint32_t status;
        const char16_t* answer;
        Kind kind;
        uint32_t code;
        const char16_t* text;
    } cases[] = {
        {"transport, answer ignored", 12029, 0, u"{\"code\":1999,\"message\":\"x\"}", Kind::Transport, 12029,
         u""},
        {"status without an answer", 0, 503, u"", Kind::BareStatus, 503, u""},
        {"status with a page", 0, 502, u"<html>bad gateway</html>", Kind::BareStatus, 502, u""},
        {"too short to name a message", 0, 400, u"messag", Kind::BareStatus, 400, u""},
        {"service message", 0, 400, u"{\"code\":1999,\"message\":\"Bad request. Missing x\"}",
         Kind::ServerMessage, 400, u"1999 Bad request"},
        {"unbound device", 0, 401, u"{\"code\":401,\"mobileBindDevice\":false,\"message\":\"m\"}",
         Kind::ServerMessage, 401, u"401 BindDevice"},
        {"message without a code", 0, 500, u"{\"message\":\"oops\"}", Kind::ServerMessage, 500, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FailedRequest f = ClassifyFailedRequest(c.result, c.status, c.answer);
        EXPECT_EQ(f.kind, c.kind);
        EXPECT_EQ(f.code, c.code);
        EXPECT_EQ(f.text, c.text) << platform::Utf16ToUtf8(f.text);
    }
}

}  // namespace
}  // namespace velora
