// The base of the host tests of a link monitor that heartbeats to the cloud stand-in's orchestrator: the
// tenant whose heartbeat answers a test scripts, the client log the monitor writes, and the window that
// records what the monitor posts and sends.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "core/Log.h"
#include "core/Settings.h"
#include "support/CloudSim.h"
#include "support/LogFiles.h"
#include "support/RecordingWindow.h"

namespace velora::test {

class LinkMonitorFixture : public ::testing::Test {
protected:
    // The tenant's name on the stand-in and the orchestrator's token.
    LinkMonitorFixture(std::u16string tenantName, std::u16string token)
        : tenantName_(std::move(tenantName)), token_(std::move(token)) {}

    // A tenant whose heartbeat answers `steps` in turn; the client's heartbeat URL points at it.
    void Orchestrator(std::u16string_view steps) {
        tenant_ = sim_.Tenant(tenantName_, u"{\"orch\":{\"tokens\":[\"" + token_ + u"\"],\"heartbeat\":" +
                                               std::u16string(steps) + u"}}");
        SetSetting(u"HeartbeatUrl", sim_.TenantUrl("http", tenant_) + u"/orch/heartbeat");
    }
    std::u16string HeartbeatPath() const { return u"/t/" + tenant_ + u"/orch/heartbeat"; }

    std::string LogText() const {
        FlushPendingLogLines();
        return log_.Text();
    }

    CCloudSimAccess sim_;
    CLogCapture log_;
    CRecordingWindow window_;
    std::u16string tenant_;

private:
    std::u16string tenantName_;
    std::u16string token_;
};

}  // namespace velora::test
