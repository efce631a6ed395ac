// The cloud stand-in's tenant for the exported API's end-to-end tests on the host: alice's account with
// the orchestrator a test gives, what that orchestrator has counted, and the disconnect at a test's end
// that leaves no API thread behind.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "ApiTestSupport.h"
#include "api/ClientApi.h"
#include "core/HttpClient.h"
#include "core/JsonFields.h"
#include "core/TextHelpers.h"
#include "support/SignInWorld.h"

namespace velora::test {

// False (with a failure) when the stand-in is not running.
inline bool OpenApiTenant(CSignInWorld& world, std::u16string_view orch) {
    return world.Open(
        uR"({"customers": ["12"],
                 "accounts": [{"customerId": "12", "name": "alice", "password": "secret1"}],
                 "orch": )" +
        std::u16string(orch) + u"}");
}

// A count from the orchestrator's record ("connects", "disconnects", …).
inline int OrchestratorCount(const CSignInWorld& world, std::u16string_view key) {
    CHttpClient client;
    std::string answer;
    uint32_t status = 0;
    client.GetText(world.sim.TenantUrl("http", world.tenant) + u"/orch/_state", answer, status);
    return GetIntField(Utf8ToUtf16(answer), key, 0);
}

inline void DisconnectAndWaitForTheApiThreads() {
    char16_t buffer[64];
    ApiDisconnect(buffer, 64);
    EXPECT_TRUE(WaitUntil([] { return ApiWatcherCount() == 0; }));
}

}  // namespace velora::test
