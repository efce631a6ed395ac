// The MOBILE_DETECT bring-up and link monitor. A heartbeat that fails in transport opens a failure series;
// the link is given up when a series has lasted longer than the limit, and an accepted heartbeat closes it.
#include "engine/MobileDetect.h"

#include <optional>
#include <string>

#include "core/DeviceInfo.h"
#include "core/Log.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "engine/ConnectAnswer.h"
#include "engine/EngineState.h"
#include "engine/Heartbeat.h"
#include "engine/LinkMonitorSteps.h"
#include "engine/NetworkChange.h"
#include "platform/Kernel.h"
#include "res/MessageIds.h"

namespace velora {
namespace {

constexpr std::size_t kSerialShown = 12;
constexpr char16_t kIntranetBody[] = u"{\"intranetMode\":true}";

class CMobileDetectPass {
public:
    CMobileDetectPass(platform::WindowHandle window, const MobileDetectTiming& timing)
        : m_window(window),
          m_timing(timing),
          m_values(ReadHeartbeatValues()),
          m_debounce(GetEngineState().internalIp, false, timing.checkWaitMs),
          m_limitMs(
              HeartbeatFailureLimitMs(GetSettingInt(u"HeartbeatTimeout", kDefaultMobileDetectMaxInvalid))) {}

    std::optional<uint32_t> Run() {
        const int64_t now = Now();
        if (IsHeartbeatDue(now, m_values.intervalMs)) {
            MarkHeartbeatSent(now);
            const HeartbeatAnswer answer = SendHeartbeat(m_values, kIntranetBody);
            const HeartbeatReading reading =
                ReadHeartbeatAnswer(answer, GetEngineState().ignoreAuthFailure.load());
            if (const auto end = HandleHeartbeatAnswer(reading, m_window)) {
                // "action":1 has posted the lost link already; only the stop request is left to clear.
                if (*end == 2) ForgetStopRequest();
                return end;
            }
            if (reading.accepted) {
                m_failures = 0;
            } else {
                if (answer.transport != 0 && m_failures++ == 0) m_seriesStart = now;
                if (m_failures > 0) {
                    const int64_t elapsed = Now() - m_seriesStart;
                    if (elapsed > m_limitMs) {
                        LogFormat(u"heartBeatFailedTimes %d timeoutInterval %d current %d", m_failures,
                                  static_cast<int32_t>(m_limitMs), static_cast<int32_t>(elapsed));
                        LogMessageIdAtLevel(kMsgHeartbeatsFailedTooLong, kLogError);
                        return GiveUpLink(m_window);
                    }
                }
            }
        }
        return FinishLinkPass(m_debounce, m_window, Now(), m_timing.stopWaitMs);
    }

private:
    int64_t Now() const { return LinkMonitorNow(m_timing.now); }

    platform::WindowHandle m_window;
    MobileDetectTiming m_timing;
    HeartbeatValues m_values;
    CNetworkChangeDebounce m_debounce;
    int64_t m_limitMs;
    int32_t m_failures = 0;
    int64_t m_seriesStart = 0;
};

}  // namespace

int64_t HeartbeatFailureLimitMs(int64_t heartbeatTimeoutMs) {
    const int64_t limit = heartbeatTimeoutMs - kHeartbeatTimeoutMarginMs;
    return limit < kHeartbeatFailureLimitFloorMs ? kHeartbeatFailureLimitFloorMs : limit;
}

void StartMobileDetect(ConnectContext& context) {
    const std::u16string user = GetSetting(GetEngineState().outerAuth ? u"ThirdPartyUser" : u"Username", u"");
    const std::u16string customer = GetSetting(u"CustomerId", u"");
    const std::u16string serial = GetInstallationSerial().substr(0, kSerialShown);
    LogFormatMessageIdAtLevel(kLogInfo, kMsgMobileDetectUser, user, customer, serial);
    ConnectSucceeded(context);
}

uint32_t MobileDetectMonitor(platform::WindowHandle window, const MobileDetectTiming& timing) {
    return RunLinkMonitor<CMobileDetectPass>(window, timing, timing.settleMs);
}

}  // namespace velora
